#include "link/frame_receiver.h"

#include <cstring>

#include "link/frame_format.h"
#include "link/frame_sender.h"
#include "link/reply_dispatch.h"
#include "link/session.h"
#include "link/wire_trace.h"

namespace pelkor {
namespace {

// A frame is at most kMaxFrameSize bytes and the shortest is 8, so only candidates
// starting in the last 264 bytes of the window can end at its newest byte.
constexpr size_t kFirstCandidate = kWindowSize - 8;
constexpr size_t kLastCandidate = kWindowSize - kMaxFrameSize;

bool IsFrameAt(const uint8_t *w, size_t p, uint8_t startByte) {
  if (w[p] != startByte || w[p + 1] != kAddressHost || w[p + 2] != kAddressPhone ||
      w[p + 4] != 0x00)
    return false;
  const size_t length = w[p + 5];
  if (kWindowSize - p != FrameSize(length)) return false;
  return w[kWindowSize - 2] == AlternateXor(w, p, kWindowSize - 2) &&
         w[kWindowSize - 1] == AlternateXor(w, p + 1, kWindowSize - 2);
}

void Collect(LinkSession &s, const uint8_t *payload, size_t length) {
  const size_t at = static_cast<size_t>(s.reassembled);
  if (!s.reassemblyOverflow && at + length <= kMessageSize)
    std::memcpy(s.message + at, payload, length);
  else
    s.reassemblyOverflow = true;  // the whole message is dropped when it completes
}

}  // namespace

void ResetReceiver() {
  LinkSession &s = Session();
  std::memset(s.window, 0, sizeof s.window);
  s.reassembled = 0;
  s.reassemblyOverflow = false;
}

int32_t FindFrame() {
  LinkSession &s = Session();
  const uint8_t *w = s.window;
  const uint8_t startByte = s.StartByte();
  size_t p = kFirstCandidate + 1;
  bool found = false;
  while (p-- > kLastCandidate) {
    if (IsFrameAt(w, p, startByte)) {
      found = true;
      break;
    }
  }
  if (!found) return 0;
  TraceWire("rx", w + p, kWindowSize - p);

  const uint8_t type = w[p + 3];
  const size_t length = w[p + 5];
  const uint8_t *payload = w + p + 6;
  const bool continuation = s.reassembled > 0 && s.lastType == type;
  s.lastType = type;
  s.lastSequence = length > 0 ? payload[length - 1] : w[p + 5];

  const bool firstFrame = (s.lastSequence & 0xF0) == kFirstFrameBit;
  if (continuation || firstFrame) {
    // A data frame carries at least its frames-left and sequence bytes.
    if (length < 2) return 0;
    SendAck(type, s.lastSequence & 0x0F);
    Collect(s, payload, length);
    s.reassembled += static_cast<int32_t>(length) - 2;
    if (payload[length - 2] != 1) return 0;  // more frames follow
    const bool dropped = s.reassemblyOverflow;
    s.messageLength = static_cast<uint16_t>(s.reassembled + 2);
    s.reassembled = 0;
    s.reassemblyOverflow = false;
    return dropped ? 0 : 1;
  }

  // Neither a first frame nor a continuation, as the phone's acknowledgements are:
  // taken whole, not acknowledged, and anything half-collected is abandoned.
  std::memcpy(s.message, payload, length);
  s.messageLength = static_cast<uint16_t>(length);
  s.reassembled = 0;
  s.reassemblyOverflow = false;
  return 1;
}

void OnByte(uint8_t byte) {
  LinkSession &s = Session();
  std::memmove(s.window, s.window + 1, kWindowSize - 1);
  s.window[kWindowSize - 1] = byte;
  if (FindFrame() == 1) {
    s.linkUp.store(true);
    ProcessMessage();
  }
}

}  // namespace pelkor
