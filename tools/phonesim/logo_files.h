// Logo images as the phone keeps them, and the logo files people exchange: NOL
// (operator), NGG (caller group) and FORM (start-up) read and written, NLM read.
//
// Start-up logos are 84 x 48 in the phone's own layout: each byte is a column of 8
// rows, bands of 84 bytes, bit 0 the top row of its band. Every other logo is row-major,
// 9 bytes a row for 72 pixels, the leftmost pixel in the most significant bit.
// Header-only so that it builds with the handler families.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace phonesim::logo {

enum class Kind { kStartup, kOp, kCaller };

inline constexpr size_t kMaxBitmapBytes = 504;

struct Image {
  Kind kind = Kind::kOp;
  unsigned width = 72;
  unsigned height = 14;
  std::vector<uint8_t> bitmap;  // width x height / 8 bytes in the kind's layout
  std::string network;          // "MCC NN" for operator logos from NOL files
};

inline size_t BitmapBytes(unsigned width, unsigned height) { return size_t{width} * height / 8; }

// The pixel's byte and mask, or nothing outside the image.
inline std::optional<std::pair<size_t, uint8_t>> PixelAt(Kind kind, unsigned width, unsigned height, unsigned x,
                                                         unsigned y) {
  if (x >= width || y >= height) return std::nullopt;
  if (kind == Kind::kStartup) return std::pair<size_t, uint8_t>{x + (y / 8) * size_t{width}, uint8_t(1u << (y % 8))};
  return std::pair<size_t, uint8_t>{y * size_t{(width + 7) / 8} + x / 8, uint8_t(0x80u >> (x % 8))};
}

inline bool PixelOn(const Image &image, unsigned x, unsigned y) {
  const auto at = PixelAt(image.kind, image.width, image.height, x, y);
  return at && at->first < image.bitmap.size() && (image.bitmap[at->first] & at->second) != 0;
}

inline void SetPixel(Image &image, unsigned x, unsigned y, bool on) {
  const auto at = PixelAt(image.kind, image.width, image.height, x, y);
  if (!at || at->first >= image.bitmap.size()) return;
  if (on)
    image.bitmap[at->first] |= at->second;
  else
    image.bitmap[at->first] &= static_cast<uint8_t>(~at->second);
}

// One text line per pixel row, '#' for a drawn pixel: easy to read in a state dump.
inline std::vector<std::string> Rows(const Image &image) {
  std::vector<std::string> out;
  for (unsigned y = 0; y < image.height; ++y) {
    std::string row;
    for (unsigned x = 0; x < image.width; ++x) row += PixelOn(image, x, y) ? '#' : '.';
    out.push_back(row);
  }
  return out;
}

namespace detail {

inline void Put16(std::vector<uint8_t> &out, unsigned value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>(value >> 8 & 0xFF));
}

inline void PutText(std::vector<uint8_t> &out, const std::string &text) {
  out.insert(out.end(), text.begin(), text.end());
}

inline void PutBitCharacters(std::vector<uint8_t> &out, const std::vector<uint8_t> &bitmap) {
  for (uint8_t byte : bitmap)
    for (int bit = 7; bit >= 0; --bit) out.push_back((byte >> bit & 1) ? '1' : '0');
}

inline unsigned Get16(const std::vector<uint8_t> &in, size_t at) { return in[at] | unsigned{in[at + 1]} << 8; }

inline bool StartsWith(const std::vector<uint8_t> &in, const char *mark) {
  const std::string text(mark);
  return in.size() >= text.size() && std::equal(text.begin(), text.end(), in.begin());
}

// Pixel data spelled as '1'/'0' characters from `at`; nothing when the file is short
// or the image would not fit a phone's logo.
inline std::optional<std::vector<uint8_t>> BitCharacters(const std::vector<uint8_t> &in, size_t at, size_t bytes) {
  if (bytes > kMaxBitmapBytes || in.size() < at + bytes * 8) return std::nullopt;
  std::vector<uint8_t> bitmap(bytes, 0);
  for (size_t i = 0; i < bytes * 8; ++i)
    if (in[at + i] == '1') bitmap[i / 8] |= static_cast<uint8_t>(0x80u >> (i % 8));
  return bitmap;
}

inline std::optional<Image> ReadNolOrNgg(const std::vector<uint8_t> &in, bool nol) {
  const size_t header = nol ? 20 : 16;
  if (in.size() < header) return std::nullopt;
  Image image;
  image.kind = nol ? Kind::kOp : Kind::kCaller;
  const size_t geometryAt = nol ? 10 : 6;
  image.width = in[geometryAt];
  image.height = in[geometryAt + 2];
  if (nol) {
    const unsigned mcc = Get16(in, 6), mnc = in[8];
    if (mcc > 999 || mnc > 99) return std::nullopt;
    char code[8];
    std::snprintf(code, sizeof code, "%03u %02u", mcc, mnc);
    image.network = code;
  }
  auto bitmap = BitCharacters(in, header, BitmapBytes(image.width, image.height));
  if (!bitmap) return std::nullopt;
  image.bitmap = std::move(*bitmap);
  return image;
}

