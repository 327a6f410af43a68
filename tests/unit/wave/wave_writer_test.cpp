// The WAV tone writer through its exported functions. Expected samples are
// worked out here from the tone recipe, not taken from the library.
#include <gtest/gtest.h>
#include <pelkor16.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "wave/tone_synthesis.h"
#include "wave/wave_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Unique per process, so that several builds may run the tests at once.
std::string TempPath(const std::string &name) {
  static const std::string run = std::to_string(std::random_device{}());
  return ::testing::TempDir() + "pelkor_wave_" + run + "_" + name;
}

Bytes ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Le32(const Bytes &b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint16_t Le16(const Bytes &b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

std::string Tag(const Bytes &b, size_t at) {
  return std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at) + 4);
}

// --- the tone recipe, written out independently -------------------------------

int32_t ExpectedSine(uint32_t k) {
  return static_cast<int32_t>(std::trunc(1000.0 * std::sin((k + 0.5) * 2.0 * std::numbers::pi / 128.0)));
}

uint32_t ExpectedEnvelope(uint32_t i, uint32_t n) {
  const uint32_t a = n / 8, d = 2 * a, s = n - 2 * a;
  if (i < a) return i * 950 / a;
  if (i < d) return (d - i) * 250 / (d - a) + 700;
  if (i < s) return 700;
  return n == s ? 0 : (n - i - 1) * 700 / (n - s);
}

Bytes ExpectedTone(uint32_t frequency, uint32_t durationMs) {
  const uint32_t n = durationMs * 8000 / 1000;
  Bytes samples(n, 128);
  if (frequency == 0) return samples;
  for (uint32_t i = 0; i < n; ++i) {
    const int32_t level = ExpectedSine(i * frequency / 62 % 128) * static_cast<int32_t>(ExpectedEnvelope(i, n));
    samples[i] = static_cast<uint8_t>(level / 7936 + 128);
  }
  return samples;
}

struct Tone {
  int32_t frequency;
  int32_t durationMs;
};

// Writes the tones to a fresh file and returns the file's bytes.
Bytes WriteWave(const std::string &path, const std::vector<Tone> &tones) {
  mfbwave_writer *writer = mfbwave_create(path.c_str());
  EXPECT_NE(writer, nullptr);
  for (const Tone &tone : tones) mfbwave_add_tone(writer, tone.frequency, tone.durationMs);
  mfbwave_close(writer);
  Bytes file = ReadFile(path);
  std::remove(path.c_str());
  return file;
}

void ExpectSizes(const Bytes &file, uint32_t dataBytes) {
  ASSERT_EQ(file.size(), 44u + dataBytes);
  EXPECT_EQ(Le32(file, 4), 36 + dataBytes);
  EXPECT_EQ(Le32(file, 40), dataBytes);
}

Bytes Samples(const Bytes &file) { return Bytes(file.begin() + 44, file.end()); }

// --- tests -------------------------------------------------------------------------

TEST(WaveTone, SineTableFollowsTheFormula) {
  for (uint32_t k = 0; k < 128; ++k) EXPECT_EQ(pelkor::kSineTable[k], ExpectedSine(k)) << k;
  EXPECT_EQ(pelkor::kSineTable[0], 24);
  EXPECT_EQ(pelkor::kSineTable[3], 170);
  EXPECT_EQ(pelkor::kSineTable[31], 999);
  EXPECT_EQ(pelkor::kSineTable[32], 999);
  EXPECT_EQ(pelkor::kSineTable[64], -24);
}

TEST(WaveTone, EnvelopeOfASevenMillisecondTone) {
  // 56 samples: attack ends at 7, decay at 14, sustain at 42.
  EXPECT_EQ(pelkor::ToneEnvelope(0, 56), 0u);
  EXPECT_EQ(pelkor::ToneEnvelope(6, 56), 814u);
  EXPECT_EQ(pelkor::ToneEnvelope(7, 56), 950u);
  EXPECT_EQ(pelkor::ToneEnvelope(13, 56), 735u);
  EXPECT_EQ(pelkor::ToneEnvelope(14, 56), 700u);
  EXPECT_EQ(pelkor::ToneEnvelope(41, 56), 700u);
  EXPECT_EQ(pelkor::ToneEnvelope(42, 56), 650u);
  EXPECT_EQ(pelkor::ToneEnvelope(55, 56), 0u);
  // Fewer than 8 samples: no attack or decay, the whole tone sustains.
  EXPECT_EQ(pelkor::ToneEnvelope(0, 7), 700u);
  EXPECT_EQ(pelkor::ToneEnvelope(6, 7), 700u);
}

TEST(WaveFile, CreateThenCloseLeavesAnEmptyValidHeader) {
  const std::string path = TempPath("empty.wav");
  { std::ofstream(path) << std::string(500, 'x'); }  // an older, longer file is replaced
  const Bytes file = WriteWave(path, {});
  ASSERT_EQ(file.size(), 44u);
  EXPECT_EQ(Tag(file, 0), "RIFF");
  EXPECT_EQ(Le32(file, 4), 36u);
  EXPECT_EQ(Tag(file, 8), "WAVE");
  EXPECT_EQ(Tag(file, 12), "fmt ");
  EXPECT_EQ(Le32(file, 16), 16u);
  EXPECT_EQ(Le16(file, 20), 1u);     // PCM
  EXPECT_EQ(Le16(file, 22), 1u);     // mono
  EXPECT_EQ(Le32(file, 24), 8000u);  // samples per second
  EXPECT_EQ(Le32(file, 28), 8000u);  // bytes per second
  EXPECT_EQ(Le16(file, 32), 1u);     // block align
  EXPECT_EQ(Le16(file, 34), 8u);     // bits per sample
  EXPECT_EQ(Tag(file, 36), "data");
  EXPECT_EQ(Le32(file, 40), 0u);
}

