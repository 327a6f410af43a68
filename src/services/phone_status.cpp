#include "services/phone_status.h"

#include <atomic>
#include <cstring>

#include "link/frame_sender.h"
#include "link/link_startup.h"
#include "platform/clock.h"
#include "services/service_requests.h"
#include "services/services_state.h"
#include "transaction/bounded_copy.h"
#include "transaction/transaction.h"
#include "link/request_writer.h"

namespace pelkor {
namespace {

constexpr int32_t kUnknown = -1;  // the value cells' pending value
constexpr int32_t kStatusPolls = 100;
constexpr int32_t kPollMs = 10;
constexpr int64_t kDisplayReuseMs = 200;
constexpr size_t kStatusReplyLength = 9;
constexpr auto kDisplayRequest = CommandRequest(0x51);

StatusState &Status() { return Services().status; }

// Asks for the phone status and waits for `cell` to be refreshed.
bool RefreshStatus(StatusCell &cell) {
  cell.Arm(kUnknown);
  RequestStatus();
  return AwaitCell(cell, kUnknown, kStatusPolls, kPollMs);
}

int32_t GetLevel(StatusCell &cell, int32_t *level) {
  if (level != nullptr) *level = kUnknown;
  if (!RefreshStatus(cell)) return kResultTimeout;
  if (level != nullptr) *level = cell.Value() * 100;
  return kResultOk;
}

}  // namespace

int32_t GetSignalLevel(int32_t *level) { return GetLevel(Status().signalLevel, level); }
int32_t GetBatteryLevel(int32_t *level) { return GetLevel(Status().batteryLevel, level); }

int32_t UsesMainsPower() {
  if (!RefreshStatus(Status().powerSource)) return 0;
  return Status().powerSource.Value() == 1 ? 1 : 0;
}

int32_t GetDisplayStatus(char *buffer, int32_t size) {
  Status().displayCache.ReuseOrAsk(kDisplayReuseMs, [] {
    const int32_t result = RunTransaction(Status().displayCell, kTypeDisplay, kDisplayRequest.data(),
                                          kDisplayRequest.size(), kStatusPolls, kPollMs);
    const uint32_t mask = result == kResultOk ? Status().displayIndicators.load() : 0;
    for (int i = 0; i < 8; ++i) Status().displayText[i] = (mask >> i) & 1 ? '1' : '0';
    return result == kResultOk ? kResultOk : kResultTimeout;
  });
  CopyToCaller(buffer, size, Status().displayText);
  return Status().displayCache.Result();
}

namespace {

void HandlePhoneStatus(const ReplyMessage &reply) {
  if (reply.length < kStatusReplyLength) return;
  Status().signalLevel.Complete(reply.At(5));
  Status().powerSource.Complete(reply.At(7));
  Status().batteryLevel.Complete(reply.At(8));
}

void HandleDisplayStatus(const ReplyMessage &reply) {
  const size_t count = reply.At(4);
  uint32_t mask = Status().displayIndicators.load();
  for (size_t k = 0; k < count && 6 + 2 * k < reply.length; ++k) {
    const unsigned indicator = reply.At(5 + 2 * k);
    if (indicator < 1 || indicator > 32) continue;  // no bit to keep it in
    const uint32_t bit = 1u << (indicator - 1);
    mask = reply.At(6 + 2 * k) == 2 ? mask | bit : mask & ~bit;
  }
  Status().displayIndicators.store(mask);
  Status().displayCell.Complete(kResultOk);
}

// The status answers the keep-alive poll as well as a command; the display notices
// come when an indicator changes. Both are kept whenever they come.
const ReplyRoute kRows[] = {
    // type, command byte at, command, handler, awaited by
    {0x04, 3, 0x02, HandlePhoneStatus, kUnsolicited},
    {0x0D, 3, 0x52, HandleDisplayStatus, kUnsolicited},
};

}  // namespace

const ReplyRouteTable kStatusReplies = RouteTable(kRows);

}  // namespace pelkor
