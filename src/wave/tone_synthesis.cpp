#include "wave/tone_synthesis.h"

namespace pelkor {

namespace {

// The table steps once per sample at 62 Hz: the sample rate over the table size,
// in integer arithmetic, so the pitch comes out at frequency x 8000 / 7936.
constexpr uint64_t kTableStepHz = kToneSampleRate / 128;
constexpr int32_t kSampleDivisor = 7936;

}  // namespace

const int32_t kSineTable[128] = {
    24,   73,   122,  170,  219,  266,  313,  359,  405,  449,  492,  534,  575,  615,  653,  689,  724,  757,  788,
    817,  844,  870,  893,  914,  932,  949,  963,  975,  985,  992,  997,  999,  999,  997,  992,  985,  975,  963,
    949,  932,  914,  893,  870,  844,  817,  788,  757,  724,  689,  653,  615,  575,  534,  492,  449,  405,  359,
    313,  266,  219,  170,  122,  73,   24,   -24,  -73,  -122, -170, -219, -266, -313, -359, -405, -449, -492, -534,
    -575, -615, -653, -689, -724, -757, -788, -817, -844, -870, -893, -914, -932, -949, -963, -975, -985, -992, -997,
    -999, -999, -997, -992, -985, -975, -963, -949, -932, -914, -893, -870, -844, -817, -788, -757, -724, -689, -653,
    -615, -575, -534, -492, -449, -405, -359, -313, -266, -219, -170, -122, -73,  -24,
};

uint64_t ToneSampleCount(int32_t durationMs) {
  if (durationMs <= 0) return 0;
  return static_cast<uint64_t>(durationMs) * kToneSampleRate / 1000;
}

// Products are taken in 64 bits: for every tone short enough that the 32-bit
// products cannot wrap they give the same values, and longer tones keep a
// smooth envelope and phase instead of clicking where a product would wrap.
uint32_t ToneEnvelope(uint32_t i, uint32_t n) {
  if (i >= n) return 0;
  const uint64_t at = i;
  const uint64_t attackEnd = n / 8;
  const uint64_t decayEnd = 2 * attackEnd;
  const uint64_t sustainEnd = n - 2 * attackEnd;

  if (at < attackEnd) return static_cast<uint32_t>(at * 950 / attackEnd);
  if (at < decayEnd) return static_cast<uint32_t>((decayEnd - at) * 250 / (decayEnd - attackEnd) + 700);
  if (at < sustainEnd) return 700;
  return static_cast<uint32_t>((n - at - 1) * 700 / (n - sustainEnd));
}

uint8_t ToneSample(uint32_t i, uint32_t n, uint32_t frequencyHz) {
  if (frequencyHz == 0) return kSilenceSample;
  const uint64_t index = (static_cast<uint64_t>(i) * frequencyHz / kTableStepHz) % 128;
  const int32_t envelope = static_cast<int32_t>(ToneEnvelope(i, n));
  return static_cast<uint8_t>(kSineTable[index] * envelope / kSampleDivisor + kSilenceSample);
}

}  // namespace pelkor
