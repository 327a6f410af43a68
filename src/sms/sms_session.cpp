#include "sms/sms_session.h"

namespace pelkor {
namespace {

SmsSession *bound = nullptr;  // set while the process is still single-threaded

}  // namespace

SmsSession &Sms() { return *bound; }

void BindSmsSession(SmsSession &session) { bound = &session; }

}  // namespace pelkor
