#include "phonebook/phonebook_replies.h"

#include "transaction/bounded_copy.h"
#include "transaction/transaction.h"
#include "transaction/result_codes.h"

namespace pelkor {
namespace {

constexpr uint8_t kErrorTimeout = 0x6F;
constexpr uint8_t kErrorInvalid = 0x7D;
constexpr uint8_t kErrorMemory = 0x8D;

// Takes the `length` reply bytes from `offset` into a field: at most 40 characters, and
// a zero byte inside ends the text as it would on the phone. Bytes the reply does not
// hold read as that zero.
void FieldFromReply(const ReplyMessage &reply, size_t offset, size_t length, char (&field)[kPhonebookFieldChars + 1]) {
  const size_t held = offset < reply.length ? reply.length - offset : 0;
  const char *text = held > 0 ? reinterpret_cast<const char *>(reply.bytes + offset) : nullptr;
  CopyField(field, sizeof field, text, length < held ? length : held);
}

}  // namespace

bool ParseEntryReply(const ReplyMessage &reply, PhonebookEntry &entry) {
  const size_t nameLength = reply.At(5);
  const size_t numberLengthAt = 6 + nameLength;
  const size_t numberLength = reply.At(numberLengthAt);
  const size_t groupAt = numberLengthAt + 1 + numberLength;
  if (reply.length <= groupAt) return false;

  FieldFromReply(reply, 6, nameLength, entry.name);
  FieldFromReply(reply, numberLengthAt + 1, numberLength, entry.number);
  if (entry.name[0] == '\0') {
    for (size_t i = 0; i < sizeof entry.name; ++i) entry.name[i] = entry.number[i];
  }
  entry.group = reply.At(groupAt);
  return true;
}

bool ParseMemoryStatusReply(const ReplyMessage &reply, MemoryCounts &counts) {
  if (reply.length < 7) return false;
  counts.free = reply.At(5);
  counts.used = reply.At(6);
  return true;
}

bool ParseSpeedDialReply(const ReplyMessage &reply, SpeedDial &dial) {
  if (reply.length < 6) return false;
  dial.memoryCode = reply.At(4);
  dial.location = reply.At(5);
  return true;
}

int32_t MemoryStatusErrorResult(uint8_t code) {
  switch (code) {
    case kErrorTimeout:
      return kResultTimeout;
    case kErrorInvalid:
      return kResultRefused;
    case kErrorMemory:
      return kResultMemoryStatus;
    default:
      return kPending;
  }
}

int32_t EntryReadErrorResult(uint8_t code) { return code == kErrorInvalid ? kResultEntryRead : kResultRefused; }

int32_t EntryWriteErrorResult(uint8_t code) { return code == kErrorInvalid ? kResultEntryWrite : kResultRefused; }

}  // namespace pelkor
