// Exported entry points of the ringtone family: the one in-memory tone, its RTTTL files,
// and its delivery to the phone by upload or by SMS.
#include <pelkor16.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "ringtone/ringtone_model.h"
#include "ringtone/rtttl_file.h"
#include "ringtone/ringtone_transfer.h"
#include "transaction/result_codes.h"

namespace {

std::string_view TextOrEmpty(const char *text) { return text == nullptr ? std::string_view{} : std::string_view{text}; }

// Clears the caller's buffer and copies at most size - 1 characters of text.
void CopyOut(std::string_view text, char *buffer, int32_t size) {
  if (buffer == nullptr || size <= 0) return;
  const auto capacity = static_cast<size_t>(size);
  std::memset(buffer, 0, capacity);
  const size_t length = std::min(text.size(), capacity - 1);
  if (length > 0) std::memcpy(buffer, text.data(), length);
}

}  // namespace

extern "C" {

PELKOR_API int32_t PELKOR_CALL ringtone_readfile(const char *file_name) {
  pelkor::Ringtone loaded;
  if (pelkor::ReadRtttlFile(file_name, loaded) != 0) return pelkor::kResultNotFound;
  pelkor::CurrentRingtone() = loaded;
  return pelkor::kResultOk;
}

PELKOR_API int32_t PELKOR_CALL ringtone_writefile(const char *file_name) {
  return pelkor::WriteRtttlFile(file_name, pelkor::CurrentRingtone()) == 0 ? pelkor::kResultOk
                                                                           : pelkor::kResultNotFound;
}

PELKOR_API int32_t PELKOR_CALL ringtone_setnote(int32_t index, const char *note) {
  if (index < 0 || index >= static_cast<int32_t>(pelkor::kRingtoneMaxNotes)) return pelkor::kResultOk;
  pelkor::Ringtone &tone = pelkor::CurrentRingtone();
  const auto position = static_cast<size_t>(index);
  if (position >= tone.noteCount) {
    // Notes skipped over come into use cleared.
    for (size_t i = tone.noteCount; i < position; ++i) tone.notes[i] = pelkor::RingtoneNote{};
    tone.noteCount = static_cast<uint16_t>(position + 1);
  }
  pelkor::ParseNote(tone, position, TextOrEmpty(note));
  return pelkor::kResultOk;
}

PELKOR_API int32_t PELKOR_CALL ringtone_getnote(int32_t index, char *buffer, int32_t size) {
  const pelkor::Ringtone &tone = pelkor::CurrentRingtone();
  char text[pelkor::kNoteTextMax + 1] = {};
  if (index >= 0 && index < static_cast<int32_t>(tone.noteCount)) {
    pelkor::FormatNote(tone, static_cast<size_t>(index), text, sizeof text);
  }
  CopyOut(text, buffer, size);
  return pelkor::kResultOk;
}

PELKOR_API int32_t PELKOR_CALL ringtone_setnotes(int32_t count) {
  if (count < 0 || count > static_cast<int32_t>(pelkor::kRingtoneMaxNotes)) return pelkor::kResultNotFound;
  pelkor::CurrentRingtone().noteCount = static_cast<uint16_t>(count);
  return pelkor::kResultOk;
}

PELKOR_API int32_t PELKOR_CALL ringtone_getnotes(void) { return pelkor::CurrentRingtone().noteCount; }

PELKOR_API int32_t PELKOR_CALL ringtone_settempo(int32_t bpm) {
  pelkor::CurrentRingtone().tempo = static_cast<uint16_t>(static_cast<uint32_t>(bpm) & 0xFFFFu);
  return pelkor::kResultOk;
}

PELKOR_API int32_t PELKOR_CALL ringtone_gettempo(void) { return pelkor::CurrentRingtone().tempo; }

PELKOR_API int32_t PELKOR_CALL ringtone_setname(const char *name) {
  pelkor::SetRingtoneName(pelkor::CurrentRingtone(), TextOrEmpty(name));
  return pelkor::kResultOk;
}

PELKOR_API int32_t PELKOR_CALL ringtone_getname(char *buffer, int32_t size) {
  const pelkor::Ringtone &tone = pelkor::CurrentRingtone();
  const auto length = std::find(tone.name, tone.name + sizeof tone.name, '\0') - tone.name;
  CopyOut(std::string_view(tone.name, static_cast<size_t>(length)), buffer, size);
  return pelkor::kResultOk;
}

PELKOR_API int32_t PELKOR_CALL ringtone_upload(int32_t variant) {
  return pelkor::UploadRingtone(pelkor::CurrentRingtone(), variant);
}

PELKOR_API int32_t PELKOR_CALL ringtone_sendsms(const char *destination) {
  return pelkor::SendRingtoneSms(pelkor::CurrentRingtone(), destination);
}

}  // extern "C"
