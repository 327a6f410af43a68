#pragma once
// Routing of complete messages from the phone to the handler of the family that owns
// the reply, by message type and command byte.
#include <cstddef>
#include <cstdint>

namespace pelkor {

// A received message as handlers see it. Reading past the end yields 0, so a short
// or malformed reply can never make a handler read stale or foreign bytes.
struct ReplyMessage {
  uint8_t type;
  const uint8_t *bytes;
  size_t length;

  uint8_t At(size_t offset) const { return offset < length ? bytes[offset] : 0; }
  // Copies the zero-terminated text starting at `offset` into `out` (capacity bytes,
  // always terminated), stopping at the end of the message.
  void CopyText(size_t offset, char *out, size_t capacity) const;
};

using ReplyHandler = void (*)(const ReplyMessage &);
// Whether the request a reply answers is waiting for it.
using AwaitedBy = bool (*)();

constexpr int kAnyCommand = -1;
constexpr AwaitedBy kUnsolicited = nullptr;  // notices and state the phone sends whenever

// One row of the routing: a reply of `type` whose byte `commandOffset` is `command`
// goes to `handler` while `awaited` says its request waits. A reply whose request does
// not wait (a late or a stray answer) is dropped here, before any handler sees it.
struct ReplyRoute {
  uint8_t type;
  uint8_t commandOffset;  // 3 for most types, 2 for type 0x40
  int command;            // kAnyCommand matches every command byte
  ReplyHandler handler;
  AwaitedBy awaited;
};

// Rows kept beside their handlers, one table per file that handles replies.
struct ReplyRouteTable {
  const ReplyRoute *rows;
  size_t count;
};

template <size_t N>
constexpr ReplyRouteTable RouteTable(const ReplyRoute (&rows)[N]) {
  return {rows, N};
}

// Dispatches the message in the session's buffer (type lastType) through the tables.
void ProcessMessage();

// Dispatches one message through the link's own rows, then the registered tables in
// the order they were registered: the first row that names its type and command wins,
// then the first catch-all row of its type; the row's handler runs when its request
// waits. Exposed for unit tests.
void DispatchReply(const ReplyMessage &reply);

// Adds a family's table to the routing. The library's context registers every family's
// tables when it is built, before any link thread starts, so the link names no family.
// A table already registered is not added again. False when the routing is full.
bool RegisterReplyRoutes(const ReplyRouteTable &table);

}  // namespace pelkor
