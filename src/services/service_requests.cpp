#include "services/service_requests.h"

#include "link/frame_sender.h"
#include "platform/sleep.h"
#include "services/services_state.h"

namespace pelkor {
namespace {
constexpr uint8_t kPreparatoryRequest[] = {0x00, 0x01, 0x64, 0x01};
}  // namespace

void SetPreparatoryRequestPending(bool pending) { Services().preparatoryRequestPending.store(pending); }

void SendPreparatoryRequest() {
  Send(sizeof kPreparatoryRequest, kTypeService, kPreparatoryRequest);
  platform::SleepMs(5);
}

bool SendPreparatoryRequestOnce() {
  if (!Services().preparatoryRequestPending.exchange(false)) return false;
  SendPreparatoryRequest();
  return true;
}

}  // namespace pelkor
