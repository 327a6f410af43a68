#pragma once
// Reply handlers of the phonebook and speed dials, as routed by link/dispatch_table.cpp.
#include "link/reply_dispatch.h"

namespace pelkor {}  // namespace pelkor
