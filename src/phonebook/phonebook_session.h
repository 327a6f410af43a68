#pragma once
// The phonebook's share of the session: its three status cells, the records replies
// may fill while a command waits, and the read caches (host's thread only).
#include <cstdint>

#include "phonebook/phonebook_records.h"
#include "transaction/transaction.h"

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

// The record belongs to the library's context, which is built once and never destroyed:
// a late reply at process end may still look at the targets.
PhonebookSession &Phonebook();

// Called once by the library's context when it is built, before any link thread starts.
void BindPhonebookSession(PhonebookSession &session);

// A new session may talk to another phone: forget its memory sizes and cached reads.
void ResetPhonebookSession();

}  // namespace pelkor
