#pragma once
#include <cstdint>
#include <mutex>
#include <shared_mutex>

#include "platform/sleep.h"

namespace pelkor::platform {

// The serial ports' calls hold their descriptor's lock shared; Open and Close take it
// exclusively. Close waits this long for the users to let go: a write gives up within a
// few hundred milliseconds for a frame, so a user held longer is a thread that will not
// come back (one ended by the system), and waiting on it must not hang the close.
constexpr int32_t kCloseWaitLimitMs = 3000;

// Takes `lock` within `limitMs`, polled rather than a timed wait: the lock stays a plain
// one, which every thread checker follows.
inline bool TakeWithin(std::unique_lock<std::shared_mutex> &lock, int32_t limitMs) {
  for (int32_t waited = 0; !lock.try_lock(); ++waited) {
    if (waited >= limitMs) return false;
    SleepMs(1);
  }
  return true;
}

}  // namespace pelkor::platform
