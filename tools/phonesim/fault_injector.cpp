#include "fault_injector.h"

#include <algorithm>

#include "frame_codec.h"
#include "link_layer.h"

namespace phonesim {

namespace {

constexpr size_t kMaxNoise = 1 << 20;

}  // namespace

size_t FaultInjector::FrameToLose(size_t count) {
  if (loseFrame_ == 0 || count <= 1 || silent_) return count;
  const size_t skip = std::min(loseFrame_, count) - 1;
  loseFrame_ = 0;
  ++framesLost_;
  return skip;
}

std::vector<uint8_t> FaultInjector::Noise(size_t count) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> bytes(std::min(count, kMaxNoise));
  for (uint8_t &b : bytes) b = static_cast<uint8_t>(byte(random_));
  return bytes;
}

std::vector<uint8_t> FaultInjector::CorruptFrame(uint8_t start, uint8_t nextSequence) {
  const uint8_t sequence = static_cast<uint8_t>(kFirstFrameBit | nextSequence);
  const std::vector<uint8_t> payload = {0x01, 0x08, 0x00, 0x02, 0x01, 0x03, 0x01, 0x00, 0x02, 0x01, sequence};
  std::vector<uint8_t> frame = BuildPhoneFrame(start, 0x04, payload);
  frame.back() ^= 0x5A;
  return frame;
}

}  // namespace phonesim
