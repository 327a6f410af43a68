#include "sms/sms_store.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/clock.h"
#include "sms/sms_read_reply.h"
#include "sms/sms_send.h"
#include "sms/sms_utf8.h"
#include "link/request_writer.h"
#include "transaction/result_codes.h"

namespace pelkor {

namespace {

constexpr uint8_t kStoreType = 0x14;
constexpr int32_t kReadChecks = 1200;
constexpr int32_t kReadStepMs = 5;
constexpr int32_t kDeleteChecks = 500;
constexpr int32_t kDeleteStepMs = 10;
constexpr int32_t kCountsChecks = 100;
constexpr int32_t kCountsStepMs = 10;
constexpr int64_t kCountsReuseMs = 60000;
constexpr int32_t kHighestLocation = 255;  // the request names a location in one byte

int32_t KindFor(int32_t kindCode) {
  switch (kindCode) {
    case kKindCodeStoredOutgoing:
      return kSmsKindStoredOutgoing;
    case kKindCodeStatusReport:
      return kSmsKindStatusReport;
    default:
      return kSmsKindReceived;
  }
}

int32_t RunStoreTransaction(SmsRecord &target, const uint8_t *request, size_t length, int32_t checks, int32_t stepMs) {
  return RunExchange(Sms().sendTarget, target, Sms().sendCell, kStoreType, request, length, checks, stepMs);
}

}  // namespace

int32_t ReadSms(SmsRecord &record) {
  // Only the low byte would go out: -255 or 257 would read location 1.
  if (record.location < 1 || record.location > kHighestLocation) return kResultSmsInvalidLocation;
  const auto request = CommandRequest(0x07, 0x02, static_cast<uint8_t>(record.location & 0xFF), 0x01, 0x64);
  return RunStoreTransaction(record, request.data(), request.size(), kReadChecks, kReadStepMs);
}

int32_t DeleteSms(const SmsRecord &record) {
  const auto request = CommandRequest(0x0A, 0x02, static_cast<uint8_t>(record.location & 0xFF));
  SmsRecord scratch;  // the answer carries nothing to keep
  return RunStoreTransaction(scratch, request.data(), request.size(), kDeleteChecks, kDeleteStepMs);
}

int32_t AppendFromPhone(int32_t location) {
  if (Sms().listCount >= kSmsListCapacity) return kResultSmsListFull;
  SmsRecord scratch;
  scratch.location = location;
  const int32_t result = ReadSms(scratch);
  if (result == kResultOk) Sms().list[Sms().listCount++] = scratch;
  return result;
}

int32_t UpdateSmsList() {
  Sms().listCount = 0;
  int32_t result = 0;
  // Empty locations are passed over; the scan ends at the first invalid location, at
  // the first read the phone does not answer, or when the list is full.
  for (int32_t location = 1; location <= kHighestLocation; ++location) {
    if (Sms().listCount >= kSmsListCapacity) break;
    result = AppendFromPhone(location);
    if (result == kResultSmsInvalidLocation || result == kResultTimeout) break;
  }
  return result;
}

const SmsRecord *FindEntry(int32_t kindCode, int32_t n, int32_t *index) {
  const int32_t kind = KindFor(kindCode);
  if (n < 1) return nullptr;  // ordinals count from 1: 0 and below name no entry
  int32_t seen = 0;
  for (int32_t i = 0; i < Sms().listCount; ++i) {
    if (Sms().list[i].kind != kind) continue;
    if (++seen == n) {
      if (index != nullptr) *index = i;
      return &Sms().list[i];
    }
  }
  return nullptr;
}

void RemoveEntry(int32_t index) {
  if (index < 0 || index >= Sms().listCount) return;
  std::move(Sms().list + index + 1, Sms().list + Sms().listCount, Sms().list + index);
  Sms().list[--Sms().listCount] = SmsRecord{};
}

int32_t CountEntries(int32_t kindCode) {
  const int32_t kind = KindFor(kindCode);
  return static_cast<int32_t>(
      std::count_if(Sms().list, Sms().list + Sms().listCount, [kind](const SmsRecord &r) { return r.kind == kind; }));
}

int32_t DeleteEntry(int32_t kindCode, int32_t n) {
  int32_t index = -1;
  const SmsRecord *entry = FindEntry(kindCode, n, &index);
  if (entry == nullptr) return kResultNotFound;
  const int32_t result = DeleteSms(*entry);
  if (result == kResultOk) RemoveEntry(index);
  return result;
}

void ClearSmsList() {
  std::fill(Sms().list, Sms().list + kSmsListCapacity, SmsRecord{});
  Sms().listCount = 0;
}

namespace {

// The read behind getsms: 0 with the message in `scratch`, else getsms's code for the
// failure.
int32_t ReadForHost(int32_t location, SmsRecord &scratch) {
  scratch.location = location;
  switch (ReadSms(scratch)) {
    case 0:
      return 0;
    case kResultSmsInvalidLocation:
      return kGetSmsInvalidLocation;
    case kResultSmsReadError:
      return kGetSmsEmpty;
    default:
      return kGetSmsFailed;
  }
}

// What getsms returns for a message it read.
int32_t KindCodeOf(const SmsRecord &record) {
  switch (record.kind) {
    case kSmsKindStoredOutgoing:
      return kKindCodeStoredOutgoing;
    case kSmsKindStatusReport:
      return kKindCodeStatusReport;
    default:
      return kKindCodeReceived;
  }
}

}  // namespace

int32_t ReadLocation(int32_t location, char *number, int32_t numberSize, char *text, int32_t textSize) {
  CopyToCaller(number, numberSize, "");
  CopyToCaller(text, textSize, "");
  SmsRecord scratch;
  const int32_t failure = ReadForHost(location, scratch);
  if (failure != 0) return failure;
  CopyToCaller(number, numberSize, scratch.sender);
  // The raw bytes: an 8-bit or UCS-2 message may hold zeros before its end.
  CopyToCaller(text, textSize, std::string_view(scratch.text, sizeof scratch.text - 1));
  return KindCodeOf(scratch);
}

int32_t ReadLocationUtf8(int32_t location, char *number, int32_t numberSize, char *text, int32_t textSize) {
  CopyToCaller(number, numberSize, "");
  CopyToCaller(text, textSize, "");
  SmsRecord scratch;
  const int32_t failure = ReadForHost(location, scratch);
  if (failure != 0) return failure;
  CopyToCaller(number, numberSize, RecordSenderUtf8(scratch), TextCut::kBetweenUtf8Characters);
  CopyToCaller(text, textSize, RecordTextUtf8(scratch), TextCut::kBetweenUtf8Characters);
  return KindCodeOf(scratch);
}

int32_t GetSmsCounts(int32_t *pair) {
  if (pair != nullptr) pair[0] = pair[1] = 0;
  Sms().countsCache.ReuseOrAsk(kCountsReuseMs, [] {
    SmsCounts counts;
    const auto request = CommandRequest(0x36, 0x64);
    // A refusal (22) leaves both counts zero and, like a time-out, is not reused.
    const int32_t result = RunExchange(Sms().countsTarget, counts, Sms().countsCell, kStoreType, request.data(),
                                       request.size(), kCountsChecks, kCountsStepMs);
    Sms().cachedCounts = result == kResultOk ? counts : SmsCounts{};
    return result;
  });
  if (Sms().countsCache.Result() == kResultOk && pair != nullptr) {
    pair[0] = Sms().cachedCounts.unread;
    pair[1] = Sms().cachedCounts.total;
  }
  return Sms().countsCache.Result();
}

// The count and the queue change together under one lock, so a caller that sees a
// notice counted also finds its location queued (and reads it before returning).
void NoteSmsArrival(uint8_t location) {
  std::lock_guard<std::mutex> lock(Sms().incomingMutex);
  if (Sms().incomingQueued < kIncomingQueueSize) Sms().incomingQueue[Sms().incomingQueued++] = location;
  Sms().incomingCount.fetch_add(1);
}

int32_t TakeArrival() {
  int32_t location = -1;
  int32_t count = 0;
  {
    std::lock_guard<std::mutex> lock(Sms().incomingMutex);
    if (Sms().incomingQueued > 0) location = Sms().incomingQueue[--Sms().incomingQueued];
    count = Sms().incomingCount.load();
  }
  if (location >= 0) AppendFromPhone(location);  // its result is not reported
  return count;
}

void ResetArrivalCount() { Sms().incomingCount.store(0); }

}  // namespace pelkor
