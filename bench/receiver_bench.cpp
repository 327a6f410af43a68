// The receiver runs for every byte the phone sends, on the watch thread: how many bytes
// a second it can take, and how long building a frame takes.
#include <benchmark/benchmark.h>

#include <vector>

#include "link/frame_format.h"
#include "link/frame_receiver.h"
#include "link/session.h"

namespace {

// A stream of single-frame replies as the phone would send them (no port is open, so
// the acknowledgements go nowhere).
std::vector<uint8_t> PhoneStream(size_t frames, size_t payload) {
  std::vector<uint8_t> stream;
  for (size_t i = 0; i < frames; ++i) {
    std::vector<uint8_t> f = {0x1E, 0x0C, 0x00, 0x14, 0x00, static_cast<uint8_t>(payload + 2)};
    for (size_t k = 0; k < payload; ++k) f.push_back(static_cast<uint8_t>(k * 31 + i));
    f.push_back(0x01);
    f.push_back(static_cast<uint8_t>(0x40 | (i % 8)));
    if (f.size() % 2) f.push_back(0x00);
    const size_t body = f.size();
    f.push_back(pelkor::AlternateXor(f.data(), 0, body));
    f.push_back(pelkor::AlternateXor(f.data(), 1, body));
    stream.insert(stream.end(), f.begin(), f.end());
  }
  return stream;
}

void BM_ReceiverPerByte(benchmark::State &state) {
  const std::vector<uint8_t> stream = PhoneStream(64, static_cast<size_t>(state.range(0)));
  pelkor::ResetReceiver();
  for (auto _ : state)
    for (uint8_t b : stream) pelkor::OnByte(b);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
}
BENCHMARK(BM_ReceiverPerByte)->Arg(8)->Arg(120);

void BM_BuildFrame(benchmark::State &state) {
  uint8_t payload[122] = {};
  uint8_t frame[pelkor::kMaxFrameSize];
  for (auto _ : state) {
    benchmark::DoNotOptimize(pelkor::BuildFrame(pelkor::kStartCable, 0x02, payload, sizeof payload, frame));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BuildFrame);

}  // namespace
