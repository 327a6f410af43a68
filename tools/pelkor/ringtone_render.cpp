#include "ringtone_render.h"

#include <pelkor16.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "atomic_file.h"
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

namespace {

// The library's WAV writer does not report a short write: the RIFF header, written
// last, gives the length the file must have.
bool WavIsWhole(const std::string &path) {
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  uint8_t head[8] = {};
  const bool read = std::fread(head, 1, sizeof head, file) == sizeof head;
  const bool sought = std::fseek(file, 0, SEEK_END) == 0;
  const long length = std::ftell(file);
  std::fclose(file);
  const uint32_t riff = head[4] | head[5] << 8u | head[6] << 16u | static_cast<uint32_t>(head[7]) << 24u;
  return read && sought && std::memcmp(head, "RIFF", 4) == 0 && length >= 44 &&
         static_cast<uint64_t>(length) == static_cast<uint64_t>(riff) + 8;
}

bool Fails(std::string &error, const char *why) {
  error = errno ? std::strerror(errno) : why;
  return false;
}

}  // namespace

bool WriteWav(const std::string &path, const std::vector<std::pair<int32_t, int32_t>> &tones, std::string &error) {
  return WriteFileAtomically(
      path,
      [&](const std::string &temporary, std::string &why) {
        errno = 0;
        mfbwave_writer *wav = mfbwave_create(temporary.c_str());
        if (wav == nullptr) return Fails(why, "it cannot be created");
        for (const auto &[hz, ms] : tones) mfbwave_add_tone(wav, hz, ms);
        mfbwave_close(wav);
        if (!WavIsWhole(temporary)) {
          errno = 0;
          why = "the file could not be written whole (is the disk full?)";
          return false;
        }
        return true;
      },
      error);
}

int32_t RenderRingtone(const std::string &path, std::string &error) {
  std::vector<std::pair<int32_t, int32_t>> tones;
  int32_t total = 0;
  for (const RenderedNote &note : RingtoneNotes()) {
    tones.emplace_back(note.hz, note.ms);
    total += note.ms;
  }
  return WriteWav(path, tones, error) ? total : -1;
}

int32_t RenderRingtoneMidi(const std::string &path, std::string &error) {
  std::vector<MidiNote> tune;
  int32_t total = 0;
  for (const RenderedNote &note : RingtoneNotes()) {
    tune.push_back({note.key, note.ticks});
    total += note.ms;
  }
  char name[32];
  ringtone_getname(name, sizeof name);
  return WriteFileAtomically(path, StandardMidiFile(tune, Tempo(), name), error) ? total : -1;
}

bool WriteRtttl(const std::string &path, std::string &error) {
  // What the written file must give back when read: the tone as it is now.
  char name[64];
  ringtone_getname(name, sizeof name);
  const int32_t tempo = ringtone_gettempo();
  std::vector<std::string> notes;
  for (int32_t i = 0; i < ringtone_getnotes(); ++i) {
    char note[64];
    ringtone_getnote(i, note, sizeof note);
    notes.emplace_back(note);
  }
  return WriteFileAtomically(
      path,
      [&](const std::string &temporary, std::string &why) {
        errno = 0;
        if (ringtone_writefile(temporary.c_str()) != PELKOR_OK) return Fails(why, "it cannot be created");
        // The library does not report a short write; reading the file back does. A
        // whole file loads the same tone again.
        bool whole = ringtone_readfile(temporary.c_str()) == PELKOR_OK && ringtone_gettempo() == tempo &&
                     ringtone_getnotes() == static_cast<int32_t>(notes.size());
        char again[64];
        ringtone_getname(again, sizeof again);
        whole = whole && std::strcmp(again, name) == 0;
        for (int32_t i = 0; whole && i < ringtone_getnotes(); ++i) {
          char note[64];
          ringtone_getnote(i, note, sizeof note);
          whole = notes[static_cast<size_t>(i)] == note;
        }
        if (!whole) {
          errno = 0;
          why = "the file could not be written whole (is the disk full?)";
        }
        return whole;
      },
      error);
}

}  // namespace pelkor_tool
