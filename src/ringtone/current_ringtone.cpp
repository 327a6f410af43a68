#include "ringtone/current_ringtone.h"

#include <algorithm>
#include <string_view>

#include "ringtone/ringtone_model.h"
#include "ringtone/rtttl_file.h"
#include "transaction/result_codes.h"
#include "transaction/bounded_copy.h"

namespace pelkor {
namespace {

std::string_view TextOrEmpty(const char *text) { return text == nullptr ? std::string_view{} : std::string_view{text}; }

}  // namespace

int32_t LoadCurrentRingtone(const char *fileName) {
  Ringtone loaded;
  if (ReadRtttlFile(fileName, loaded) != 0) return kResultNotFound;
  CurrentRingtone() = loaded;
  return kResultOk;
}

int32_t SaveCurrentRingtone(const char *fileName) {
  return WriteRtttlFile(fileName, CurrentRingtone()) == 0 ? kResultOk : kResultNotFound;
}

int32_t SetCurrentNote(int32_t index, const char *note) {
  if (index < 0 || index >= static_cast<int32_t>(kRingtoneMaxNotes)) return kResultOk;
  Ringtone &tone = CurrentRingtone();
  const auto position = static_cast<size_t>(index);
  if (position >= tone.noteCount) {
    // Notes skipped over come into use cleared.
    for (size_t i = tone.noteCount; i < position; ++i) tone.notes[i] = RingtoneNote{};
    tone.noteCount = static_cast<uint16_t>(position + 1);
  }
  ParseNote(tone, position, TextOrEmpty(note));
  return kResultOk;
}

int32_t GetCurrentNote(int32_t index, char *buffer, int32_t size) {
  const Ringtone &tone = CurrentRingtone();
  char text[kNoteTextMax + 1] = {};
  if (index >= 0 && index < static_cast<int32_t>(tone.noteCount)) {
    FormatNote(tone, static_cast<size_t>(index), text, sizeof text);
  }
  CopyToCaller(buffer, size, text);
  return kResultOk;
}

int32_t SetCurrentNoteCount(int32_t count) {
  if (count < 0 || count > static_cast<int32_t>(kRingtoneMaxNotes)) return kResultNotFound;
  CurrentRingtone().noteCount = static_cast<uint16_t>(count);
  return kResultOk;
}

int32_t SetCurrentTempo(int32_t bpm) {
  CurrentRingtone().tempo = static_cast<uint16_t>(static_cast<uint32_t>(bpm) & 0xFFFFu);
  return kResultOk;
}

int32_t SetCurrentName(const char *name) {
  SetRingtoneName(CurrentRingtone(), TextOrEmpty(name));
  return kResultOk;
}

int32_t GetCurrentName(char *buffer, int32_t size) {
  const Ringtone &tone = CurrentRingtone();
  const auto length = std::find(tone.name, tone.name + sizeof tone.name, '\0') - tone.name;
  CopyToCaller(buffer, size, std::string_view(tone.name, static_cast<size_t>(length)));
  return kResultOk;
}

}  // namespace pelkor
