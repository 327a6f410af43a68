// FORM files: a chunked start-up logo file (4-character chunk name, 16-bit big-endian
// length, data). The bitmap chunk holds the start-up layout unchanged.
#include <cstring>

#include "logo/logo_file_formats.h"

namespace pelkor {

namespace {

constexpr char kVersionText[] = "Nokia Startup Logo Editor File Version 1.0";
constexpr char kModelText[] = "6100";
constexpr size_t kVersionLength = sizeof kVersionText - 1;
constexpr size_t kModelLength = sizeof kModelText - 1;
constexpr uint8_t kBitmapChunkMark[3] = {'N', 'S', 'L'};

bool WriteChunkHeader(LogoFileStream &out, const char (&name)[5], size_t length) {
  const uint8_t header[6] = {static_cast<uint8_t>(name[0]),
                             static_cast<uint8_t>(name[1]),
                             static_cast<uint8_t>(name[2]),
                             static_cast<uint8_t>(name[3]),
                             static_cast<uint8_t>((length >> 8) & 0xFF),
                             static_cast<uint8_t>(length & 0xFF)};
  return out.write(header, sizeof header);
}

// Advances the stream just past the first occurrence of "NSL"; false at the end.
bool SkipPastBitmapChunkMark(LogoFileStream &in) {
  uint8_t window[3] = {};
  size_t seen = 0;
  for (;;) {
    const int next = in.ReadByte();
    if (next < 0) return false;
    window[0] = window[1];
    window[1] = window[2];
    window[2] = static_cast<uint8_t>(next);
    if (++seen >= 3 && std::memcmp(window, kBitmapChunkMark, 3) == 0) return true;
  }
}

}  // namespace

bool ReadFormFile(LogoFileStream &in, LogoBitmap &logo) {
  // The chunks are not walked: the bitmap is whatever follows "NSL", "D" and the length.
  if (!SkipPastBitmapChunkMark(in)) return false;
  uint8_t skipped[3];
  if (!in.ReadExact(skipped, sizeof skipped)) return false;
  if (!in.ReadExact(logo.bitmap, kLogoBitmapCapacity)) return false;
  logo.kind = kLogoStartup;
  logo.width = kStartupLogoWidth;
  logo.height = kStartupLogoHeight;
  logo.size = static_cast<uint16_t>(kLogoBitmapCapacity);
  return true;
}

bool WriteFormFile(LogoFileStream &out, const LogoBitmap &logo) {
  // Always a full 504-byte chunk, as its length says; bytes past `size` go out as zero.
  uint8_t pixels[kLogoBitmapCapacity];
  for (size_t i = 0; i < kLogoBitmapCapacity; ++i) pixels[i] = PixelByteForFile(logo, i);

  return WriteChunkHeader(out, "FORM", kFormFileSize - 6) && WriteChunkHeader(out, "VERS", kVersionLength) &&
         out.write(kVersionText, kVersionLength) && WriteChunkHeader(out, "MODL", kModelLength) &&
         out.write(kModelText, kModelLength) && WriteChunkHeader(out, "NSLD", kLogoBitmapCapacity) &&
         out.write(pixels, sizeof pixels) && WriteChunkHeader(out, "COMM", 0);
}

}  // namespace pelkor
