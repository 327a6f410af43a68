#pragma once
#include <cstdint>

namespace pelkor {

constexpr uint8_t kUnknownMemoryCode = 0xFF;

// The phone's memory code for a host memory type (0..7 and 9; anything else is 0xFF).
uint8_t MemoryCodeFor(int32_t memoryType);

// What getspeeddial reports for a memory code: 0 for the phone's own memory, 1 for
// any other.
int32_t SpeedDialMemoryFor(int32_t memoryCode);

}  // namespace pelkor
