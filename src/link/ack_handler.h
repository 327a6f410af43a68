#pragma once
#include "link/reply_dispatch.h"

namespace pelkor {

// The phone acknowledged one of our frames: count it. Which frame it names is not
// examined; the keep-alive only compares the totals.
void HandlePhoneAck(const ReplyMessage &reply);

}  // namespace pelkor
