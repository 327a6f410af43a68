#pragma once
// Enveloped sine tones as unsigned 8-bit samples at 8000 Hz.

#include <cstdint>

namespace pelkor {

inline constexpr uint32_t kToneSampleRate = 8000;
inline constexpr uint8_t kSilenceSample = 128;

// 1000 x sin((k + 0.5) x 2 pi / 128), truncated toward zero.
extern const int32_t kSineTable[128];

// Samples in a tone of durationMs milliseconds (0 for a negative duration).
uint64_t ToneSampleCount(int32_t durationMs);

// Loudness in thousandths at sample i of an n-sample tone: rises to 950 over the
// first eighth, falls to 700 over the second, holds, and falls to 0 over the
// last quarter.
uint32_t ToneEnvelope(uint32_t i, uint32_t n);

// Sample byte i of an n-sample tone of frequencyHz (0 gives silence).
uint8_t ToneSample(uint32_t i, uint32_t n, uint32_t frequencyHz);

}  // namespace pelkor