TEST(WaveFile, ShortToneSamplesFollowTheEnvelope) {
  const Bytes file = WriteWave(TempPath("short.wav"), {{1000, 7}});
  ExpectSizes(file, 56);
  const Bytes samples = Samples(file);
  EXPECT_EQ(samples, ExpectedTone(1000, 7));
  EXPECT_EQ(samples.front(), 128);
  EXPECT_EQ(samples.back(), 128);
}

TEST(WaveFile, OneSecondTone) {
  const Bytes file = WriteWave(TempPath("second.wav"), {{440, 1000}});
  ExpectSizes(file, 8000);
  const Bytes samples = Samples(file);
  EXPECT_EQ(samples, ExpectedTone(440, 1000));
  EXPECT_EQ(samples.front(), 128);
  EXPECT_EQ(samples.back(), 128);
  for (uint8_t s : samples) {
    ASSERT_GE(s, 9);
    ASSERT_LE(s, 247);
  }
}

TEST(WaveFile, LongToneCrossesTheBlockBoundaryIntact) {
  // 24000 samples: one full block of 16384 and 7616 more.
  const Bytes file = WriteWave(TempPath("long.wav"), {{1234, 3000}});
  ExpectSizes(file, 24000);
  const Bytes samples = Samples(file);
  const Bytes expected = ExpectedTone(1234, 3000);
  EXPECT_EQ(samples, expected);
  ASSERT_EQ(samples.size(), expected.size());
  for (size_t i = 16380; i < 16390; ++i) EXPECT_EQ(samples[i], expected[i]) << i;
}

TEST(WaveFile, TonesFollowOneAnother) {
  const Bytes file = WriteWave(TempPath("sequence.wav"), {{880, 100}, {0, 250}, {660, 50}});
  ExpectSizes(file, 800 + 2000 + 400);
  Bytes expected = ExpectedTone(880, 100);
  const Bytes silence(2000, 128);
  expected.insert(expected.end(), silence.begin(), silence.end());
  const Bytes last = ExpectedTone(660, 50);
  expected.insert(expected.end(), last.begin(), last.end());
  EXPECT_EQ(Samples(file), expected);
}

TEST(WaveFile, TonesWithoutSamplesOrWithBadArgumentsAddNothing) {
  const Bytes file =
      WriteWave(TempPath("nothing.wav"), {{440, 0}, {440, -100}, {-440, 100}, {440, 536870908}, {440, INT32_MAX}});
  ExpectSizes(file, 0);
}

TEST(WaveFile, SizesMayNotOverflowTheHeader) {
  const uint32_t limit = 0xFFFFFFFFu - 36;
  EXPECT_TRUE(pelkor::ToneFitsWave(0, limit));
  EXPECT_FALSE(pelkor::ToneFitsWave(0, uint64_t{limit} + 1));
  EXPECT_TRUE(pelkor::ToneFitsWave(limit - 8000, 8000));
  EXPECT_FALSE(pelkor::ToneFitsWave(limit - 7999, 8000));
  EXPECT_FALSE(pelkor::ToneFitsWave(limit, 1));
  // The longest tone that fits an empty file is 536870907 ms, about 149 hours.
  EXPECT_TRUE(pelkor::ToneFitsWave(0, pelkor::ToneSampleCount(536870907)));
  EXPECT_FALSE(pelkor::ToneFitsWave(0, pelkor::ToneSampleCount(536870908)));
  // Durations whose product with 8000 passes 32 bits still count right.
  EXPECT_EQ(pelkor::ToneSampleCount(600000), 4800000u);
  EXPECT_EQ(pelkor::ToneSampleCount(INT32_MAX), uint64_t{INT32_MAX} * 8);
}

TEST(WaveFile, NullWriterAndUncreatableFiles) {
  mfbwave_add_tone(nullptr, 440, 100);
  mfbwave_close(nullptr);
  EXPECT_EQ(mfbwave_create(nullptr), nullptr);
  EXPECT_EQ(mfbwave_create(""), nullptr);
  EXPECT_EQ(mfbwave_create("/nonexistent-directory/tone.wav"), nullptr);
  EXPECT_EQ(mfbwave_create(::testing::TempDir().c_str()), nullptr) << "a directory";
}

TEST(WaveFile, PythonWaveModuleReadsTheFile) {
  if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 not found";
  const std::string path = TempPath("python.wav");
  mfbwave_writer *writer = mfbwave_create(path.c_str());
  ASSERT_NE(writer, nullptr);
  mfbwave_add_tone(writer, 523, 250);
  mfbwave_add_tone(writer, 0, 125);
  mfbwave_add_tone(writer, 784, 500);
  mfbwave_close(writer);

  const std::string script =
      "python3 - '" + path +
      "' <<'EOF'\n"
      "import sys, wave\n"
      "with wave.open(sys.argv[1], 'rb') as w:\n"
      "    got = (w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes())\n"
      "    frames = w.readframes(w.getnframes())\n"
      "ok = got == (1, 1, 8000, 7000) and len(frames) == 7000 and frames[2000:3000] == bytes([128]) * 1000\n"
      "sys.exit(0 if ok else 1)\n"
      "EOF\n";
  EXPECT_EQ(std::system(script.c_str()), 0) << "Python's wave module disagrees with the file";
  std::remove(path.c_str());
}

}  // namespace
