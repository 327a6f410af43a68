// The phone's side of the FBUS link: which frames to acknowledge, how the computer's
// multi-frame messages are joined, and how our own messages are numbered and split.
// Pure logic without I/O, so it is driven the same way from the I/O thread and tests.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "frame_codec.h"

namespace phonesim {

inline constexpr size_t kMaxBlock = 120;             // message bytes per frame
inline constexpr size_t kMaxFramesPerMessage = 255;  // the frames-left byte's limit
inline constexpr uint8_t kFirstFrameBit = 0x40;

// A complete message from the computer, trailer removed.
struct Message {
  uint8_t start = kCableStart;
  uint8_t type = 0;
  std::vector<uint8_t> bytes;
};

struct LinkEvent {
  bool isAck = false;     // the computer acknowledged one of our frames
  bool needsAck = false;  // a data frame: acknowledge with [type, sequence & 0x0F]
  uint8_t ackType = 0;
  uint8_t ackSequence = 0;
  std::optional<Message> message;  // set when this frame completed a message
};

class LinkLayer {
 public:
  // Classifies one frame from the computer and joins messages.
  LinkEvent OnFrame(const Frame &frame);

  // Frames (whole, with checksums) for one of our messages; every frame takes the next
  // sequence number, 0x40 marks the first. Empty when the message needs more than 255
  // frames: such a message cannot be numbered and is not sent.
  std::vector<std::vector<uint8_t>> FramesFor(uint8_t start, uint8_t type, std::span<const uint8_t> bytes);

  static std::vector<uint8_t> AckFrame(uint8_t start, uint8_t type, uint8_t sequence);

  // The sequence number the next frame will use (0..7).
  uint8_t NextSequence() const { return sequence_; }

 private:
  struct Partial {
    uint8_t start = kCableStart;
    uint8_t framesLeft = 0;  // the frames-left value the next frame must carry
    std::vector<uint8_t> bytes;
  };

  uint8_t sequence_ = 0;
  // One message in progress per type, so a status request slipped in between the
  // frames of a long transfer does not spoil it.
  std::map<uint8_t, Partial> partial_;
};

}  // namespace phonesim
