// The one in-memory ringtone and the RTTTL text form of its notes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pelkor {

inline constexpr size_t kRingtoneNameSize = 20;  // 19 characters and a terminating zero
inline constexpr size_t kRingtoneMaxNotes = 256;
inline constexpr size_t kNoteTextMax = 63;  // longest text FormatNote produces
inline constexpr uint16_t kPausePitch = 255;
inline constexpr int kStepsPerScale = 14;  // steps 5 and 13 are never used

// Durations are in 1/128 of a whole note; pitch is scale * 14 + step, or 255 for a pause.
struct RingtoneNote {
  uint16_t duration;
  uint16_t pitch;
};

struct Ringtone {
  char name[kRingtoneNameSize];
  uint16_t tempo;        // beats per minute
  int32_t defaultScale;  // RTTTL octave 4 is scale 0
  int32_t defaultDuration;
  uint16_t noteCount;  // 0 .. 256
  RingtoneNote notes[kRingtoneMaxNotes];
};

// The tone behind the ringtone_* exports, a member of the library's context (zeroed when
// it is built), which binds it before any export runs.
Ringtone &CurrentRingtone();
void BindCurrentRingtone(Ringtone &tone);

// Clears the record and sets the defaults a file starts from (octave 6, quarter notes).
void ResetRingtoneForReading(Ringtone &tone);

// RTTTL duration number (1, 2, 4, 8, 16, 32) to duration units; anything else gives 0.
uint16_t DurationOfRtttlNumber(unsigned number);

// RTTTL octave number to scale: 0..3 stay, 4 is scale 0, 5 and up subtract 4.
int32_t ScaleOfRtttlOctave(unsigned octave);

// Where a duration stands in the table of note lengths: row 0 whole, 1 half ... 5
// thirty-second; column 0 plain, 1 dotted, 2 double dotted, 3 two thirds. False when the
// duration is not in the table.
struct DurationTablePlace {
  unsigned row;
  unsigned column;
};
bool FindDurationInTable(uint16_t duration, DurationTablePlace &place);

// Writing form of a duration: its RTTTL number (0 when the duration is not in the table)
// and the dots that follow the note name.
struct RtttlDurationForm {
  unsigned number;
  const char *dots;
};
RtttlDurationForm RtttlFormOfDuration(uint16_t duration);

// Parses one RTTTL note (e.g. "8c#.5") into tone.notes[index]; index must be < 256.
// Malformed text never fails: unknown letters give pauses, unknown numbers the defaults.
void ParseNote(Ringtone &tone, size_t index, std::string_view text);

// Writes the RTTTL text of tone.notes[index] into out (always terminated when outSize > 0)
// and returns its length.
size_t FormatNote(const Ringtone &tone, size_t index, char *out, size_t outSize);

// Copies at most 19 characters of name into tone.name, clearing the rest.
void SetRingtoneName(Ringtone &tone, std::string_view name);

// Reads a decimal number from the start of text, saturating at limit; returns the number of
// digits consumed (0 when text does not start with a digit).
size_t ReadDecimal(std::string_view text, unsigned limit, unsigned &value);

}  // namespace pelkor
