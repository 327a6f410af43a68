// Session exports: open, close and probe the link.
#include <pelkor16.h>

#include "link/session_control.h"

extern "C" {

PELKOR_API int32_t PELKOR_CALL init(const char *port, int32_t type) {
  return pelkor::OpenSession(port, type);
}

PELKOR_API int32_t PELKOR_CALL terminate(void) { return pelkor::CloseSession(); }

PELKOR_API int32_t PELKOR_CALL isalive(void) { return pelkor::LinkAlive(); }

}  // extern "C"
