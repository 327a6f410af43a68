// What each subsystem forgets when a session starts or ends. One line per subsystem.
#include "link/session_control.h"

namespace pelkor {

void ResetForNewSession() {}

void ResetAfterClose() {}

void PrepareOnFirstOpen() {}

}  // namespace pelkor
