#include "phone_line.h"

#include <algorithm>
#include <cstdint>

namespace phonesim {

namespace {

constexpr size_t kMaxOutput = 1 << 20;

}  // namespace

LinkEvent PhoneLine::OnFrame(const Frame &frame) {
  lastStart_ = frame.start;
  return link_.OnFrame(frame);
}

std::vector<uint8_t> PhoneLine::AckFor(const Frame &frame, const LinkEvent &event) {
  return LinkLayer::AckFrame(frame.start, event.ackType, event.ackSequence);
}

bool PhoneLine::Queue(const std::vector<uint8_t> &bytes) {
  if (output_.size() + bytes.size() > kMaxOutput) return false;
  output_.insert(output_.end(), bytes.begin(), bytes.end());
  return true;
}

void PhoneLine::DropOutput() {
  output_.clear();
  pacing_ = false;
}

void PhoneLine::ClientGone() {
  DropOutput();
  inputPacing_ = false;
}

std::vector<uint8_t> PhoneLine::NextChunk(Clock::time_point now) {
  size_t allowed = output_.size();
  if (paced_) {
    if (!pacing_) {
      pacing_ = true;
      paceOrigin_ = now;
      paceSent_ = 0;
    }
    const auto due = static_cast<size_t>((now - paceOrigin_) / kByteTime) + 1;
    allowed = due > paceSent_ ? std::min(allowed, due - paceSent_) : 0;
  }
  return {output_.begin(), output_.begin() + static_cast<std::ptrdiff_t>(allowed)};
}

PhoneLine::Clock::time_point PhoneLine::Written(size_t count) {
  // Only the simulator's thread takes bytes off the front, so the first `count` bytes
  // are the ones just written.
  output_.erase(output_.begin(), output_.begin() + static_cast<std::ptrdiff_t>(std::min(count, output_.size())));
  if (!paced_ || !pacing_) {
    pacing_ = false;
    return {};
  }
  paceSent_ += count;
  const Clock::time_point nextDue = paceOrigin_ + kByteTime * static_cast<long>(paceSent_);
  if (output_.empty()) pacing_ = false;
  return nextDue;
}

void PhoneLine::SetPaced(bool paced) {
  paced_ = paced;
  pacing_ = false;
  inputPacing_ = false;
}

size_t PhoneLine::InputAllowance(Clock::time_point now, Clock::time_point &next) const {
  if (!paced_) return SIZE_MAX;
  if (!inputPacing_) return 1;  // the first byte of a burst
  const auto due = static_cast<size_t>((now - inputOrigin_) / kByteTime) + 1;
  if (due > inputTaken_) return due - inputTaken_;
  next = inputOrigin_ + kByteTime * static_cast<long>(inputTaken_);
  return 0;
}

void PhoneLine::TookInput(Clock::time_point now, size_t got, size_t allowed) {
  if (got == 0) {
    inputPacing_ = false;  // the line is idle
    return;
  }
  if (!paced_) return;
  if (!inputPacing_) {
    inputPacing_ = true;
    inputOrigin_ = now;
    inputTaken_ = 0;
  }
  inputTaken_ += got;
  if (got < allowed) inputPacing_ = false;  // all there was
}

}  // namespace phonesim
