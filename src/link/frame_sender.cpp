#include "link/frame_sender.h"

#include "link/frame_format.h"
#include "link/port_link.h"
#include "link/session.h"
#include "platform/sleep.h"

namespace pelkor {

int32_t WriteFrame(uint8_t length, uint8_t type, const uint8_t *payload) {
  LinkSession &s = Session();
  uint8_t frame[kMaxFrameSize];
  const size_t size = BuildFrame(s.StartByte(), type, payload, length, frame);
  const bool data = type != kTypeAck;
  // Counted before it is written: the phone may acknowledge and answer it, and the watch
  // thread settle the count, before the write returns on a loaded machine. Counted after,
  // the frame would stay unacknowledged for good, and isalive would report a healthy link
  // as down between keep-alive polls.
  if (data) {
    s.lastFrameSent.store(static_cast<uint16_t>(type << 8 | (payload[length - 1] & 0x0F)));
    s.framesSent.fetch_add(1);
  }
  if (WritePort(frame, size) < size) {
    if (data) s.framesSent.fetch_sub(1);  // it never left: nothing to wait for
    return 0;
  }
  return 1;
}

int32_t Send(size_t length, uint8_t type, const uint8_t *bytes) {
  const size_t frames = length == 0 ? 1 : (length + kMaxBlock - 1) / kMaxBlock;
  if (frames > 255) return 0;
  LinkSession &s = Session();
  uint8_t payload[kMaxBlock + 2];
  size_t offset = 0;
  for (size_t i = 0; i < frames; ++i) {
    const size_t block = (i + 1 < frames) ? kMaxBlock : length - offset;
    for (size_t k = 0; k < block; ++k) payload[k] = bytes[offset + k];
    const uint8_t sequence = static_cast<uint8_t>(s.sendSequence.fetch_add(1) & 0x07);
    payload[block] = static_cast<uint8_t>(frames - i);  // frames left, this one included
    payload[block + 1] = static_cast<uint8_t>(i == 0 ? kFirstFrameBit + sequence : sequence);
    WriteFrame(static_cast<uint8_t>(block + 2), type, payload);
    offset += block;
  }
  platform::SleepMs(1);
  return 1;
}

int32_t SendAck(uint8_t type, uint8_t number) {
  LinkSession &s = Session();
  const uint16_t ack = static_cast<uint16_t>(type << 8 | number);
  if (s.lastAck.load() == ack) return 0;
  s.lastAck.store(ack);
  s.phoneHeard.store(true);
  s.linkUp.store(true);
  const uint8_t payload[2] = {type, number};
  return WriteFrame(2, kTypeAck, payload);
}

}  // namespace pelkor
