#pragma once
// The network the phone is registered in, and the phone's net monitor screens.
#include <cstdint>

#include "link/reply_dispatch.h"

namespace pelkor {

int32_t GetNetworkInfo(char *networkCode, int32_t networkCodeSize, char *areaCode, int32_t areaCodeSize, char *cellId,
                       int32_t cellIdSize);
int32_t NetMonitor(const char *screen, char *buffer, int32_t size);

// The monitor screen selector for a screen text ("field", "3", ...).
uint8_t NetMonitorSelector(const char *screen);

// The rows of the replies this file handles (services/services_module.cpp lists them).
extern const ReplyRouteTable kNetworkReplies;

}  // namespace pelkor
