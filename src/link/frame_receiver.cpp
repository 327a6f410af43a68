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
  if (w[p] != startByte || w[p + 1] != kAddressHost || w[p + 2] != kAddressPhone || w[p + 4] != 0x00) return false;
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

void AbandonMessage(LinkSession &s) {
  s.reassembled = 0;
  s.reassemblyOverflow = false;
  s.collecting = false;
  s.discarding = false;
}

void RememberFrame(LinkSession &s, uint8_t framesLeft, uint8_t number) {
  s.collectedFramesLeft = framesLeft;
  s.collectedNumber = number;
}

// A later frame belongs to the message being collected only if it is the next one:
// one frame fewer left and the next sequence number.
bool IsNextFrame(const LinkSession &s, uint8_t framesLeft, uint8_t number) {
  return framesLeft + 1 == s.collectedFramesLeft && number == ((s.collectedNumber + 1) & 0x07);
}

bool IsRepeatOfLastFrame(const LinkSession &s, uint8_t framesLeft, uint8_t number) {
  return framesLeft == s.collectedFramesLeft && number == s.collectedNumber;
}

}  // namespace

void ResetReceiver() {
  LinkSession &s = Session();
  std::memset(s.window, 0, sizeof s.window);
  AbandonMessage(s);
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
  s.lastType = type;
  s.lastSequence = length > 0 ? payload[length - 1] : w[p + 5];
  const bool firstFrame = (s.lastSequence & 0xF0) == kFirstFrameBit;

  if (!firstFrame && type == kTypeAck) {
    // The phone's acknowledgements: taken whole and not acknowledged. They may arrive
    // between the frames of a long reply; then they are counted straight from the
    // window, and the message buffer holding the reply's first frames is left alone.
    if (s.collecting) {
      DispatchReply({type, payload, length});
      return 0;
    }
    std::memcpy(s.message, payload, length);
    s.messageLength = static_cast<uint16_t>(length);
    return 1;
  }
  // Any other frame without the first-frame bit continues a message. One that continues
  // nothing being collected is a piece of a message whose start was lost: never a
  // message of its own.
  if (!firstFrame && !(s.collecting && s.collectedType == type)) return 0;
  // A data frame carries at least its frames-left and sequence bytes.
  if (length < 2) return 0;

  SendAck(type, s.lastSequence & 0x0F);
  // A phone that sends data frames is answering: frames it left unacknowledged no
  // longer count against it.
  s.framesAcked.store(s.framesSent.load());

  const uint8_t framesLeft = payload[length - 2];
  const uint8_t number = s.lastSequence & 0x07;
  if (firstFrame) {
    // A first frame always starts a new message, whatever was left unfinished.
    AbandonMessage(s);
    s.collecting = true;
    s.collectedType = type;
  } else if (IsRepeatOfLastFrame(s, framesLeft, number)) {
    return 0;  // sent again because our acknowledgement went missing: already kept
  } else if (s.discarding || !IsNextFrame(s, framesLeft, number)) {
    // A frame went missing: nothing of this message may be dispatched. Its remaining
    // frames are still acknowledged, then dropped.
    s.discarding = true;
    RememberFrame(s, framesLeft, number);
    if (framesLeft <= 1) AbandonMessage(s);
    return 0;
  }

  Collect(s, payload, length);
  s.reassembled += static_cast<int32_t>(length) - 2;
  RememberFrame(s, framesLeft, number);
  if (framesLeft != 1) return 0;  // more frames follow
  const bool dropped = s.reassemblyOverflow;
  s.messageLength = static_cast<uint16_t>(s.reassembled + 2);
  AbandonMessage(s);
  return dropped ? 0 : 1;
}

int32_t ReceiveByte(uint8_t byte) {
  LinkSession &s = Session();
  std::memmove(s.window, s.window + 1, kWindowSize - 1);
  s.window[kWindowSize - 1] = byte;
  return FindFrame();
}

void OnByte(uint8_t byte) {
  if (ReceiveByte(byte) == 1) {
    Session().linkUp.store(true);
    ProcessMessage();
  }
}

}  // namespace pelkor
