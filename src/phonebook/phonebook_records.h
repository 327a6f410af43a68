#pragma once
// The phonebook's records: one entry, the size of a memory, one speed-dial key.
#include <cstddef>
#include <cstdint>

namespace pelkor {

constexpr uint8_t kPhonebookMessageType = 0x03;
constexpr size_t kPhonebookFieldChars = 40;  // name and number, without the terminator

struct PhonebookEntry {
  char name[kPhonebookFieldChars + 1] = {};    // raw 8-bit characters, as the phone keeps them
  char number[kPhonebookFieldChars + 1] = {};  // plain digits, not semi-octets
  int32_t memoryType = 0;                      // the host's memory type, not the phone's code
  int32_t group = 0;
  int32_t location = 0;
};

// What a memory-status reply tells about one memory.
struct MemoryCounts {
  int32_t used = 0;
  int32_t free = 0;
};

struct SpeedDial {
  int32_t key = 0;
  int32_t memoryCode = 0;  // the phone's memory code byte
  int32_t location = 0;
};

}  // namespace pelkor
