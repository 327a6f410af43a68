// The phonebook's reply handlers (watch thread). Replies carrying data write only into
// a record a waiting command has attached and otherwise change nothing; error replies
// end whichever command of their family is waiting.
#include "phonebook/phonebook_module.h"
#include "phonebook/phonebook_replies.h"
#include "phonebook/phonebook_session.h"
#include "phonebook/reply_routes.h"
#include "transaction/result_codes.h"

namespace pelkor {
namespace {
void HandleMemoryStatus(const ReplyMessage &reply) {
  MemoryCounts counts;
  if (!ParseMemoryStatusReply(reply, counts)) return;
  PhonebookSession &pb = Phonebook();
  if (pb.memoryCountsTarget.Fill([&](MemoryCounts &target) { target = counts; }))
    pb.memoryStatusCell.Complete(kResultOk);
}

void HandleMemoryStatusError(const ReplyMessage &reply) {
  const int32_t result = MemoryStatusErrorResult(reply.At(4));
  if (result != kPending) Phonebook().memoryStatusCell.Complete(result);
}

void HandlePhonebookEntry(const ReplyMessage &reply) {
  PhonebookEntry parsed;
  if (!ParseEntryReply(reply, parsed)) return;
  PhonebookSession &pb = Phonebook();
  const bool stored = pb.entryTarget.Fill([&](PhonebookEntry &target) {
    for (size_t i = 0; i < sizeof target.name; ++i) target.name[i] = parsed.name[i];
    for (size_t i = 0; i < sizeof target.number; ++i) target.number[i] = parsed.number[i];
    target.group = parsed.group;
  });
  if (stored) pb.entryCell.Complete(kResultOk);
}

void HandlePhonebookEntryError(const ReplyMessage &reply) {
  Phonebook().entryCell.Complete(EntryReadErrorResult(reply.At(4)));
}

void HandlePhonebookStored(const ReplyMessage &) { Phonebook().entryCell.Complete(kResultOk); }

void HandlePhonebookStoreError(const ReplyMessage &reply) {
  Phonebook().entryCell.Complete(EntryWriteErrorResult(reply.At(4)));
}

void HandleSpeedDial(const ReplyMessage &reply) {
  SpeedDial parsed;
  if (!ParseSpeedDialReply(reply, parsed)) return;
  PhonebookSession &pb = Phonebook();
  const bool stored = pb.speedDialTarget.Fill([&](SpeedDial &target) {
    target.memoryCode = parsed.memoryCode;
    target.location = parsed.location;
  });
  if (stored) pb.speedDialCell.Complete(kResultOk);
}

void HandleSpeedDialError(const ReplyMessage &) { Phonebook().speedDialCell.Complete(kResultSpeedDial); }

void HandleSpeedDialStored(const ReplyMessage &) { Phonebook().speedDialCell.Complete(kResultOk); }

// Whether the request each reply answers is waiting for it.
bool EntryReadWaits() { return Phonebook().entryTarget.Attached(); }
bool EntryWaits() { return Phonebook().entryCell.Holds(kPending); }
bool MemoryCountWaits() { return Phonebook().memoryCountsTarget.Attached(); }
bool MemoryStatusWaits() { return Phonebook().memoryStatusCell.Holds(kPending); }
bool SpeedDialReadWaits() { return Phonebook().speedDialTarget.Attached(); }
bool SpeedDialWaits() { return Phonebook().speedDialCell.Holds(kPending); }

// Type 0x03: entries, memory sizes and speed dials.
const ReplyRoute kRows[] = {
    // type, command byte at, command, handler, awaited by
    {0x03, 3, 0x02, HandlePhonebookEntry, EntryReadWaits},        // an entry
    {0x03, 3, 0x03, HandlePhonebookEntryError, EntryWaits},       // an entry read refused
    {0x03, 3, 0x05, HandlePhonebookStored, EntryWaits},           // an entry written
    {0x03, 3, 0x06, HandlePhonebookStoreError, EntryWaits},       // an entry write refused
    {0x03, 3, 0x08, HandleMemoryStatus, MemoryCountWaits},        // a memory's size
    {0x03, 3, 0x09, HandleMemoryStatusError, MemoryStatusWaits},  // no such memory
    {0x03, 3, 0x17, HandleSpeedDial, SpeedDialReadWaits},         // a speed dial
    {0x03, 3, 0x18, HandleSpeedDialError, SpeedDialWaits},        // a speed-dial read refused
    {0x03, 3, 0x1A, HandleSpeedDialStored, SpeedDialWaits},       // a speed dial written
    {0x03, 3, 0x1B, HandleSpeedDialError, SpeedDialWaits},        // a speed-dial write refused
};

}  // namespace

const ReplyRouteTable kPhonebookReplies = RouteTable(kRows);

namespace {
const ReplyRouteTable *const kTables[] = {&kPhonebookReplies};
}  // namespace

const FamilyModule kPhonebookModule = {
    kTables, sizeof kTables / sizeof kTables[0], ResetPhonebookSession, nullptr, nullptr,
};

}  // namespace pelkor
