#pragma once
// Reply handlers of the SMS sending and the message store, as routed by link/dispatch_table.cpp.
#include "link/reply_dispatch.h"

namespace pelkor {}  // namespace pelkor
