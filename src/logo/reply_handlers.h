#pragma once
// Reply handlers of the logo transfer, as routed by link/dispatch_table.cpp.
#include "link/reply_dispatch.h"

namespace pelkor {}  // namespace pelkor
