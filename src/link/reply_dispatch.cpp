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

namespace {

const ReplyRoute *FindRoute(const ReplyMessage &reply, bool catchAll) {
  size_t tableCount = 0;
  const ReplyRouteTable *const *tables = ReplyRouteTables(&tableCount);
  for (size_t t = 0; t < tableCount; ++t) {
    for (size_t i = 0; i < tables[t]->count; ++i) {
      const ReplyRoute &route = tables[t]->rows[i];
      if (route.type != reply.type || (route.command == kAnyCommand) != catchAll) continue;
      if (catchAll || reply.At(route.commandOffset) == route.command) return &route;
    }
  }
  return nullptr;
}

}  // namespace

void DispatchReply(const ReplyMessage &reply) {
  // Every frame is in the wire trace already ("rx"); one no row takes is dropped here.
  if (reply.type < 0x01 || reply.type > 0xD2) return;
  const ReplyRoute *route = FindRoute(reply, false);
  if (route == nullptr) route = FindRoute(reply, true);
  if (route != nullptr && (route->awaited == kUnsolicited || route->awaited())) route->handler(reply);
}

void ProcessMessage() {
  LinkSession &s = Session();
  DispatchReply(ReplyMessage{s.lastType, s.message, s.messageLength});
}

}  // namespace pelkor
