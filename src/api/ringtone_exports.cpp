// Exported entry points of the ringtone family: the one in-memory tone, its RTTTL files,
// and its delivery to the phone by upload or by SMS.
#include <pelkor16.h>

#include "ringtone/current_ringtone.h"
#include "ringtone/ringtone_model.h"
#include "ringtone/ringtone_transfer.h"
#include "transaction/result_codes.h"

extern "C" {

PELKOR_API int32_t PELKOR_CALL ringtone_readfile(const char *file_name) {
  return pelkor::LoadCurrentRingtone(file_name);
}

PELKOR_API int32_t PELKOR_CALL ringtone_writefile(const char *file_name) {
  return pelkor::SaveCurrentRingtone(file_name);
}

PELKOR_API int32_t PELKOR_CALL ringtone_setnote(int32_t index, const char *note) {
  return pelkor::SetCurrentNote(index, note);
}

PELKOR_API int32_t PELKOR_CALL ringtone_getnote(int32_t index, char *buffer, int32_t size) {
  return pelkor::GetCurrentNote(index, buffer, size);
}

PELKOR_API int32_t PELKOR_CALL ringtone_setnotes(int32_t count) { return pelkor::SetCurrentNoteCount(count); }

PELKOR_API int32_t PELKOR_CALL ringtone_getnotes(void) { return pelkor::CurrentRingtone().noteCount; }

PELKOR_API int32_t PELKOR_CALL ringtone_settempo(int32_t bpm) { return pelkor::SetCurrentTempo(bpm); }

PELKOR_API int32_t PELKOR_CALL ringtone_gettempo(void) { return pelkor::CurrentRingtone().tempo; }

PELKOR_API int32_t PELKOR_CALL ringtone_setname(const char *name) { return pelkor::SetCurrentName(name); }

PELKOR_API int32_t PELKOR_CALL ringtone_getname(char *buffer, int32_t size) {
  return pelkor::GetCurrentName(buffer, size);
}

PELKOR_API int32_t PELKOR_CALL ringtone_upload(int32_t variant) {
  return pelkor::UploadRingtone(pelkor::CurrentRingtone(), variant);
}

PELKOR_API int32_t PELKOR_CALL ringtone_sendsms(const char *destination) {
  return pelkor::SendRingtoneSms(pelkor::CurrentRingtone(), destination);
}

}  // extern "C"
