// What each subsystem forgets when a session starts or ends. One line per subsystem.
#include "link/session_control.h"
#include "services/identity.h"
#include "sms/sms_session.h"

namespace pelkor {

void ResetForNewSession() {
  ResetIdentityTexts();
  ResetSmsArrivalCount();
}

void ResetAfterClose() {
  ResetSmsList();
}

void PrepareOnFirstOpen() {
  PrepareSmsSending();
}

}  // namespace pelkor
