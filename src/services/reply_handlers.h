#pragma once
// Reply handlers of the phone services (identity, status, clock, calls, network), as routed by link/dispatch_table.cpp.
#include "link/reply_dispatch.h"

namespace pelkor {}  // namespace pelkor
