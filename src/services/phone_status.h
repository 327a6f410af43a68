#pragma once
// How the phone is: signal and battery level, power source, display indicators.
#include <cstdint>

#include "link/reply_dispatch.h"

namespace pelkor {

int32_t GetSignalLevel(int32_t *level);                // level x 100; 0 or 4
int32_t GetBatteryLevel(int32_t *level);               // level x 100; 0 or 4
int32_t UsesMainsPower();                              // 1 when the phone reports power source 1
int32_t GetDisplayStatus(char *buffer, int32_t size);  // eight "0"/"1"; 0 or 4

void HandlePhoneStatus(const ReplyMessage &reply);    // 0x04, command 0x02
void HandleDisplayStatus(const ReplyMessage &reply);  // 0x0D, command 0x52

}  // namespace pelkor
