#include "phonebook/memory_types.h"

namespace pelkor {

namespace {
constexpr uint8_t kPhoneMemoryCode = 0x02;
}  // namespace

uint8_t MemoryCodeFor(int32_t memoryType) {
  // Types 0..7 are the codes 0x02..0x09 in order; 9 is the combined code 0x01; type 8
  // has no memory of its own on these phones.
  if (memoryType >= 0 && memoryType <= 7) return static_cast<uint8_t>(memoryType + 2);
  if (memoryType == 9) return 0x01;
  return kUnknownMemoryCode;
}

int32_t SpeedDialMemoryFor(int32_t memoryCode) { return memoryCode == kPhoneMemoryCode ? 0 : 1; }

}  // namespace pelkor
