#include "ringtone_render.h"

#include <pelkor16.h>

#include <cmath>
#include <cstdio>

#include "midi_writer.h"

namespace pelkor_tool {
namespace {

int32_t Tempo() {
  const int32_t bpm = ringtone_gettempo();
  return bpm > 0 ? bpm : 63;
}

// A note of the current ringtone from its RTTTL text (duration, name, sharp, dots, octave).
bool NoteSound(int32_t index, int32_t bpm, RenderedNote &note) {
  char text[64];
  ringtone_getnote(index, text, sizeof text);
  const char *p = text;
  int duration = 0;
  while (*p >= '0' && *p <= '9' && duration < 1000) duration = duration * 10 + (*p++ - '0');
  if (duration <= 0 || *p == '\0') return false;
  static const int semitone[] = {9, 11, 0, 2, 4, 5, 7, 11};  // a b c d e f g h
  const char letter = static_cast<char>(*p++ | 0x20);
  note.pause = letter == 'p';
  int semi = letter >= 'a' && letter <= 'h' ? semitone[letter - 'a'] : 0;
  if (*p == '#') ++semi, ++p;
  const int whole = 4 * kMidiTicksPerQuarter;
  double length = 240000.0 / bpm / duration;
  double ticks = static_cast<double>(whole) / duration;
  for (double extra = 0.5; *p == '.'; ++p, extra /= 2) {
    length += 240000.0 / bpm / duration * extra;
    ticks += static_cast<double>(whole) / duration * extra;
  }
  const int octave = *p >= '0' && *p <= '9' ? *p - '0' : 5;
  note.hz = note.pause ? 0 : static_cast<int32_t>(std::lround(440.0 * std::pow(2.0, (octave - 4) + (semi - 9) / 12.0)));
  note.key = note.pause ? -1 : 12 * (octave + 1) + semi;
  note.ms = static_cast<int32_t>(std::lround(length));
  note.ticks = static_cast<uint32_t>(std::lround(ticks));
  return true;
}

}  // namespace

std::vector<RenderedNote> RingtoneNotes() {
  std::vector<RenderedNote> notes;
  for (int32_t i = 0; i < ringtone_getnotes(); ++i) {
    RenderedNote note;
    if (NoteSound(i, Tempo(), note)) notes.push_back(note);
  }
  return notes;
}

int32_t RenderRingtone(const std::string &path) {
  mfbwave_writer *wav = mfbwave_create(path.c_str());
  if (wav == nullptr) return -1;
  int32_t total = 0;
  for (const RenderedNote &note : RingtoneNotes()) {
    mfbwave_add_tone(wav, note.hz, note.ms);
    total += note.ms;
  }
  mfbwave_close(wav);
  return total;
}

int32_t RenderRingtoneMidi(const std::string &path) {
  std::vector<MidiNote> tune;
  int32_t total = 0;
  for (const RenderedNote &note : RingtoneNotes()) {
    tune.push_back({note.key, note.ticks});
    total += note.ms;
  }
  char name[32];
  ringtone_getname(name, sizeof name);
  const std::vector<uint8_t> bytes = StandardMidiFile(tune, Tempo(), name);
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return -1;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written ? total : -1;
}

}  // namespace pelkor_tool
