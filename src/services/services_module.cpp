#include "services/services_module.h"

#include "services/identity.h"
#include "services/reply_handlers.h"
#include "services/service_requests.h"

namespace pelkor {
namespace {

// Message type, position of the command byte, command (kAnyCommand: every command of
// the type, tried after the exact rows), handler.
const ReplyRoute kRows[] = {
    {0x01, 3, kAnyCommand, HandleCallState}, {0x04, 3, 0x02, HandlePhoneStatus},
    {0x0A, 3, 0x71, HandleNetworkInfo},      {0x0D, 3, 0x52, HandleDisplayStatus},
    {0x11, 3, 0x61, HandleDateTimeSet},      {0x11, 3, 0x63, HandleDateTime},
    {0x11, 3, 0x6C, HandleAlarmSet},         {0x11, 3, 0x6E, HandleAlarm},
    {0x40, 2, 0x66, HandleImeiReply},        {0x40, 2, 0xC8, HandleHardwareReply},
    {0x40, 2, 0x7E, HandleNetMonitor},       {0x64, 3, kAnyCommand, HandleStartupIdentity},
    {0xD2, 3, 0x03, HandleVersionReply},
};

void StartServicesSession() {
  ResetIdentityTexts();
  SetPreparatoryRequestPending(true);
}

}  // namespace

const FamilyModule kServicesModule = {
    "services", {kRows, sizeof kRows / sizeof kRows[0]}, StartServicesSession, nullptr, nullptr,
};

}  // namespace pelkor
