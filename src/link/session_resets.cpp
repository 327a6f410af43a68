// What each subsystem forgets when a session starts or ends. One line per subsystem.
#include "link/session_control.h"
#include "phonebook/phonebook_session.h"
#include "services/identity.h"
#include "sms/sms_session.h"

namespace pelkor {

void ResetForNewSession() {
  ResetIdentityTexts();
  ResetPhonebookSession();
  ResetSmsArrivalCount();
}

void ResetAfterClose() { ResetSmsList(); }

void PrepareOnFirstOpen() { PrepareSmsSending(); }

}  // namespace pelkor
