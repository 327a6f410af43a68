#pragma once
// The phone's clock and alarm (message type 0x11).
#include <cstdint>

#include "link/reply_dispatch.h"

namespace pelkor {

int32_t GetDateTime(int32_t *year, int32_t *month, int32_t *day, int32_t *hour, int32_t *minute, int32_t *second);
int32_t SetDateTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute);
int32_t GetAlarm(int32_t *enabled, int32_t *hour, int32_t *minute);
int32_t SetAlarm(int32_t hour, int32_t minute);

void HandleDateTimeSet(const ReplyMessage &reply);  // command 0x61
void HandleDateTime(const ReplyMessage &reply);     // command 0x63
void HandleAlarmSet(const ReplyMessage &reply);     // command 0x6C
void HandleAlarm(const ReplyMessage &reply);        // command 0x6E

}  // namespace pelkor
