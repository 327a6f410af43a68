#pragma once
// Request payloads of the phonebook commands (all message type 0x03).
#include <cstddef>
#include <cstdint>

#include "phonebook/phonebook_records.h"

namespace pelkor {

struct PhonebookRequest {
  // 00 01 00 04, memory, location, two length bytes, two full fields and the group.
  uint8_t bytes[4 + 2 + 2 + 2 * kPhonebookFieldChars + 1] = {};
  size_t length = 0;
};

// Locations and speed-dial keys travel as one byte; larger values would wrap onto
// another entry, so callers refuse them before building a request.
bool FitsInOneByte(int32_t value);

PhonebookRequest MemoryStatusRequest(uint8_t memoryCode);
PhonebookRequest EntryReadRequest(uint8_t memoryCode, int32_t location);
// Name and number are taken up to their 40-character fields; group 5 goes out as 0xFF.
PhonebookRequest EntryWriteRequest(uint8_t memoryCode, const PhonebookEntry &entry);
PhonebookRequest SpeedDialReadRequest(int32_t key);
PhonebookRequest SpeedDialWriteRequest(int32_t key, uint8_t memoryCode, int32_t location);

// Copies at most 40 characters of `text` (null is empty) into a field, terminated.
void SetPhonebookField(char (&field)[kPhonebookFieldChars + 1], const char *text);

}  // namespace pelkor
