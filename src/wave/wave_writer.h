#pragma once
// Writes enveloped tones into a WAV file: create, add tones, close.

#include <cstddef>
#include <cstdint>

#include "platform/output_file.h"
#include "wave/wav_header.h"

namespace pelkor {
// Samples are produced into a buffer of this size and written a block at a time.
inline constexpr size_t kWaveBlockBytes = 16384;
}  // namespace pelkor

// The one object the library hands to the host; opaque in the public header.
// The header is kept in file layout and is the record of the sizes so far.
struct mfbwave_writer {
  uint8_t header[pelkor::kWavHeaderBytes];
  pelkor::platform::OutputFile *file;
  uint8_t samples[pelkor::kWaveBlockBytes];
};

namespace pelkor {

// Creates or replaces the file and writes a header for no samples. Returns null
// when the file cannot be created or the writer cannot be allocated.
mfbwave_writer *CreateWaveFile(const char *fileName);

// Whether a tone of sampleCount samples still fits a file holding dataBytes.
bool ToneFitsWave(uint32_t dataBytes, uint64_t sampleCount);

// Appends one tone; 0 Hz is silence. A tone with no samples, a negative
// frequency, or one that would overflow the header's sizes adds nothing.
void AddWaveTone(mfbwave_writer *writer, int32_t frequencyHz, int32_t durationMs);

// Rewrites the header with the final sizes, closes the file, frees the writer.
void CloseWaveFile(mfbwave_writer *writer);

}  // namespace pelkor
