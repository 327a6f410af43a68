// Exported entry points of the logo family: the shared bitmap, its files and its
// transfer to and from the phone.
#include <pelkor16.h>

#include "logo/logo_bitmap.h"
#include "logo/logo_editing.h"
#include "logo/logo_files.h"
#include "logo/logo_transfer.h"
#include "transaction/result_codes.h"

using pelkor::SharedLogo;

extern "C" {

PELKOR_API int32_t PELKOR_CALL logo_setdata(int32_t kind, const char *network_code) {
  return pelkor::SetLogoData(kind, network_code);
}

PELKOR_API int32_t PELKOR_CALL logo_getdata(int32_t *kind, int32_t *width, int32_t *height, char *network_code,
                                            int32_t length) {
  return pelkor::GetLogoData(kind, width, height, network_code, length);
}

PELKOR_API int32_t PELKOR_CALL logo_setpixel(int32_t x, int32_t y, int32_t value) {
  return pelkor::SetHostPixel(x, y, value);
}

PELKOR_API int32_t PELKOR_CALL logo_getpixel(int32_t x, int32_t y) { return pelkor::HostPixel(x, y); }

PELKOR_API void PELKOR_CALL logo_setgroupnumber(int32_t number) { pelkor::SetHostGroupNumber(number); }

PELKOR_API int32_t PELKOR_CALL logo_getgroupnumber(void) { return pelkor::HostGroupNumber(); }

PELKOR_API void PELKOR_CALL logo_setgroupname(const char *name) { pelkor::SetLogoGroupName(SharedLogo(), name); }

PELKOR_API void PELKOR_CALL logo_getgroupname(char *buffer, int32_t length) {
  pelkor::GetLogoGroupName(buffer, length);
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
