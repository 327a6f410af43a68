// NOL and NGG files: a small header, then every bitmap byte spelled out as eight
// '0'/'1' characters, most significant bit first.
#include <cstdio>
#include <cstring>

#include "logo/logo_file_formats.h"

namespace pelkor {

namespace {

constexpr uint8_t kNolMark[3] = {'N', 'O', 'L'};
constexpr uint8_t kNggMark[3] = {'N', 'G', 'G'};
constexpr uint8_t kTextBitFileVersion[3] = {0x00, 0x01, 0x00};
constexpr uint8_t kNolTrailer[6] = {0x01, 0x00, 0x01, 0x00, 0x53, 0x00};
constexpr uint8_t kNggTrailer[6] = {0x01, 0x00, 0x01, 0x00, 0x4A, 0x00};

// Reads the pixel data for a width x height image; refuses images larger than the
// bitmap and short files.
bool ReadTextBitImage(LogoFileStream &in, LogoBitmap &logo, uint8_t width, uint8_t height) {
  const unsigned size = unsigned{width} * height / 8;
  if (size > kLogoBitmapCapacity) return false;
  logo.width = width;
  logo.height = height;
  logo.size = static_cast<uint16_t>(size);
  for (unsigned i = 0; i < size; ++i) {
    uint8_t characters[8];
    if (!in.ReadExact(characters, sizeof characters)) return false;
    uint8_t byte = 0;
    for (int bit = 0; bit < 8; ++bit)
      if (characters[bit] == '1') byte |= static_cast<uint8_t>(0x80u >> bit);
    logo.bitmap[i] = byte;
  }
  return true;
}

// Width and height go out as 16-bit values, although the record only holds 8 bits.
size_t PixelBytesInFile(const LogoBitmap &logo) {
  const size_t implied = size_t{logo.width} * logo.height / 8;
  if (implied <= kLogoBitmapCapacity) return implied;
  return logo.size < kLogoBitmapCapacity ? logo.size : kLogoBitmapCapacity;
}

bool WriteTextBitImage(LogoFileStream &out, const LogoBitmap &logo) {
  const size_t count = PixelBytesInFile(logo);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t byte = PixelByteForFile(logo, i);
    char characters[8];
    for (int bit = 0; bit < 8; ++bit) characters[bit] = (byte & (0x80u >> bit)) != 0 ? '1' : '0';
    if (!out.write(characters, sizeof characters)) return false;
  }
  return true;
}

void PutLittleEndian16(uint8_t *at, unsigned value) {
  at[0] = static_cast<uint8_t>(value & 0xFF);
  at[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

}  // namespace

NolNetworkNumbers NolNetworkNumbersOf(const char (&networkCode)[kLogoNetworkCodeCapacity]) {
  char code[kLogoNetworkCodeCapacity + 1] = {};
  std::memcpy(code, networkCode, sizeof networkCode);  // terminated even if the field is not
  int country = 0;
  int network = 0;
  if (std::sscanf(code, "%d %d", &country, &network) != 2 || country < 0 || network < 0 ||
      static_cast<unsigned>(country) > kNolMaxCountryCode || static_cast<unsigned>(network) > kNolMaxNetworkCode)
    return {0, 0};
  return {static_cast<unsigned>(country), static_cast<unsigned>(network)};
}

bool ReadNolFile(LogoFileStream &in, LogoBitmap &logo) {
  uint8_t header[kNolHeaderSize];
  if (!in.ReadExact(header, sizeof header)) return false;
  const unsigned country = header[6] | (unsigned{header[7]} << 8);
  const unsigned network = header[8];  // the high byte is not part of the number
  if (country > kNolMaxCountryCode || network > kNolMaxNetworkCode) return false;
  logo.kind = kLogoOperator;
  std::memset(logo.networkCode, 0, sizeof logo.networkCode);
  std::snprintf(logo.networkCode, sizeof logo.networkCode, "%u %02u", country % 1000, network % 100);
  return ReadTextBitImage(in, logo, header[10], header[12]);
}

bool ReadNggFile(LogoFileStream &in, LogoBitmap &logo) {
  uint8_t header[kNggHeaderSize];
  if (!in.ReadExact(header, sizeof header)) return false;
  logo.kind = kLogoCaller;
  return ReadTextBitImage(in, logo, header[6], header[8]);
}

bool WriteNolFile(LogoFileStream &out, const LogoBitmap &logo) {
  const NolNetworkNumbers numbers = NolNetworkNumbersOf(logo.networkCode);
  uint8_t header[kNolHeaderSize] = {};
  std::memcpy(header, kNolMark, 3);
  std::memcpy(header + 3, kTextBitFileVersion, 3);
  PutLittleEndian16(header + 6, numbers.country);
  PutLittleEndian16(header + 8, numbers.network);
  PutLittleEndian16(header + 10, logo.width);
  PutLittleEndian16(header + 12, logo.height);
  std::memcpy(header + 14, kNolTrailer, sizeof kNolTrailer);
  return out.write(header, sizeof header) && WriteTextBitImage(out, logo);
}

bool WriteNggFile(LogoFileStream &out, const LogoBitmap &logo) {
  uint8_t header[kNggHeaderSize] = {};
  std::memcpy(header, kNggMark, 3);
  std::memcpy(header + 3, kTextBitFileVersion, 3);
  PutLittleEndian16(header + 6, logo.width);
  PutLittleEndian16(header + 8, logo.height);
  std::memcpy(header + 10, kNggTrailer, sizeof kNggTrailer);
  return out.write(header, sizeof header) && WriteTextBitImage(out, logo);
}

}  // namespace pelkor
