#pragma once
// The link's record, shared by the host's thread, the watch thread and the keep-alive
// thread. Every field another thread reads is atomic (or behind the trace's lock); the
// receive window and message buffer belong to the watch thread alone.
#include <atomic>
#include <cstdint>
#include <thread>

#include "link/reply_dispatch.h"
#include "link/wire_trace.h"
#include "platform/sleep.h"

namespace pelkor {

constexpr int32_t kConnectionInfrared = 1;
constexpr size_t kWindowSize = 3072;
constexpr size_t kMessageSize = 3072;
constexpr size_t kPortNameSize = 100;
constexpr size_t kMaxRouteTables = 32;

struct LinkSession {
  // Port and threads.
  char portName[kPortNameSize] = {};
  std::atomic<int32_t> connectionType{0};
  std::atomic<bool> running{false};
  std::thread keepAliveThread;
  std::thread watchThread;
  platform::StopSignal stop;  // ends the link threads' sleeps when the connection closes
  // Link threads that have not yet left their loops; a stop that may not join them
  // waits for this to reach 0 instead.
  std::atomic<int32_t> threadsInLoop{0};
  std::atomic<int64_t> lastActivityTime{0};
  std::atomic<int64_t> lastReceiveTime{0};

  // Frame layer.
  std::atomic<uint32_t> sendSequence{0};  // low three bits are the next sequence number
  std::atomic<uint32_t> framesSent{0};
  std::atomic<uint32_t> framesAcked{0};
  std::atomic<uint16_t> lastAck{0xFFFF};        // [type, number] of the last ack sent
  std::atomic<uint16_t> lastFrameSent{0xFFFF};  // [type, number] of the last data frame written
  std::atomic<bool> phoneHeard{false};
  std::atomic<bool> linkUp{false};

  // Receiver: touched by the watch thread only (and cleared before it starts).
  uint8_t window[kWindowSize] = {};
  uint8_t message[kMessageSize] = {};
  uint16_t messageLength = 0;
  int32_t reassembled = 0;
  bool reassemblyOverflow = false;  // the message being collected no longer fits
  bool collecting = false;          // a multi-frame message is under way
  bool discarding = false;          // ... but it lost a frame: its rest is acknowledged, not kept
  uint8_t collectedType = 0;        // its message type
  uint8_t collectedFramesLeft = 0;  // frames-left byte of its last frame
  uint8_t collectedNumber = 0;      // sequence number (low three bits) of its last frame
  uint8_t lastType = 0;
  uint8_t lastSequence = 0;

  // Session control.
  std::atomic<bool> sessionOpen{false};
  std::atomic<bool> linkStarting{false};
  std::atomic<bool> busy{true};  // a command or transfer is under way: hold back the keep-alive poll
  std::atomic<uint8_t> keepAliveCount{0};

  // Reply routing: the families' tables, dispatched after the link's own rows. Written
  // by RegisterReplyRoutes before any link thread starts; the count is published last.
  const ReplyRouteTable *routeTables[kMaxRouteTables] = {};
  std::atomic<size_t> routeTableCount{0};

  WireTraceState trace;

  bool Infrared() const { return connectionType.load() == kConnectionInfrared; }
  uint8_t StartByte() const { return Infrared() ? 0x1C : 0x1E; }
};

// The link's record. It belongs to the library's context, which is built once and never
// destroyed, so threads winding down at process end never see it torn down under them.
LinkSession &Session();

// Called once by the library's context when it is built, before any link thread starts.
void BindSession(LinkSession &session);

// Holds back the keep-alive poll for the life of a scope (a transfer, a read that must
// not be interleaved). At the end the poll is let go, or put back as it was before.
class KeepAliveHold {
 public:
  enum class AtEnd { kRelease, kRestore };
  explicit KeepAliveHold(AtEnd atEnd) : atEnd_(atEnd), before_(Session().busy.exchange(true)) {}
  ~KeepAliveHold() { Session().busy.store(atEnd_ == AtEnd::kRestore && before_); }
  KeepAliveHold(const KeepAliveHold &) = delete;
  KeepAliveHold &operator=(const KeepAliveHold &) = delete;

 private:
  AtEnd atEnd_;
  bool before_;
};

}  // namespace pelkor
