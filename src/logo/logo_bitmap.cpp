#include "logo/logo_bitmap.h"

#include <cstring>

namespace pelkor {

namespace {
LogoBitmap g_logo{};
}  // namespace

LogoBitmap &sharedLogo() { return g_logo; }

LogoGeometry fixedLogoGeometry(LogoKind kind) {
  if (kind == kLogoStartup) return {kStartupLogoWidth, kStartupLogoHeight};
  return {kSmallLogoWidth, kSmallLogoHeight};
}

bool logoPixelAddress(LogoKind kind, int32_t x, int32_t y, PixelAddress &address) {
  const LogoGeometry geometry = fixedLogoGeometry(kind);
  if (x < 0 || y < 0 || x >= geometry.width || y >= geometry.height) return false;
  if (kind == kLogoStartup) {
    // Each byte is a column of 8 rows; bit 0 is the top row of its band.
    address.byte_index = static_cast<uint16_t>(x + (y / 8) * kStartupLogoWidth);
    address.mask = static_cast<uint8_t>(1u << (y % 8));
  } else {
    address.byte_index = static_cast<uint16_t>(y * (kSmallLogoWidth / 8) + x / 8);
    address.mask = static_cast<uint8_t>(0x80u >> (x % 8));
  }
  return true;
}

void clearLogo(LogoBitmap &logo) { logo = LogoBitmap{}; }

void setLogoKind(LogoBitmap &logo, LogoKind kind) {
  if (kind == kLogoNone) {
    clearLogo(logo);
    return;
  }
  const LogoGeometry geometry = fixedLogoGeometry(kind);
  logo.kind = kind;
  logo.width = geometry.width;
  logo.height = geometry.height;
  logo.size = static_cast<uint16_t>(geometry.width * geometry.height / 8);
}

void copyBoundedText(char *destination, std::size_t capacity, const char *source, std::size_t max_chars) {
  if (destination == nullptr || capacity == 0) return;
  std::memset(destination, 0, capacity);
  if (source == nullptr) return;
  const std::size_t limit = max_chars < capacity - 1 ? max_chars : capacity - 1;
  for (std::size_t i = 0; i < limit && source[i] != '\0'; ++i) destination[i] = source[i];
}

void setLogoNetworkCode(LogoBitmap &logo, const char *code) {
  copyBoundedText(logo.network_code, sizeof logo.network_code, code, sizeof logo.network_code - 1);
}

void setLogoGroupName(LogoBitmap &logo, const char *name) {
  copyBoundedText(logo.group_name, sizeof logo.group_name, name, sizeof logo.group_name - 1);
}

void setLogoPixel(LogoBitmap &logo, int32_t x, int32_t y, bool on) {
  PixelAddress address{};
  if (!logoPixelAddress(logo.kind, x, y, address)) return;
  if (on)
    logo.bitmap[address.byte_index] |= address.mask;
  else
    logo.bitmap[address.byte_index] &= static_cast<uint8_t>(~address.mask);
}

bool logoPixelIsOn(const LogoBitmap &logo, int32_t x, int32_t y) {
  PixelAddress address{};
  if (!logoPixelAddress(logo.kind, x, y, address)) return false;
  return (logo.bitmap[address.byte_index] & address.mask) != 0;
}

}  // namespace pelkor
