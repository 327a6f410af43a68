// The phonebook's reply handlers (watch thread). Replies carrying data write only into
// a record a waiting command has attached and otherwise change nothing; error replies
// end whichever command of their family is waiting.
#include "phonebook/phonebook_replies.h"
#include "phonebook/phonebook_session.h"
#include "phonebook/reply_handlers.h"
#include "services/result_codes.h"

namespace pelkor {
namespace {}  // namespace

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

}  // namespace pelkor
