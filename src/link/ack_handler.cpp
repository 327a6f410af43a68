#include "link/ack_handler.h"

#include "link/session.h"

namespace pelkor {

void HandlePhoneAck(const ReplyMessage &reply) {
  LinkSession &s = Session();
  // The acknowledgement of the newest frame written answers for every frame before it:
  // those the phone did not acknowledge (or whose acknowledgement was lost) no longer
  // count against a phone that is plainly answering.
  const uint16_t named = static_cast<uint16_t>(reply.At(0) << 8 | (reply.At(1) & 0x0F));
  if (reply.length >= 2 && named == s.lastFrameSent.load())
    s.framesAcked.store(s.framesSent.load());
  else
    s.framesAcked.fetch_add(1);
  s.linkUp.store(true);
}

}  // namespace pelkor
