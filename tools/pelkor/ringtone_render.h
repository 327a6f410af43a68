#pragma once
// Renders the library's current ringtone through its WAV writer: each note's pitch by
// equal temperament from A4 = 440 Hz, its length from the tempo.
#include <cstdint>
#include <string>

namespace pelkor_tool {

// Writes the WAV file; returns its length in milliseconds, or -1 when it cannot be created.
int32_t RenderRingtone(const std::string &path);

}  // namespace pelkor_tool
