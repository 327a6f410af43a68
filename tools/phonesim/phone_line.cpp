#include "phone_line.h"

#include <algorithm>
#include <cstdint>

namespace phonesim {

namespace {

constexpr size_t kMaxOutput = 1 << 20;

}  // namespace

LinkEvent PhoneLine::OnFrame(const Frame &frame) {
  last_start_ = frame.start;
  return link_.OnFrame(frame);
}

std::vector<uint8_t> PhoneLine::AckFor(const Frame &frame, const LinkEvent &event) {
  return LinkLayer::AckFrame(frame.start, event.ack_type, event.ack_sequence);
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
  input_pacing_ = false;
}

std::vector<uint8_t> PhoneLine::NextChunk(Clock::time_point now) {
  size_t allowed = output_.size();
  if (paced_) {
    if (!pacing_) {
      pacing_ = true;
      pace_origin_ = now;
      pace_sent_ = 0;
    }
    const auto due = static_cast<size_t>((now - pace_origin_) / kByteTime) + 1;
    allowed = due > pace_sent_ ? std::min(allowed, due - pace_sent_) : 0;
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
  pace_sent_ += count;
  const Clock::time_point next_due = pace_origin_ + kByteTime * static_cast<long>(pace_sent_);
  if (output_.empty()) pacing_ = false;
  return next_due;
}

void PhoneLine::SetPaced(bool paced) {
  paced_ = paced;
  pacing_ = false;
  input_pacing_ = false;
}

size_t PhoneLine::InputAllowance(Clock::time_point now, Clock::time_point &next) const {
  if (!paced_) return SIZE_MAX;
  if (!input_pacing_) return 1;  // the first byte of a burst
  const auto due = static_cast<size_t>((now - input_origin_) / kByteTime) + 1;
  if (due > input_taken_) return due - input_taken_;
  next = input_origin_ + kByteTime * static_cast<long>(input_taken_);
  return 0;
}

void PhoneLine::TookInput(Clock::time_point now, size_t got, size_t allowed) {
  if (got == 0) {
    input_pacing_ = false;  // the line is idle
    return;
  }
  if (!paced_) return;
  if (!input_pacing_) {
    input_pacing_ = true;
    input_origin_ = now;
    input_taken_ = 0;
  }
  input_taken_ += got;
  if (got < allowed) input_pacing_ = false;  // all there was
}

}  // namespace phonesim
