#include "sms/sms_session.h"

namespace pelkor {

SmsSession &Sms() {
  static SmsSession *const session = new SmsSession;
  return *session;
}

}  // namespace pelkor
