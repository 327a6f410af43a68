// The per-format readers and writers behind ReadLogoFile / WriteLogoFile.
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

inline constexpr size_t kNolHeaderSize = 20;
inline constexpr size_t kNggHeaderSize = 16;
inline constexpr size_t kFormFileSize = 580;
inline constexpr unsigned kNolMaxCountryCode = 999;
inline constexpr unsigned kNolMaxNetworkCode = 99;

bool ReadNolFile(LogoFileStream &in, LogoBitmap &logo);
bool ReadNggFile(LogoFileStream &in, LogoBitmap &logo);
bool ReadFormFile(LogoFileStream &in, LogoBitmap &logo);
bool ReadNlmFile(LogoFileStream &in, LogoBitmap &logo);

bool WriteNolFile(LogoFileStream &out, const LogoBitmap &logo);
bool WriteNggFile(LogoFileStream &out, const LogoBitmap &logo);
bool WriteFormFile(LogoFileStream &out, const LogoBitmap &logo);

// The country and network numbers a NOL file carries for a "MCC MNC" network code;
// both 0 when the code does not hold two numbers within 999 and 99.
struct NolNetworkNumbers {
  unsigned country;
  unsigned network;
};
NolNetworkNumbers NolNetworkNumbersOf(const char (&networkCode)[kLogoNetworkCodeCapacity]);

// Byte `index` of the pixel data a writer emits: the bitmap's meaningful bytes, zero
// past `size`, so a file's pixel data always matches the length its header implies.
inline uint8_t PixelByteForFile(const LogoBitmap &logo, size_t index) {
  return index < logo.size && index < kLogoBitmapCapacity ? logo.bitmap[index] : 0;
}

}  // namespace pelkor
