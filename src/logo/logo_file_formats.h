// The per-format readers and writers behind readLogoFile / writeLogoFile.
//
// Readers work on a scratch copy of the record: they may leave it half-changed when
// they fail, and the caller commits it only when they succeed. Every reader bounds
// what it stores by the record's fields.
#pragma once

#include <cstddef>
#include <cstdint>

#include "logo/logo_bitmap.h"
#include "logo/logo_file_stream.h"

namespace pelkor {

inline constexpr std::size_t kNolHeaderSize = 20;
inline constexpr std::size_t kNggHeaderSize = 16;
inline constexpr std::size_t kFormFileSize = 580;
inline constexpr unsigned kNolMaxCountryCode = 999;
inline constexpr unsigned kNolMaxNetworkCode = 99;

bool readNolFile(LogoFileStream &in, LogoBitmap &logo);
bool readNggFile(LogoFileStream &in, LogoBitmap &logo);
bool readFormFile(LogoFileStream &in, LogoBitmap &logo);
bool readNlmFile(LogoFileStream &in, LogoBitmap &logo);

bool writeNolFile(LogoFileStream &out, const LogoBitmap &logo);
bool writeNggFile(LogoFileStream &out, const LogoBitmap &logo);
bool writeFormFile(LogoFileStream &out, const LogoBitmap &logo);

// The country and network numbers a NOL file carries for a "MCC MNC" network code;
// both 0 when the code does not hold two numbers within 999 and 99.
struct NolNetworkNumbers {
  unsigned country;
  unsigned network;
};
NolNetworkNumbers nolNetworkNumbers(const char (&network_code)[kLogoNetworkCodeCapacity]);

// Byte `index` of the pixel data a writer emits: the bitmap's meaningful bytes, zero
// past `size`, so a file's pixel data always matches the length its header implies.
inline uint8_t pixelByteForFile(const LogoBitmap &logo, std::size_t index) {
  return index < logo.size && index < kLogoBitmapCapacity ? logo.bitmap[index] : 0;
}

}  // namespace pelkor
