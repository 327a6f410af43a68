#pragma once
#include <cstdint>

namespace pelkor {

// getspeeddial: the memory (0 the phone's own, 1 any other) and location behind a key,
// reused for 200 ms for the same key. On failure memory is 255 and location 0. Null
// outputs are skipped. 0, 4, 11 or 22.
int32_t GetSpeedDial(int32_t key, int32_t *memory, int32_t *location);

// setspeeddial: points a key at a location of a memory. 0, 4, 11 or 22.
int32_t SetSpeedDial(int32_t key, int32_t memoryType, int32_t location);

}  // namespace pelkor
