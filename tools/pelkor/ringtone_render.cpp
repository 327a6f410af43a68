#include "ringtone_render.h"

#include <pelkor16.h>

#include <cmath>

namespace pelkor_tool {
namespace {

// A note of the current ringtone as frequency and length, from its RTTTL text
// (duration, name, sharp, dots, octave).
bool NoteSound(int32_t index, int32_t bpm, int32_t &hz, int32_t &ms) {
  char text[64];
  ringtone_getnote(index, text, sizeof text);
  const char *p = text;
  int duration = 0;
  while (*p >= '0' && *p <= '9' && duration < 1000) duration = duration * 10 + (*p++ - '0');
  if (duration <= 0 || *p == '\0') return false;
  static const int semitone[] = {9, 11, 0, 2, 4, 5, 7, 11};  // a b c d e f g h
  const char letter = static_cast<char>(*p++ | 0x20);
  const bool pause = letter == 'p';
  int semi = letter >= 'a' && letter <= 'h' ? semitone[letter - 'a'] : 0;
  if (*p == '#') ++semi, ++p;
  double length = 240000.0 / (bpm > 0 ? bpm : 63) / duration;
  for (double extra = length / 2; *p == '.'; ++p, extra /= 2) length += extra;
  const int octave = *p >= '0' && *p <= '9' ? *p - '0' : 5;
  hz = pause ? 0 : static_cast<int32_t>(std::lround(440.0 * std::pow(2.0, (octave - 4) + (semi - 9) / 12.0)));
  ms = static_cast<int32_t>(std::lround(length));
  return true;
}

}  // namespace

int32_t RenderRingtone(const std::string &path) {
  mfbwave_writer *wav = mfbwave_create(path.c_str());
  if (wav == nullptr) return -1;
  int32_t total = 0;
  for (int32_t i = 0; i < ringtone_getnotes(); ++i) {
    int32_t hz = 0, ms = 0;
    if (!NoteSound(i, ringtone_gettempo(), hz, ms)) continue;
    mfbwave_add_tone(wav, hz, ms);
    total += ms;
  }
  mfbwave_close(wav);
  return total;
}

}  // namespace pelkor_tool
