#pragma once
// The phonebook's share of the session: its three status cells, the records replies
// may fill while a command waits, and the read caches (host's thread only).
#include <cstdint>

#include "phonebook/phonebook_records.h"
#include "services/transaction.h"

namespace pelkor {

struct PhonebookSession {
  // Shared with the watch thread.
  StatusCell memoryStatusCell;
  StatusCell entryCell;      // entry reads and writes
  StatusCell speedDialCell;  // speed-dial reads and writes
  ReplyTarget<MemoryCounts> memoryCountsTarget;
  ReplyTarget<PhonebookEntry> entryTarget;
  ReplyTarget<SpeedDial> speedDialTarget;

  // Host's thread only. The counts belong to `countedMemoryType` once a memory-status
  // query has answered; until then no memory is known and the next read asks.
  bool memoryCounted = false;
  int32_t countedMemoryType = 0;
  MemoryCounts counts;

  PhonebookEntry cachedEntry;
  AnswerCache entryCache;
  SpeedDial cachedSpeedDial;
  AnswerCache speedDialCache;
};

PhonebookSession &Phonebook();

// A new session may talk to another phone: forget its memory sizes and cached reads.
void ResetPhonebookSession();

}  // namespace pelkor
