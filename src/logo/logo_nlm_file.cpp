// NLM files (read only): a binary logo of any kind, stored row by row with each row
// padded to whole bytes. 84-pixel rows are start-up logos and are converted to the
// banded layout; other rows already match the row-major layout and are copied.
#include "logo/logo_file_formats.h"

namespace pelkor {

namespace {

constexpr size_t kNlmFixedHeaderSize = 6;
constexpr uint8_t kNlmContinuationBit = 0x40;
constexpr size_t kNlmStartupRowBytes = (kStartupLogoWidth + 7) / 8;

bool KindFromNlmType(uint8_t type, LogoKind &kind) {
  switch (type) {
    case 0:
      kind = kLogoOperator;
      return true;
    case 1:
      kind = kLogoCaller;
      return true;
    case 2:
      kind = kLogoStartup;
      return true;
    default:
      return false;
  }
}

// Puts the eight pixels of file byte `index` (84-pixel rows) into the banded layout.
void PlaceStartupRowByte(LogoBitmap &logo, size_t index, uint8_t byte) {
  const size_t y = index / kNlmStartupRowBytes;
  const size_t first_x = (index % kNlmStartupRowBytes) * 8;
  for (size_t bit = 0; bit < 8; ++bit) {
    const size_t x = first_x + bit;
    if (x >= kStartupLogoWidth) break;  // row padding
    const size_t target = (y / 8) * kStartupLogoWidth + x;
    const auto mask = static_cast<uint8_t>(1u << (y % 8));
    if ((byte & (0x80u >> bit)) != 0)
      logo.bitmap[target] |= mask;
    else
      logo.bitmap[target] &= static_cast<uint8_t>(~mask);
  }
}

// The picture must be one the kind can hold. A start-up logo is the whole 84 x 48
// screen: its banded layout knows no other width, and a shorter picture would fill
// bands beyond the bytes its size counts, which saving or uploading would then lose.
// The others may be any size that fits the bitmap. An image without a single whole
// byte of pixels is no logo.
bool GeometryFitsKind(LogoKind kind, uint8_t width, uint8_t height) {
  const size_t size = size_t{width} * height / 8;
  if (size == 0) return false;
  if (kind == kLogoStartup) return width == kStartupLogoWidth && height == kStartupLogoHeight;
  return size <= kLogoBitmapCapacity;
}

}  // namespace

bool ReadNlmFile(LogoFileStream &in, LogoBitmap &logo) {
  uint8_t header[kNlmFixedHeaderSize];
  if (!in.ReadExact(header, sizeof header)) return false;
  LogoKind kind = kLogoNone;
  if (!KindFromNlmType(header[5], kind)) return false;

  // Variable-length field: bytes with bit 6 set announce another byte.
  int skipped = 0;
  do {
    skipped = in.ReadByte();
    if (skipped < 0) return false;
  } while ((skipped & kNlmContinuationBit) != 0);

  uint8_t geometry[3];  // width, height, one unused byte
  if (!in.ReadExact(geometry, sizeof geometry)) return false;
  const uint8_t width = geometry[0];
  const uint8_t height = geometry[1];
  const size_t size = size_t{width} * height / 8;
  const size_t image_bytes = size_t{(width + 7u) / 8u} * height;

  const bool banded = width == kStartupLogoWidth;
  if (banded) kind = kLogoStartup;  // whatever the type byte said
  if (!GeometryFitsKind(kind, width, height)) return false;

  for (size_t i = 0; i < image_bytes; ++i) {
    const int byte = in.ReadByte();
    if (byte < 0) return false;
    if (banded)
      PlaceStartupRowByte(logo, i, static_cast<uint8_t>(byte));
    else if (i < size)
      logo.bitmap[i] = static_cast<uint8_t>(byte);
  }

  logo.kind = kind;
  logo.width = width;
  logo.height = height;
  logo.size = static_cast<uint16_t>(size);
  return true;
}

}  // namespace pelkor
