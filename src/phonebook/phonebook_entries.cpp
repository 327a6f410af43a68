#include "phonebook/phonebook_entries.h"

#include "link/session.h"
#include "phonebook/memory_types.h"
#include "phonebook/phonebook_payloads.h"
#include "phonebook/phonebook_session.h"
#include "platform/clock.h"
#include "platform/sleep.h"
#include "transaction/bounded_copy.h"

namespace pelkor {
namespace {

constexpr int64_t kReuseWindowMs = 200;
constexpr int32_t kStepMs = 10;
constexpr int32_t kMemoryStatusChecks = 200;
constexpr int32_t kEntryReadChecks = 50;
constexpr int32_t kEntryWriteChecks = 500;

int32_t Transact(StatusCell &cell, const PhonebookRequest &request, int32_t checks, bool storeTimeout = false) {
  return RunTransaction(cell, kPhonebookMessageType, request.bytes, request.length, checks, kStepMs, storeTimeout);
}

// Asks for the size of `memoryType` unless it is the memory last counted. The counts
// are taken only from an answered query: a failed one leaves nothing counted for this
// type, so the next read asks again instead of judging locations by stale counts.
int32_t CountMemory(PhonebookSession &pb, int32_t memoryType) {
  if (pb.memoryCounted && pb.countedMemoryType == memoryType) return kResultOk;
  MemoryCounts fresh;
  int32_t result = kResultTimeout;
  {
    AttachedRecord<MemoryCounts> attached(pb.memoryCountsTarget, fresh);
    result = Transact(pb.memoryStatusCell, MemoryStatusRequest(MemoryCodeFor(memoryType)), kMemoryStatusChecks);
  }
  if (result == kResultOk) {
    pb.memoryCounted = true;
    pb.countedMemoryType = memoryType;
    pb.counts = fresh;
  }
  return result;
}

int32_t ReadEntry(PhonebookSession &pb, int32_t location, int32_t memoryType) {
  if (!FitsInOneByte(location)) return kResultRefused;
  KeepAliveHold hold(KeepAliveHold::AtEnd::kRestore);  // no poll while the entry is read
  platform::SleepMs(10);

  const int32_t counted = CountMemory(pb, memoryType);
  if (counted != kResultOk && counted != kResultTimeout) return counted;
  // A memory whose size could not be learnt is still asked: the phone judges then.
  if (counted == kResultOk && location > pb.counts.used + pb.counts.free) return kResultRefused;

  AttachedRecord<PhonebookEntry> attached(pb.entryTarget, pb.cachedEntry);
  return Transact(pb.entryCell, EntryReadRequest(MemoryCodeFor(memoryType), location), kEntryReadChecks, true);
}

}  // namespace

int32_t GetPhonebookEntry(int32_t location, int32_t memoryType, char *name, int32_t nameLength, char *number,
                          int32_t numberLength, int32_t *group) {
  CopyToCaller(name, nameLength, "");
  CopyToCaller(number, numberLength, "");
  if (group != nullptr) *group = 0;

  PhonebookSession &pb = Phonebook();
  const bool reuse = pb.entryCache.Fresh(kReuseWindowMs) && pb.cachedEntry.location == location &&
                     pb.cachedEntry.memoryType == memoryType;
  if (!reuse) {
    pb.cachedEntry = PhonebookEntry{};
    pb.cachedEntry.location = location;
    pb.cachedEntry.memoryType = memoryType;
    const int32_t result = ReadEntry(pb, location, memoryType);
    pb.entryCache.Store(result, platform::MonotonicMs());
  }
  if (pb.entryCache.Result() != kResultOk) return pb.entryCache.Result();

  CopyToCaller(name, nameLength, pb.cachedEntry.name);
  CopyToCaller(number, numberLength, pb.cachedEntry.number);
  if (group != nullptr) *group = pb.cachedEntry.group;
  return kResultOk;
}

int32_t SetPhonebookEntry(int32_t location, int32_t memoryType, const char *name, const char *number, int32_t group) {
  // A location that does not fit its byte would land on another entry.
  if (!FitsInOneByte(location)) return kResultRefused;
  PhonebookEntry entry;
  SetPhonebookField(entry.name, name);
  SetPhonebookField(entry.number, number);
  entry.memoryType = memoryType;
  entry.group = group;
  entry.location = location;
  return Transact(Phonebook().entryCell, EntryWriteRequest(MemoryCodeFor(memoryType), entry), kEntryWriteChecks);
}

}  // namespace pelkor
