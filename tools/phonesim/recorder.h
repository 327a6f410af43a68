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
  bool isAck;
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
  void RecordWire(std::span<const uint8_t> bytes);
  void RecordFrame(const Frame &frame, bool isAck, std::chrono::steady_clock::time_point when);
  void RecordMessage(const Message &message, std::chrono::steady_clock::time_point when);
  void CountAck() { ++acks_; }

  const std::vector<uint8_t> &Wire() const { return wire_; }
  const std::vector<ReceivedFrame> &Frames() const { return frames_; }
  const std::vector<ReceivedMessage> &Messages() const { return messages_; }
  size_t Acks() const { return acks_; }

  void ClearWire() { wire_.clear(); }
  void Clear();  // wire, frames and messages; the ack count stays

 private:
  std::vector<uint8_t> wire_;
  std::vector<ReceivedFrame> frames_;
  std::vector<ReceivedMessage> messages_;
  size_t acks_ = 0;
};

}  // namespace phonesim
