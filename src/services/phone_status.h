#pragma once
// How the phone is: signal and battery level, power source, display indicators.
#include <cstdint>

#include "link/reply_dispatch.h"

namespace pelkor {

int32_t GetSignalLevel(int32_t *level);                // level x 100; 0 or 4
int32_t GetBatteryLevel(int32_t *level);               // level x 100; 0 or 4
int32_t UsesMainsPower();                              // 1 when the phone reports power source 1
int32_t GetDisplayStatus(char *buffer, int32_t size);  // eight "0"/"1"; 0 or 4

// The rows of the replies this file handles (services/services_module.cpp lists them).
extern const ReplyRouteTable kStatusReplies;

}  // namespace pelkor
