#pragma once
#include <cstdint>

namespace pelkor {

// getphonebookentry: a read of one entry, reused for 200 ms for the same location and
// memory type; the first read of a memory learns its size and refuses locations
// beyond it. 0, 4, 6, 10 or 22.
int32_t GetPhonebookEntry(int32_t location, int32_t memoryType, char *name, int32_t nameLength, char *number,
                          int32_t numberLength, int32_t *group);

// setphonebookentry: writes one entry (fields cut to 40 characters). 0, 4, 15 or 22.
int32_t SetPhonebookEntry(int32_t location, int32_t memoryType, const char *name, const char *number, int32_t group);

}  // namespace pelkor
