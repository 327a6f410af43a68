#include "sms/sms_session.h"

#include "sms/sms_send.h"
#include "sms/sms_store.h"

namespace pelkor {

void ResetSmsArrivalCount() { ResetArrivalCount(); }

void ResetSmsList() { ClearSmsList(); }

void PrepareSmsSending() { PrepareSmsSendRecord(); }

}  // namespace pelkor
