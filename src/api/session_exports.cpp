// Session exports: open, close and probe the link.
#include <pelkor16.h>

#include "session/session_lifecycle.h"
#include "link/wire_trace.h"

extern "C" {

PELKOR_API int32_t PELKOR_CALL init(const char *port, int32_t type) { return pelkor::OpenSession(port, type); }

PELKOR_API int32_t PELKOR_CALL terminate(void) { return pelkor::CloseSession(); }

PELKOR_API int32_t PELKOR_CALL isalive(void) { return pelkor::LinkAlive(); }

PELKOR_API int32_t PELKOR_CALL pelkor_settrace(const char *path) { return pelkor::SetWireTrace(path); }

}  // extern "C"
