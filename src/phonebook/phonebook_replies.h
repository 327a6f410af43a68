#pragma once
// Reading the phone's phonebook replies. The parsers only read the reply; the handlers
// decide where the results go.
#include <cstdint>

#include "link/reply_dispatch.h"
#include "phonebook/phonebook_records.h"

namespace pelkor {

// Entry reply (command 0x02): name length at byte 5, the name, number length, the
// number, then the group. Name and number are cut to their 40-character fields; the
// offsets still follow the lengths the phone gave. An empty name takes the number.
// False, with `entry` untouched, when the reply ends before the group byte.
bool ParseEntryReply(const ReplyMessage &reply, PhonebookEntry &entry);

// Memory-status reply (command 0x08): free at byte 5, used at byte 6.
bool ParseMemoryStatusReply(const ReplyMessage &reply, MemoryCounts &counts);

// Speed-dial reply (command 0x17): memory code at byte 4, location at byte 5.
bool ParseSpeedDialReply(const ReplyMessage &reply, SpeedDial &dial);

// Result codes of the error replies, from their byte 4. The memory-status error
// returns kPending for a byte it does not know: the query then runs out its time.
int32_t MemoryStatusErrorResult(uint8_t code);
int32_t EntryReadErrorResult(uint8_t code);
int32_t EntryWriteErrorResult(uint8_t code);

}  // namespace pelkor