inline std::optional<Image> ReadForm(const std::vector<uint8_t> &in) {
  // The logo chunk: "NSLD", a 16-bit big-endian length, then the banded bitmap.
  for (size_t at = 0; at + 6 <= in.size(); ++at) {
    if (in[at] != 'N' || in[at + 1] != 'S' || in[at + 2] != 'L' || in[at + 3] != 'D') continue;
    if (in.size() < at + 6 + kMaxBitmapBytes) return std::nullopt;
    Image image{Kind::kStartup, 84, 48, {}, {}};
    image.bitmap.assign(in.begin() + static_cast<long>(at + 6),
                        in.begin() + static_cast<long>(at + 6 + kMaxBitmapBytes));
    return image;
  }
  return std::nullopt;
}

inline std::optional<Image> ReadNlm(const std::vector<uint8_t> &in) {
  if (in.size() < 6 || in[5] > 2) return std::nullopt;
  size_t at = 6;
  while (at < in.size() && (in[at] & 0x40) != 0) ++at;  // skipped bytes end with one without 0x40
  ++at;
  if (in.size() < at + 3) return std::nullopt;
  const unsigned width = in[at], height = in[at + 1];
  at += 3;
  const size_t rowBytes = (width + 7) / 8;
  if (in.size() < at + rowBytes * height) return std::nullopt;
  Image image;
  image.kind = width == 84 ? Kind::kStartup : (in[5] == 1 ? Kind::kCaller : in[5] == 2 ? Kind::kStartup : Kind::kOp);
  image.width = width;
  image.height = height;
  if (BitmapBytes(width, height) > kMaxBitmapBytes) return std::nullopt;
  image.bitmap.assign(BitmapBytes(width, height), 0);
  for (unsigned y = 0; y < height; ++y)
    for (unsigned x = 0; x < width; ++x)
      if (in[at + y * rowBytes + x / 8] & (0x80u >> (x % 8))) SetPixel(image, x, y, true);
  return image;
}

}  // namespace detail

inline std::optional<std::vector<uint8_t>> ReadBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A logo file of any of the four formats, recognised by its first bytes.
inline std::optional<Image> ParseFile(const std::vector<uint8_t> &in) {
  if (detail::StartsWith(in, "NOL")) return detail::ReadNolOrNgg(in, true);
  if (detail::StartsWith(in, "NGG")) return detail::ReadNolOrNgg(in, false);
  if (detail::StartsWith(in, "FORM")) return detail::ReadForm(in);
  if (detail::StartsWith(in, "NLM")) return detail::ReadNlm(in);
  return std::nullopt;
}

inline std::optional<Image> ReadFile(const std::string &path) {
  const auto bytes = ReadBytes(path);
  return bytes ? ParseFile(*bytes) : std::nullopt;
}

// The file of the image's kind: FORM for start-up logos, NOL for operator logos
// (network "MCC NN"), NGG for caller groups.
inline std::vector<uint8_t> FileBytes(const Image &image) {
  std::vector<uint8_t> out;
  switch (image.kind) {
    case Kind::kStartup: {
      detail::PutText(out, "FORM");
      out.push_back(0x02);
      out.push_back(0x3E);
      const std::string version = "Nokia Startup Logo Editor File Version 1.0";
      detail::PutText(out, "VERS");
      out.push_back(0x00);
      out.push_back(static_cast<uint8_t>(version.size()));
      detail::PutText(out, version);
      detail::PutText(out, "MODL");
      out.push_back(0x00);
      out.push_back(0x04);
      detail::PutText(out, "6100");
      detail::PutText(out, "NSLD");
      out.push_back(0x01);
      out.push_back(0xF8);
      std::vector<uint8_t> bitmap = image.bitmap;
      bitmap.resize(kMaxBitmapBytes, 0);
      out.insert(out.end(), bitmap.begin(), bitmap.end());
      detail::PutText(out, "COMM");
      out.push_back(0x00);
      out.push_back(0x00);
      break;
    }
    case Kind::kOp: {
      unsigned mcc = 0, mnc = 0;
      if (std::sscanf(image.network.c_str(), "%u %u", &mcc, &mnc) != 2) mcc = mnc = 0;
      detail::PutText(out, "NOL");
      for (uint8_t byte : {0x00, 0x01, 0x00}) out.push_back(byte);
      detail::Put16(out, mcc);
      detail::Put16(out, mnc);
      detail::Put16(out, image.width);
      detail::Put16(out, image.height);
      for (unsigned word : {0x01u, 0x01u, 0x53u}) detail::Put16(out, word);
      detail::PutBitCharacters(out, image.bitmap);
      break;
    }
    case Kind::kCaller:
      detail::PutText(out, "NGG");
      for (uint8_t byte : {0x00, 0x01, 0x00}) out.push_back(byte);
      detail::Put16(out, image.width);
      detail::Put16(out, image.height);
      for (unsigned word : {0x01u, 0x01u, 0x4Au}) detail::Put16(out, word);
      detail::PutBitCharacters(out, image.bitmap);
      break;
  }
  return out;
}

inline bool WriteFile(const std::string &path, const Image &image) {
  const auto bytes = FileBytes(image);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace phonesim::logo
