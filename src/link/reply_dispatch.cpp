#include "link/reply_dispatch.h"

#include "link/session.h"

namespace pelkor {

void ReplyMessage::CopyText(size_t offset, char *out, size_t capacity) const {
  if (capacity == 0) return;
  size_t n = 0;
  while (n + 1 < capacity && offset + n < length && bytes[offset + n] != 0) {
    out[n] = static_cast<char>(bytes[offset + n]);
    ++n;
  }
  out[n] = '\0';
}

void DispatchReply(const ReplyMessage &reply) {
  if (reply.type < 0x01 || reply.type > 0xD2) return;
  for (size_t i = 0; i < kReplyRouteCount; ++i) {
    const ReplyRoute &route = kReplyRoutes[i];
    if (route.type != reply.type) continue;
    if (route.command != kAnyCommand && reply.At(route.commandOffset) != route.command) continue;
    route.handler(reply);
    return;
  }
}

void ProcessMessage() {
  LinkSession &s = Session();
  DispatchReply(ReplyMessage{s.lastType, s.message, s.messageLength});
}

}  // namespace pelkor
