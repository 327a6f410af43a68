#pragma once
// Renders the library's current ringtone: as WAV through the library's writer (each
// note's pitch by equal temperament from A4 = 440 Hz, its length from the tempo), or as
// a standard MIDI file.
#include <cstdint>
#include <string>
#include <utility>
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

// Each writer below writes its file whole or not at all (WriteFileAtomically); on
// failure `error` says why and the file that was there is left as it was.

// Writes tones (frequency in Hz, 0 a pause; length in ms) as a WAV file.
bool WriteWav(const std::string &path, const std::vector<std::pair<int32_t, int32_t>> &tones, std::string &error);

// Writes the WAV file; returns its length in milliseconds, or -1.
int32_t RenderRingtone(const std::string &path, std::string &error);

// Writes the MIDI file; returns its length in milliseconds, or -1.
int32_t RenderRingtoneMidi(const std::string &path, std::string &error);

// Writes the current ringtone as an RTTTL file.
bool WriteRtttl(const std::string &path, std::string &error);

}  // namespace pelkor_tool
