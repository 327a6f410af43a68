#pragma once
#include <cstdint>

namespace pelkor::platform {

// Milliseconds on a monotonic clock that starts near zero when the library is loaded,
// so "time since last received byte" starts small in a fresh process, as a process
// clock would. Only differences are meaningful.
int64_t MonotonicMs();

}  // namespace pelkor::platform
