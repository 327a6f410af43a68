#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace pelkor::platform {

// A plain sleep that nothing ends early (the waits of init that must not be cut short).
void SleepMs(int32_t milliseconds);

// A sleep that a stop request ends early: the link threads use it so that closing the
// connection does not wait out a 500 ms cycle or a 1 s infrared wake-up pause.
class StopSignal {
 public:
  void Reset();
  void Trigger();
  // Sleeps up to `milliseconds`; returns false when the sleep was ended by Trigger().
  bool SleepFor(int32_t milliseconds);

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool triggered_ = false;
};

}  // namespace pelkor::platform
