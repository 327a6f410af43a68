// What each subsystem forgets when a session starts or ends. One line per subsystem.
#include "link/session_control.h"
#include "services/identity.h"

namespace pelkor {

void ResetForNewSession() {
  ResetIdentityTexts();
}

void ResetAfterClose() {
}

void PrepareOnFirstOpen() {
}

}  // namespace pelkor
