#include "link/ack_handler.h"

#include "link/session.h"

namespace pelkor {
namespace {

// The phone acknowledged one of our frames: count it. Which frame it names is not
// examined; the keep-alive only compares the totals.
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

const ReplyRoute kRows[] = {
    {0x7F, 3, kAnyCommand, HandlePhoneAck, kUnsolicited},
};

}  // namespace

const ReplyRouteTable kLinkRoutes = RouteTable(kRows);

}  // namespace pelkor
