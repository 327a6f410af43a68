#include "platform/sleep.h"

#include <thread>

namespace pelkor::platform {

void SleepMs(int32_t milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void StopSignal::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  triggered_ = false;
}

void StopSignal::Trigger() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    triggered_ = true;
  }
  changed_.notify_all();
}

bool StopSignal::SleepFor(int32_t milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (milliseconds > 0) changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return triggered_; });
  return !triggered_;
}

}  // namespace pelkor::platform
