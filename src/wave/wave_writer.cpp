#include "wave/wave_writer.h"

#include <cstring>
#include <new>

#include "wave/tone_synthesis.h"

#if defined(_WIN32)
#include <share.h>
#endif

namespace pelkor {

namespace {

std::FILE* CreateExclusive(const char* fileName) {
#if defined(_WIN32)
    return _fsopen(fileName, "wb", _SH_DENYRW);  // no sharing while we write
#else
    return std::fopen(fileName, "wb");
#endif
}

void WriteHeader(mfbwave_writer& writer) {
    std::fwrite(writer.header, 1, kWavHeaderBytes, writer.file);
}

}  // namespace

mfbwave_writer* CreateWaveFile(const char* fileName) {
    std::FILE* file = CreateExclusive(fileName == nullptr ? "" : fileName);
    if (file == nullptr) return nullptr;

    auto* writer = new (std::nothrow) mfbwave_writer{};
    if (writer == nullptr) {
        std::fclose(file);
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

void AddWaveTone(mfbwave_writer* writer, int32_t frequencyHz, int32_t durationMs) {
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
            std::fwrite(writer->samples, 1, filled, writer->file);
            filled = 0;
        }
    }
}

void CloseWaveFile(mfbwave_writer* writer) {
    if (writer == nullptr) return;
    std::fseek(writer->file, 0, SEEK_SET);
    WriteHeader(*writer);
    std::fclose(writer->file);
    delete writer;
}

}  // namespace pelkor
