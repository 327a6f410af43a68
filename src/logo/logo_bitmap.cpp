#include "logo/logo_bitmap.h"
#include "transaction/bounded_copy.h"

#include <cstring>

namespace pelkor {

LogoGeometry FixedLogoGeometry(LogoKind kind) {
  if (kind == kLogoStartup) return {kStartupLogoWidth, kStartupLogoHeight};
  return {kSmallLogoWidth, kSmallLogoHeight};
}

bool LogoPixelAddress(LogoKind kind, int32_t x, int32_t y, PixelAddress &address) {
  const LogoGeometry geometry = FixedLogoGeometry(kind);
  if (x < 0 || y < 0 || x >= geometry.width || y >= geometry.height) return false;
  if (kind == kLogoStartup) {
    // Each byte is a column of 8 rows; bit 0 is the top row of its band.
    address.byteIndex = static_cast<uint16_t>(x + (y / 8) * kStartupLogoWidth);
    address.mask = static_cast<uint8_t>(1u << (y % 8));
  } else {
    address.byteIndex = static_cast<uint16_t>(y * (kSmallLogoWidth / 8) + x / 8);
    address.mask = static_cast<uint8_t>(0x80u >> (x % 8));
  }
  return true;
}

void ClearLogo(LogoBitmap &logo) { logo = LogoBitmap{}; }

void SetLogoKind(LogoBitmap &logo, LogoKind kind) {
  if (kind == kLogoNone) {
    ClearLogo(logo);
    return;
  }
  const LogoGeometry geometry = FixedLogoGeometry(kind);
  logo.kind = kind;
  logo.width = geometry.width;
  logo.height = geometry.height;
  logo.size = static_cast<uint16_t>(geometry.width * geometry.height / 8);
}

void SetLogoNetworkCode(LogoBitmap &logo, const char *code) {
  CopyField(logo.networkCode, sizeof logo.networkCode, code, sizeof logo.networkCode - 1);
}

void SetLogoGroupName(LogoBitmap &logo, const char *name) {
  CopyField(logo.groupName, sizeof logo.groupName, name, sizeof logo.groupName - 1);
}

void SetLogoPixel(LogoBitmap &logo, int32_t x, int32_t y, bool on) {
  PixelAddress address{};
  if (!LogoPixelAddress(logo.kind, x, y, address)) return;
  if (on)
    logo.bitmap[address.byteIndex] |= address.mask;
  else
    logo.bitmap[address.byteIndex] &= static_cast<uint8_t>(~address.mask);
}

bool LogoPixelIsOn(const LogoBitmap &logo, int32_t x, int32_t y) {
  PixelAddress address{};
  if (!LogoPixelAddress(logo.kind, x, y, address)) return false;
  return (logo.bitmap[address.byteIndex] & address.mask) != 0;
}

}  // namespace pelkor
