#include "services/service_requests.h"

#include <atomic>

#include "link/frame_sender.h"
#include "platform/sleep.h"

namespace pelkor {
namespace {
constexpr uint8_t kPreparatoryRequest[] = {0x00, 0x01, 0x64, 0x01};
std::atomic<bool> preparatoryRequestPending{true};
}  // namespace

void SetPreparatoryRequestPending(bool pending) { preparatoryRequestPending.store(pending); }

void SendPreparatoryRequest() {
  Send(sizeof kPreparatoryRequest, kTypeService, kPreparatoryRequest);
  platform::SleepMs(5);
}

bool SendPreparatoryRequestOnce() {
  if (!preparatoryRequestPending.exchange(false)) return false;
  SendPreparatoryRequest();
  return true;
}

}  // namespace pelkor
