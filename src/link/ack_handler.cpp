#include "link/ack_handler.h"

#include "link/session.h"

namespace pelkor {

void HandlePhoneAck(const ReplyMessage &) {
  LinkSession &s = Session();
  s.framesAcked.fetch_add(1);
  s.linkUp.store(true);
}

}  // namespace pelkor
