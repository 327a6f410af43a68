// RTTTL text files ("name:d=4,o=5,b=100:8c,4e.,2g6") read into and written from a Ringtone.
#pragma once

#include <cstddef>
#include <string_view>

#include "ringtone/ringtone_model.h"

namespace pelkor {

inline constexpr size_t kRtttlReadLimit = 2000;  // bytes read from a file, the rest ignored
inline constexpr size_t kRtttlFileMaxNotes = 200;
inline constexpr char kUnnamedRingtoneName[] = "Velmora";

// Replaces tone with the one described by text (defaults first, at most 200 notes).
void ParseRtttlText(std::string_view text, Ringtone &tone);

// 0, or -1 when the file cannot be opened or read; tone is untouched on failure.
int ReadRtttlFile(const char *path, Ringtone &tone);

// 0, or -1 when the file cannot be created or written.
int WriteRtttlFile(const char *path, const Ringtone &tone);

}  // namespace pelkor
