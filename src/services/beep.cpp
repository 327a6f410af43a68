#include "services/beep.h"

#include "link/frame_sender.h"
#include "platform/sleep.h"

namespace pelkor {
namespace {
constexpr uint8_t kTypeService = 0x40;
constexpr uint8_t kPreparatoryRequest[] = {0x00, 0x01, 0x64, 0x01};
constexpr uint8_t kToneOn[] = {0x00, 0x01, 0x8F, 0x04, 0x09, 0xC4};
constexpr uint8_t kToneOff[] = {0x00, 0x01, 0x8F, 0x00, 0x00, 0x00};
}  // namespace

void SendBeep(bool on) {
  if (on) {
    Send(sizeof kPreparatoryRequest, kTypeService, kPreparatoryRequest);
    platform::SleepMs(10);
    Send(sizeof kToneOn, kTypeService, kToneOn);
  } else {
    Send(sizeof kToneOff, kTypeService, kToneOff);
  }
}

}  // namespace pelkor
