#pragma once
// The 44-byte header of an 8000 Hz, 8-bit, mono PCM WAV file.

#include <cstddef>
#include <cstdint>

namespace pelkor {

inline constexpr size_t kWavHeaderBytes = 44;

// The RIFF size is 36 plus the data size and both are 32-bit, so the sample
// data may not grow beyond this.
inline constexpr uint32_t kMaxWavDataBytes = 0xFFFFFFFFu - 36;

// Writes the header, in file layout, for dataBytes bytes of samples.
void FillWavHeader(uint8_t (&header)[kWavHeaderBytes], uint32_t dataBytes);

// The data size a header records.
uint32_t WavDataBytes(const uint8_t (&header)[kWavHeaderBytes]);

}  // namespace pelkor
