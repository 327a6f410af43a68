// Exported UTF-8 extensions of the SMS family. They sit beside the 8-bit functions,
// which keep their behaviour; every one catches what the C++ inside may throw and
// reports it as a refusal. Each clears its outputs inside its family, before anything
// can throw.
#include <pelkor16.h>

#include "api/guarded.h"
#include "sms/listed_messages.h"
#include "sms/sms_save.h"
#include "sms/sms_store.h"
#include "sms/sms_utf8.h"
#include "transaction/result_codes.h"

using pelkor::Guarded;

extern "C" {

PELKOR_API int32_t PELKOR_CALL pelkor_sendsms_utf8(const char *destination, const char *text, int32_t centre_index,
                                                   int32_t options, int32_t *parts_sent) {
  if (parts_sent != nullptr) *parts_sent = 0;
  return Guarded(
      [&]() -> int32_t { return pelkor::SendUtf8Message(destination, text, centre_index, options, parts_sent); });
}

PELKOR_API int32_t PELKOR_CALL pelkor_sendsmspart_utf8(const char *destination, const char *text, int32_t centre_index,
                                                       int32_t options, int32_t reference, int32_t part) {
  return Guarded(
      [&]() -> int32_t { return pelkor::SendUtf8Part(destination, text, centre_index, options, reference, part); });
}

PELKOR_API int32_t PELKOR_CALL pelkor_smsparts_utf8(const char *text, int32_t *parts, int32_t *ucs2) {
  if (parts != nullptr) *parts = 0;
  if (ucs2 != nullptr) *ucs2 = 0;
  return Guarded([&]() -> int32_t { return pelkor::PlanUtf8Message(text, parts, ucs2); });
}

PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsgtext_utf8(int32_t kind_code, int32_t n, char *buffer, int32_t size) {
  return Guarded([&]() -> int32_t { return pelkor::GetListedTextUtf8(kind_code, n, buffer, size); });
}

PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsgsender_utf8(int32_t kind_code, int32_t n, char *buffer, int32_t size) {
  return Guarded([&]() -> int32_t { return pelkor::GetListedSenderUtf8(kind_code, n, buffer, size); });
}

PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsglocation(int32_t kind_code, int32_t n) {
  return pelkor::ListedLocation(kind_code, n);
}

PELKOR_API int32_t PELKOR_CALL pelkor_getsms_utf8(int32_t location, char *number, int32_t number_size, char *text,
                                                  int32_t text_size) {
  return Guarded([&]() -> int32_t { return pelkor::ReadLocationUtf8(location, number, number_size, text, text_size); });
}

PELKOR_API int32_t PELKOR_CALL pelkor_savesms_utf8(int32_t location, int32_t kind_code, int32_t read,
                                                   const char *number, const char *text, const int32_t *time) {
  return Guarded([&]() -> int32_t { return pelkor::SaveSmsMessage(location, kind_code, read, number, text, time); });
}

}  // extern "C"
