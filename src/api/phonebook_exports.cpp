// Phonebook exports: single entries (8-bit and UTF-8) and speed dials.
#include <pelkor16.h>

#include "api/guarded.h"
#include "phonebook/phonebook_entries.h"
#include "phonebook/phonebook_utf8.h"
#include "phonebook/speed_dials.h"

using pelkor::Guarded;

extern "C" {

PELKOR_API int32_t PELKOR_CALL getphonebookentry(int32_t location, int32_t memory_type, char *name, int32_t name_length,
                                                 char *number, int32_t number_length, int32_t *group) {
  return pelkor::GetPhonebookEntry(location, memory_type, name, name_length, number, number_length, group);
}

PELKOR_API int32_t PELKOR_CALL setphonebookentry(int32_t location, int32_t memory_type, const char *name,
                                                 const char *number, int32_t group) {
  return pelkor::SetPhonebookEntry(location, memory_type, name, number, group);
}

PELKOR_API int32_t PELKOR_CALL pelkor_getphonebookentry_utf8(int32_t location, int32_t memory_type, char *name,
                                                             int32_t name_length, char *number, int32_t number_length,
                                                             int32_t *group) {
  return Guarded([&]() -> int32_t {
    return pelkor::GetPhonebookEntryUtf8(location, memory_type, name, name_length, number, number_length, group);
  });
}

PELKOR_API int32_t PELKOR_CALL pelkor_setphonebookentry_utf8(int32_t location, int32_t memory_type, const char *name,
                                                             const char *number, int32_t group) {
  return Guarded(
      [&]() -> int32_t { return pelkor::SetPhonebookEntryUtf8(location, memory_type, name, number, group); });
}

PELKOR_API int32_t PELKOR_CALL getspeeddial(int32_t key, int32_t *memory, int32_t *location) {
  return pelkor::GetSpeedDial(key, memory, location);
}

PELKOR_API int32_t PELKOR_CALL setspeeddial(int32_t key, int32_t memory_type, int32_t location) {
  return pelkor::SetSpeedDial(key, memory_type, location);
}

}  // extern "C"
