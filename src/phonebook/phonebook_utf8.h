#pragma once
// The phonebook in UTF-8, for hosts that do not speak the phone's Latin-1: the same
// reads and writes as phonebook_entries.h, with names and numbers converted.
#include <cstdint>

namespace pelkor {

// pelkor_getphonebookentry_utf8: getphonebookentry, with the name and number as UTF-8
// (cut between characters). The outputs are cleared first; the result codes are
// getphonebookentry's.
int32_t GetPhonebookEntryUtf8(int32_t location, int32_t memoryType, char *name, int32_t nameLength, char *number,
                              int32_t numberLength, int32_t *group);

// pelkor_setphonebookentry_utf8: setphonebookentry from UTF-8 text; 22 without asking
// the phone when the text is not UTF-8 or holds a character Latin-1 lacks. A null text
// is empty.
int32_t SetPhonebookEntryUtf8(int32_t location, int32_t memoryType, const char *name, const char *number,
                              int32_t group);

}  // namespace pelkor
