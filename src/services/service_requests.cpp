#include "services/service_requests.h"

#include "link/frame_sender.h"
#include "link/session.h"
#include "platform/sleep.h"

namespace pelkor {
namespace {
constexpr uint8_t kPreparatoryRequest[] = {0x00, 0x01, 0x64, 0x01};
}

void SendPreparatoryRequest() {
  Send(sizeof kPreparatoryRequest, kTypeService, kPreparatoryRequest);
  platform::SleepMs(5);
}

bool SendPreparatoryRequestOnce() {
  if (!Session().firstServiceRequest.exchange(false)) return false;
  SendPreparatoryRequest();
  return true;
}

}  // namespace pelkor
