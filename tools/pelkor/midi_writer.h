#pragma once
// A standard MIDI file (format 0, one track) for a monophonic tune.
#include <cstdint>
#include <string>
#include <vector>

namespace pelkor_tool {

struct MidiNote {
  int key;         // MIDI key number 0-127 (69 is A4, 440 Hz); -1 for a rest
  uint32_t ticks;  // length in ticks of the file's division
};

constexpr int kMidiTicksPerQuarter = 480;

// The bytes of the file: the tune at `bpm` quarter notes a minute, named `name`, played on
// General MIDI program `program` (0-127).
std::vector<uint8_t> StandardMidiFile(const std::vector<MidiNote> &notes, int bpm, const std::string &name,
                                      int program = 80);

}  // namespace pelkor_tool
