#include "wave/wave_writer.h"

#include <cstring>
#include <new>

#include "wave/tone_synthesis.h"

namespace pelkor {

namespace {

void WriteHeader(mfbwave_writer &writer) { platform::WriteOutputFile(writer.file, writer.header, kWavHeaderBytes); }

}  // namespace

mfbwave_writer *CreateWaveFile(const char *fileName) {
  platform::OutputFile *file = platform::CreateOutputFile(fileName);
  if (file == nullptr) return nullptr;

  auto *writer = new (std::nothrow) mfbwave_writer{};
  if (writer == nullptr) {
    platform::CloseOutputFile(file);
    return nullptr;
  }
  writer->file = file;
  FillWavHeader(writer->header, 0);
  WriteHeader(*writer);
  return writer;
}

bool ToneFitsWave(uint32_t dataBytes, uint64_t sampleCount) {
  return dataBytes <= kMaxWavDataBytes && sampleCount <= kMaxWavDataBytes - dataBytes;
}

void AddWaveTone(mfbwave_writer *writer, int32_t frequencyHz, int32_t durationMs) {
  if (writer == nullptr || frequencyHz < 0) return;
  const uint64_t sampleCount = ToneSampleCount(durationMs);
  const uint32_t dataBytes = WavDataBytes(writer->header);
  if (sampleCount == 0 || !ToneFitsWave(dataBytes, sampleCount)) return;

  const auto n = static_cast<uint32_t>(sampleCount);
  const auto frequency = static_cast<uint32_t>(frequencyHz);
  FillWavHeader(writer->header, dataBytes + n);

  std::memset(writer->samples, kSilenceSample, sizeof writer->samples);
  size_t filled = 0;
  for (uint32_t i = 0; i < n; ++i) {
    writer->samples[filled++] = ToneSample(i, n, frequency);
    if (filled == kWaveBlockBytes || i == n - 1) {
      platform::WriteOutputFile(writer->file, writer->samples, filled);
      filled = 0;
    }
  }
}

void CloseWaveFile(mfbwave_writer *writer) {
  if (writer == nullptr) return;
  platform::RewindOutputFile(writer->file);
  WriteHeader(*writer);
  platform::CloseOutputFile(writer->file);
  delete writer;
}

}  // namespace pelkor
