#include "link/reply_dispatch.h"

#include "link/ack_handler.h"
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

const ReplyRoute *FindInTable(const ReplyRouteTable &table, const ReplyMessage &reply, bool catchAll) {
  for (size_t i = 0; i < table.count; ++i) {
    const ReplyRoute &route = table.rows[i];
    if (route.type != reply.type || (route.command == kAnyCommand) != catchAll) continue;
    if (catchAll || reply.At(route.commandOffset) == route.command) return &route;
  }
  return nullptr;
}

const ReplyRoute *FindRoute(const ReplyMessage &reply, bool catchAll) {
  if (const ReplyRoute *own = FindInTable(kLinkRoutes, reply, catchAll)) return own;
  const LinkSession &s = Session();
  const size_t count = s.routeTableCount.load(std::memory_order_acquire);
  for (size_t t = 0; t < count; ++t)
    if (const ReplyRoute *route = FindInTable(*s.routeTables[t], reply, catchAll)) return route;
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

bool RegisterReplyRoutes(const ReplyRouteTable &table) {
  LinkSession &s = Session();
  const size_t count = s.routeTableCount.load(std::memory_order_acquire);
  for (size_t t = 0; t < count; ++t)
    if (s.routeTables[t] == &table) return true;
  if (count == kMaxRouteTables) return false;
  s.routeTables[count] = &table;
  s.routeTableCount.store(count + 1, std::memory_order_release);
  return true;
}

void ProcessMessage() {
  LinkSession &s = Session();
  DispatchReply(ReplyMessage{s.lastType, s.message, s.messageLength});
}

}  // namespace pelkor
