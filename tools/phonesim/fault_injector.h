// The faults a test or a person can inject on the line: a pulled cable (silent),
// acknowledgements withheld, a frame of a long reply lost, random noise and a frame
// with a bad checksum. Not locked: the simulator holds its lock around every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace phonesim {

class FaultInjector {
 public:
  // A pulled cable: nothing goes out, not even acks, and nothing reaches the phone,
  // but what arrives on the wire is still recorded.
  bool Silent() const { return silent_; }
  void SetSilent(bool silent) { silent_ = silent; }
  bool Acknowledging() const { return acknowledging_; }
  void SetAcknowledging(bool acknowledging) { acknowledging_ = acknowledging; }

  // Of the next message sent in more than one frame, frame `index` (1 the first; an
  // index past the last frame means the last) is not written. 0 withdraws it.
  void LoseFrame(size_t index) { loseFrame_ = index; }
  size_t FrameLossPending() const { return loseFrame_; }
  size_t FramesLost() const { return framesLost_; }
  // Which of a message's `count` frames to leave out (`count` for none). A pending
  // loss applies to the first message of several frames while the cable is in.
  size_t FrameToLose(size_t count);

  std::vector<uint8_t> Noise(size_t count);  // random bytes, at most 1 MiB
  // A status answer that would be accepted but for its last checksum byte. It does not
  // take a sequence number: as far as the link goes it was never sent.
  static std::vector<uint8_t> CorruptFrame(uint8_t start, uint8_t nextSequence);

 private:
  bool silent_ = false;
  bool acknowledging_ = true;
  size_t loseFrame_ = 0;
  size_t framesLost_ = 0;
  std::mt19937 random_{std::random_device{}()};
};

}  // namespace phonesim
