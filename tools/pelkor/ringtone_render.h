#pragma once
// Renders the library's current ringtone: as WAV through the library's writer (each
// note's pitch by equal temperament from A4 = 440 Hz, its length from the tempo), or as
// a standard MIDI file.
#include <cstdint>
#include <string>
#include <vector>

namespace pelkor_tool {

struct RenderedNote {
  bool pause = false;
  int32_t hz = 0;      // 0 for a pause
  int32_t ms = 0;      // length at the tone's tempo
  int key = -1;        // MIDI key; -1 for a pause
  uint32_t ticks = 0;  // length in MIDI ticks (480 a quarter note)
};

// The notes of the current ringtone that have a length; notes without one are left out.
std::vector<RenderedNote> RingtoneNotes();

// Writes the WAV file; returns its length in milliseconds, or -1 when it cannot be created.
int32_t RenderRingtone(const std::string &path);

// Writes the MIDI file; returns its length in milliseconds, or -1 when it cannot be created.
int32_t RenderRingtoneMidi(const std::string &path);

}  // namespace pelkor_tool
