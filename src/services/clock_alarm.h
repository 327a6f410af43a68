#pragma once
// The phone's clock and alarm (message type 0x11).
#include <cstdint>

#include "link/reply_dispatch.h"

namespace pelkor {

int32_t GetDateTime(int32_t *year, int32_t *month, int32_t *day, int32_t *hour, int32_t *minute, int32_t *second);
int32_t SetDateTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute);
int32_t GetAlarm(int32_t *enabled, int32_t *hour, int32_t *minute);
int32_t SetAlarm(int32_t hour, int32_t minute);

// The rows of the replies this file handles (services/services_module.cpp lists them).
extern const ReplyRouteTable kClockReplies;

}  // namespace pelkor
