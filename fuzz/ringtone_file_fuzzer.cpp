// ringtone_readfile on arbitrary text; the tone it gives is written with
// ringtone_writefile and read back. The round trip must keep the name, the tempo, the
// defaults and every note wherever RTTTL can say them:
// - a duration only when it is a plain, dotted or double-dotted length of the table
//   (others are written with the number 0 and come back as the default length);
// - a pitch only for a pause or a note in the four octaves a file can name (4 to 7;
//   the octave written is taken modulo 4);
// - an empty name comes back as the unnamed tone's name.
// A tone that has been round-tripped once holds only what RTTTL can say, so a second
// round trip must give it back exactly.
#include <pelkor16.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "ringtone/ringtone_model.h"
#include "ringtone/rtttl_file.h"

namespace {

using pelkor::Ringtone;

std::string g_inputPath, g_outputPath;

bool DurationHeld(uint16_t duration) {
  pelkor::DurationTablePlace place{};
  return pelkor::FindDurationInTable(duration, place) && place.column <= 2;
}

bool PitchHeld(uint16_t pitch) {
  if (pitch == pelkor::kPausePitch) return true;
  const int step = pitch % pelkor::kStepsPerScale;
  return step != 5 && step != 13 && pitch / pelkor::kStepsPerScale <= 3;
}

std::string Name(const Ringtone &tone) { return std::string(tone.name, strnlen(tone.name, sizeof tone.name)); }

Ringtone WriteAndReadBack(const Ringtone &tone) {
  pelkor::CurrentRingtone() = tone;
  FUZZ_CHECK(ringtone_writefile(g_outputPath.c_str()) == 0);
  FUZZ_CHECK(ringtone_readfile(g_outputPath.c_str()) == 0);
  return pelkor::CurrentRingtone();
}

void ExpectSameHeader(const Ringtone &written, const Ringtone &back) {
  const std::string name = Name(written);
  FUZZ_CHECK_MSG(Name(back) == (name.empty() ? std::string(pelkor::kUnnamedRingtoneName) : name),
                 "name \"%s\" came back as \"%s\"", name.c_str(), Name(back).c_str());
  FUZZ_CHECK_MSG(back.tempo == written.tempo, "tempo %u came back as %u", written.tempo, back.tempo);
  FUZZ_CHECK_MSG(back.defaultScale == written.defaultScale, "default scale %d came back as %d", written.defaultScale,
                 back.defaultScale);
  FUZZ_CHECK_MSG(back.defaultDuration == written.defaultDuration, "default duration %d came back as %d",
                 written.defaultDuration, back.defaultDuration);
  FUZZ_CHECK_MSG(back.noteCount == written.noteCount, "%u notes came back as %u", written.noteCount, back.noteCount);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_inputPath = fuzzing::ScratchPath("input.rtttl");
  g_outputPath = fuzzing::ScratchPath("output.rtttl");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzzing::WriteWholeFile(g_inputPath, data, size);
  FUZZ_CHECK(ringtone_readfile(g_inputPath.c_str()) == 0);  // any readable file is a tune
  const Ringtone read = pelkor::CurrentRingtone();
  FUZZ_CHECK(read.noteCount <= pelkor::kRtttlFileMaxNotes);
  FUZZ_CHECK(read.name[sizeof read.name - 1] == '\0');

  const Ringtone back = WriteAndReadBack(read);
  ExpectSameHeader(read, back);
  for (size_t i = 0; i < read.noteCount; ++i) {
    const pelkor::RingtoneNote &a = read.notes[i];
    const pelkor::RingtoneNote &b = back.notes[i];
    if (DurationHeld(a.duration))
      FUZZ_CHECK_MSG(b.duration == a.duration, "note %zu: duration %u came back as %u", i, a.duration, b.duration);
    if (PitchHeld(a.pitch))
      FUZZ_CHECK_MSG(b.pitch == a.pitch, "note %zu: pitch %u came back as %u", i, a.pitch, b.pitch);
  }

  const Ringtone again = WriteAndReadBack(back);
  ExpectSameHeader(back, again);
  for (size_t i = 0; i < back.noteCount; ++i)
    FUZZ_CHECK_MSG(again.notes[i].duration == back.notes[i].duration && again.notes[i].pitch == back.notes[i].pitch,
                   "note %zu changed on the second round trip: (%u, %u) -> (%u, %u)", i, back.notes[i].duration,
                   back.notes[i].pitch, again.notes[i].duration, again.notes[i].pitch);
  return 0;
}
