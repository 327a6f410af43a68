#include "phonebook/speed_dials.h"

#include "phonebook/memory_types.h"
#include "phonebook/phonebook_payloads.h"
#include "phonebook/phonebook_session.h"
#include "platform/clock.h"

namespace pelkor {
namespace {

constexpr int64_t kReuseWindowMs = 200;
constexpr int32_t kChecks = 200;
constexpr int32_t kStepMs = 10;
constexpr int32_t kNoMemory = 255;

int32_t ReadSpeedDial(PhonebookSession &pb, int32_t key) {
  if (!FitsInOneByte(key)) return kResultRefused;
  const PhonebookRequest request = SpeedDialReadRequest(key);
  return RunExchange(pb.speedDialTarget, pb.cachedSpeedDial, pb.speedDialCell, kPhonebookMessageType, request.bytes,
                     request.length, kChecks, kStepMs);
}

}  // namespace

int32_t GetSpeedDial(int32_t key, int32_t *memory, int32_t *location) {
  PhonebookSession &pb = Phonebook();
  if (!(pb.speedDialCache.Fresh(kReuseWindowMs) && pb.cachedSpeedDial.key == key)) {
    pb.cachedSpeedDial = SpeedDial{};
    pb.cachedSpeedDial.key = key;
    const int32_t result = ReadSpeedDial(pb, key);
    pb.speedDialCache.Store(result, platform::MonotonicMs());
  }
  const int32_t result = pb.speedDialCache.Result();
  const bool good = result == kResultOk;
  if (memory != nullptr) *memory = good ? SpeedDialMemoryFor(pb.cachedSpeedDial.memoryCode) : kNoMemory;
  if (location != nullptr) *location = good ? pb.cachedSpeedDial.location : 0;
  return result;
}

int32_t SetSpeedDial(int32_t key, int32_t memoryType, int32_t location) {
  // Values that do not fit their byte would set another key or location.
  if (!FitsInOneByte(key) || !FitsInOneByte(location)) return kResultRefused;
  const PhonebookRequest request = SpeedDialWriteRequest(key, MemoryCodeFor(memoryType), location);
  return RunTransaction(Phonebook().speedDialCell, kPhonebookMessageType, request.bytes, request.length, kChecks,
                        kStepMs);
}

}  // namespace pelkor
