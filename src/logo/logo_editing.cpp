#include "logo/logo_editing.h"

#include "logo/logo_bitmap.h"
#include "transaction/result_codes.h"
#include "transaction/bounded_copy.h"

namespace pelkor {

int32_t SetLogoData(int32_t kind, const char *networkCode) {
  LogoBitmap &logo = SharedLogo();
  SetLogoKind(logo, kind);
  if (networkCode != nullptr) SetLogoNetworkCode(logo, networkCode);
  return kResultOk;
}

int32_t GetLogoData(int32_t *kind, int32_t *width, int32_t *height, char *networkCode, int32_t length) {
  const LogoBitmap &logo = SharedLogo();
  if (kind != nullptr) *kind = logo.kind;
  if (width != nullptr) *width = logo.width;
  if (height != nullptr) *height = logo.height;
  CopyToCaller(networkCode, length, logo.networkCode);
  return kResultOk;
}

int32_t SetHostPixel(int32_t x, int32_t y, int32_t value) {
  SetLogoPixel(SharedLogo(), x, y, value == 0);
  return kResultOk;
}

int32_t HostPixel(int32_t x, int32_t y) {
  const LogoBitmap &logo = SharedLogo();
  PixelAddress address{};
  if (!LogoPixelAddress(logo.kind, x, y, address)) return 0;  // outside reads as 0
  return (logo.bitmap[address.byteIndex] & address.mask) != 0 ? 0 : 1;
}

void SetHostGroupNumber(int32_t number) { SharedLogo().groupNumber = static_cast<uint8_t>(number & 0xFF); }

int32_t HostGroupNumber() {
  const auto asSigned = static_cast<int8_t>(SharedLogo().groupNumber);
  return static_cast<uint16_t>(asSigned);
}

void GetLogoGroupName(char *buffer, int32_t length) { CopyToCaller(buffer, length, SharedLogo().groupName); }

}  // namespace pelkor
