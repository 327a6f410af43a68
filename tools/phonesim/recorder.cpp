#include "recorder.h"

namespace phonesim {

namespace {

// Keep the records from growing without end when the simulator runs for days.
constexpr size_t kMaxWire = 1 << 20;
constexpr size_t kMaxRecords = 100000;

template <typename T>
void KeepBounded(std::vector<T> &records, size_t limit) {
  if (records.size() > limit) records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(limit / 2));
}

}  // namespace

void Recorder::RecordWire(std::span<const uint8_t> bytes) {
  wire_.insert(wire_.end(), bytes.begin(), bytes.end());
  KeepBounded(wire_, kMaxWire);
}

void Recorder::RecordFrame(const Frame &frame, bool isAck, std::chrono::steady_clock::time_point when) {
  frames_.push_back({frame.start, frame.type, frame.payload, isAck, when});
  KeepBounded(frames_, kMaxRecords);
}

void Recorder::RecordMessage(const Message &message, std::chrono::steady_clock::time_point when) {
  messages_.push_back({message.start, message.type, message.bytes, when});
  KeepBounded(messages_, kMaxRecords);
}

void Recorder::Clear() {
  wire_.clear();
  frames_.clear();
  messages_.clear();
}

}  // namespace phonesim
