#include "link_layer.h"

namespace phonesim {

namespace {
// Largest message the computer can number: 255 frames of 120 bytes.
constexpr size_t kMaxMessage = kMaxFramesPerMessage * kMaxBlock;
}  // namespace

LinkEvent LinkLayer::OnFrame(const Frame &frame) {
  LinkEvent event;
  if (frame.type == kAckType) {
    event.isAck = true;
    return event;
  }
  // A data frame ends with frames-left and sequence bytes; anything shorter is junk.
  if (frame.payload.size() < 2) return event;

  const uint8_t framesLeft = frame.payload[frame.payload.size() - 2];
  const uint8_t sequence = frame.payload.back();
  event.needsAck = true;
  event.ackType = frame.type;
  event.ackSequence = sequence & 0x0F;

  const auto block = std::span<const uint8_t>(frame.payload).first(frame.payload.size() - 2);
  // Bit 0x40 marks a first frame whatever else the high nibble holds (some computers
  // number their very first frame 0x60).
  const bool first = (sequence & kFirstFrameBit) != 0;

  if (first) {
    if (framesLeft <= 1) {
      partial_.erase(frame.type);
      event.message = Message{frame.start, frame.type, {block.begin(), block.end()}};
      return event;
    }
    Partial &partial = partial_[frame.type];  // a new first frame replaces a stale message
    partial.start = frame.start;
    partial.framesLeft = static_cast<uint8_t>(framesLeft - 1);
    partial.bytes.assign(block.begin(), block.end());
    return event;
  }

  auto it = partial_.find(frame.type);
  if (it == partial_.end()) return event;  // a continuation of nothing: acknowledged, dropped
  Partial &partial = it->second;
  if (framesLeft != partial.framesLeft || partial.bytes.size() + block.size() > kMaxMessage) {
    partial_.erase(it);  // a frame went missing or the count is broken: the message is lost
    return event;
  }
  partial.bytes.insert(partial.bytes.end(), block.begin(), block.end());
  if (framesLeft <= 1) {
    event.message = Message{partial.start, frame.type, std::move(partial.bytes)};
    partial_.erase(it);
  } else {
    partial.framesLeft = static_cast<uint8_t>(framesLeft - 1);
  }
  return event;
}

std::vector<std::vector<uint8_t>> LinkLayer::FramesFor(uint8_t start, uint8_t type, std::span<const uint8_t> bytes) {
  const size_t count = bytes.empty() ? 1 : (bytes.size() + kMaxBlock - 1) / kMaxBlock;
  std::vector<std::vector<uint8_t>> frames;
  if (count > kMaxFramesPerMessage) return frames;
  for (size_t i = 0; i < count; ++i) {
    const auto block = bytes.subspan(i * kMaxBlock, std::min(kMaxBlock, bytes.size() - i * kMaxBlock));
    std::vector<uint8_t> payload(block.begin(), block.end());
    payload.push_back(static_cast<uint8_t>(count - i));
    payload.push_back(static_cast<uint8_t>(i == 0 ? (kFirstFrameBit | sequence_) : sequence_));
    sequence_ = static_cast<uint8_t>((sequence_ + 1) % 8);
    frames.push_back(BuildPhoneFrame(start, type, payload));
  }
  return frames;
}

std::vector<uint8_t> LinkLayer::AckFrame(uint8_t start, uint8_t type, uint8_t sequence) {
  const uint8_t payload[] = {type, static_cast<uint8_t>(sequence & 0x0F)};
  return BuildPhoneFrame(start, kAckType, payload);
}

}  // namespace phonesim
