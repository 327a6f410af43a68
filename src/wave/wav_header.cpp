#include "wave/wav_header.h"

#include <cstring>

#include "wave/tone_synthesis.h"

namespace pelkor {

namespace {

void PutLe16(uint8_t *at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(uint8_t *at, uint32_t value) {
  for (int n = 0; n < 4; ++n) at[n] = static_cast<uint8_t>(value >> (8 * n));
}

void PutTag(uint8_t *at, const char (&tag)[5]) { std::memcpy(at, tag, 4); }

}  // namespace

void FillWavHeader(uint8_t (&header)[kWavHeaderBytes], uint32_t dataBytes) {
  constexpr uint16_t kPcm = 1;
  constexpr uint16_t kChannels = 1;
  constexpr uint16_t kBlockAlign = 1;
  constexpr uint16_t kBitsPerSample = 8;

  PutTag(header + 0, "RIFF");
  PutLe32(header + 4, 36 + dataBytes);
  PutTag(header + 8, "WAVE");
  PutTag(header + 12, "fmt ");
  PutLe32(header + 16, 16);
  PutLe16(header + 20, kPcm);
  PutLe16(header + 22, kChannels);
  PutLe32(header + 24, kToneSampleRate);
  PutLe32(header + 28, kToneSampleRate * kBlockAlign);
  PutLe16(header + 32, kBlockAlign);
  PutLe16(header + 34, kBitsPerSample);
  PutTag(header + 36, "data");
  PutLe32(header + 40, dataBytes);
}

uint32_t WavDataBytes(const uint8_t (&header)[kWavHeaderBytes]) {
  uint32_t value = 0;
  for (int n = 3; n >= 0; --n) value = (value << 8) | header[40 + n];
  return value;
}

}  // namespace pelkor
