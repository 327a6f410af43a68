// Exported entry points of the logo family: the shared bitmap, its files and its
// transfer to and from the phone.
#include <pelkor16.h>

#include <cstddef>

#include "logo/logo_bitmap.h"
#include "logo/logo_files.h"
#include "logo/logo_transfer.h"
#include "services/bounded_copy.h"
#include "transaction/result_codes.h"

using pelkor::SharedLogo;

extern "C" {

PELKOR_API int32_t PELKOR_CALL logo_setdata(int32_t kind, const char *network_code) {
  pelkor::LogoBitmap &logo = SharedLogo();
  pelkor::SetLogoKind(logo, kind);
  if (network_code != nullptr) pelkor::SetLogoNetworkCode(logo, network_code);
  return pelkor::kResultOk;
}

PELKOR_API int32_t PELKOR_CALL logo_getdata(int32_t *kind, int32_t *width, int32_t *height, char *network_code,
                                            int32_t length) {
  const pelkor::LogoBitmap &logo = SharedLogo();
  if (kind != nullptr) *kind = logo.kind;
  if (width != nullptr) *width = logo.width;
  if (height != nullptr) *height = logo.height;
  if (network_code != nullptr && length > 0)
    pelkor::CopyField(network_code, static_cast<size_t>(length), logo.network_code, sizeof logo.network_code - 1);
  return pelkor::kResultOk;
}

// The host's pixel value is inverted: 0 draws the pixel, anything else clears it.
PELKOR_API int32_t PELKOR_CALL logo_setpixel(int32_t x, int32_t y, int32_t value) {
  pelkor::SetLogoPixel(SharedLogo(), x, y, value == 0);
  return pelkor::kResultOk;
}

PELKOR_API int32_t PELKOR_CALL logo_getpixel(int32_t x, int32_t y) {
  const pelkor::LogoBitmap &logo = SharedLogo();
  pelkor::PixelAddress address{};
  if (!pelkor::LogoPixelAddress(logo.kind, x, y, address)) return 0;  // outside reads as 0
  return (logo.bitmap[address.byte_index] & address.mask) != 0 ? 0 : 1;
}

PELKOR_API void PELKOR_CALL logo_setgroupnumber(int32_t number) {
  SharedLogo().group_number = static_cast<uint8_t>(number & 0xFF);
}

// Read back as a signed byte widened to 16 bits: 128-255 come out as 65408-65535.
PELKOR_API int32_t PELKOR_CALL logo_getgroupnumber(void) {
  const auto as_signed = static_cast<int8_t>(SharedLogo().group_number);
  return static_cast<uint16_t>(as_signed);
}

PELKOR_API void PELKOR_CALL logo_setgroupname(const char *name) { pelkor::SetLogoGroupName(SharedLogo(), name); }

PELKOR_API void PELKOR_CALL logo_getgroupname(char *buffer, int32_t length) {
  if (buffer == nullptr || length <= 0) return;
  const pelkor::LogoBitmap &logo = SharedLogo();
  pelkor::CopyField(buffer, static_cast<size_t>(length), logo.group_name, sizeof logo.group_name - 1);
}

PELKOR_API int32_t PELKOR_CALL logo_readfile(const char *path) { return pelkor::ReadLogoFile(path, SharedLogo()); }

PELKOR_API int32_t PELKOR_CALL logo_writefile(const char *path) { return pelkor::WriteLogoFile(path, SharedLogo()); }

// The first and third arguments are accepted for compatibility and not used.
PELKOR_API int32_t PELKOR_CALL setlogo(int32_t, const char *text, int32_t) { return pelkor::UploadStartupText(text); }

PELKOR_API int32_t PELKOR_CALL logo_upload(void) { return pelkor::UploadSharedLogo(); }

PELKOR_API int32_t PELKOR_CALL logo_download(int32_t kind) { return pelkor::DownloadSharedLogo(kind); }

PELKOR_API int32_t PELKOR_CALL sendoplogoviasms(const char *destination) {
  return pelkor::SendSharedLogoBySms(destination);
}

}  // extern "C"
