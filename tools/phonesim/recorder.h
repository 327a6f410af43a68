// What arrived on the wire, for tests and people watching: the raw bytes, the frames
// they made and the messages those joined into, and how many acknowledgements came.
// Not locked: the simulator holds its lock around every call.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "frame_codec.h"
#include "link_layer.h"

namespace phonesim {

struct ReceivedFrame {
  uint8_t start;
  uint8_t type;
  std::vector<uint8_t> payload;  // payload incl. trailer for data frames
  bool is_ack;
  std::chrono::steady_clock::time_point when;
};

struct ReceivedMessage {
  uint8_t start;
  uint8_t type;
  std::vector<uint8_t> bytes;  // reassembled, trailer removed
  std::chrono::steady_clock::time_point when;
};

class Recorder {
 public:
  void record_wire(std::span<const uint8_t> bytes);
  void record_frame(const Frame &frame, bool is_ack, std::chrono::steady_clock::time_point when);
  void record_message(const Message &message, std::chrono::steady_clock::time_point when);
  void count_ack() { ++acks_; }

  const std::vector<uint8_t> &wire() const { return wire_; }
  const std::vector<ReceivedFrame> &frames() const { return frames_; }
  const std::vector<ReceivedMessage> &messages() const { return messages_; }
  size_t acks() const { return acks_; }

  void clear_wire() { wire_.clear(); }
  void clear();  // wire, frames and messages; the ack count stays

 private:
  std::vector<uint8_t> wire_;
  std::vector<ReceivedFrame> frames_;
  std::vector<ReceivedMessage> messages_;
  size_t acks_ = 0;
};

}  // namespace phonesim
