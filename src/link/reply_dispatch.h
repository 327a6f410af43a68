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

constexpr int kAnyCommand = -1;

struct ReplyRoute {
  uint8_t type;
  uint8_t commandOffset;  // 3 for most types, 2 for type 0x40
  int command;            // kAnyCommand matches every command byte
  ReplyHandler handler;
};

// A family's rows, in its own order.
struct ReplyRouteTable {
  const ReplyRoute *rows;
  size_t count;
};

// Dispatches the message in the session's buffer (type lastType) through the tables.
void ProcessMessage();

// Dispatches one message: the first row that names its type and command wins, then the
// first catch-all row of its type. Exposed for unit tests.
void DispatchReply(const ReplyMessage &reply);

// The routing tables, one per family, from the composition root (session/family_list.cpp):
// the link itself includes nothing of the families whose replies it routes.
const ReplyRouteTable *const *ReplyRouteTables(size_t *count);

}  // namespace pelkor
