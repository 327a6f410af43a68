#pragma once
// The one in-memory tone as hosts edit it: its notes, note count, tempo and name, and
// its RTTTL files. Indexes and counts come from the host unchecked; these functions
// bound them.
#include <cstdint>

namespace pelkor {

// ringtone_readfile: replaces the tone by the file's only when the whole file reads.
// 0, or -1 with the tone unchanged.
int32_t LoadCurrentRingtone(const char *fileName);

// ringtone_writefile: 0, or -1 when the file cannot be written.
int32_t SaveCurrentRingtone(const char *fileName);

// ringtone_setnote: sets note `index` (0-255) from its text (a null text is empty),
// extending the tone to it; notes skipped over come into use cleared. An index outside
// the tone's room is ignored. Always 0.
int32_t SetCurrentNote(int32_t index, const char *note);

// ringtone_getnote: the text of note `index`, empty for a note not in use. Always 0.
int32_t GetCurrentNote(int32_t index, char *buffer, int32_t size);

// ringtone_setnotes: the number of notes in use, 0-256; -1 for any other count.
int32_t SetCurrentNoteCount(int32_t count);

// ringtone_settempo: the tempo in beats per minute, kept in 16 bits. Always 0.
int32_t SetCurrentTempo(int32_t bpm);

// ringtone_setname and ringtone_getname (a null name is empty). Always 0.
int32_t SetCurrentName(const char *name);
int32_t GetCurrentName(char *buffer, int32_t size);

}  // namespace pelkor
