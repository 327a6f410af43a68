#include "recorder.h"

namespace phonesim {

namespace {

// Keep the records from growing without end when the simulator runs for days.
constexpr size_t kMaxWire = 1 << 20;
constexpr size_t kMaxRecords = 100000;

template <typename T>
void keep_bounded(std::vector<T> &records, size_t limit) {
  if (records.size() > limit) records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(limit / 2));
}

}  // namespace

void Recorder::record_wire(std::span<const uint8_t> bytes) {
  wire_.insert(wire_.end(), bytes.begin(), bytes.end());
  keep_bounded(wire_, kMaxWire);
}

void Recorder::record_frame(const Frame &frame, bool is_ack, std::chrono::steady_clock::time_point when) {
  frames_.push_back({frame.start, frame.type, frame.payload, is_ack, when});
  keep_bounded(frames_, kMaxRecords);
}

void Recorder::record_message(const Message &message, std::chrono::steady_clock::time_point when) {
  messages_.push_back({message.start, message.type, message.bytes, when});
  keep_bounded(messages_, kMaxRecords);
}

void Recorder::clear() {
  wire_.clear();
  frames_.clear();
  messages_.clear();
}

}  // namespace phonesim
