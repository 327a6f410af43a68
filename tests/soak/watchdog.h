#pragma once
// The soak's watchdog: a call that does not come back within its hang bound ends the
// process with a report, so that a hang shows as one instead of a test time-out.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "soak_records.h"

namespace pelkor_soak {

// Ends the process with a report when a call does not come back.
class Watchdog {
 public:
  explicit Watchdog(std::function<void(const std::string &)> onHang) : onHang_(std::move(onHang)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void Begin(const std::string &what, int64_t hangAfterMs) {
    std::lock_guard lock(mutex_);
    what_ = what;
    started_ = Clock::now();
    hangAfterMs_ = hangAfterMs;
    active_ = true;
  }
  void End() {
    std::lock_guard lock(mutex_);
    active_ = false;
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      wake_.wait_for(lock, std::chrono::milliseconds(100));
      if (active_ && MsSince(started_) > hangAfterMs_) {
        const std::string what = what_ + " still running after " + std::to_string(MsSince(started_)) + " ms";
        lock.unlock();
        onHang_(what);  // does not return
        lock.lock();
      }
    }
  }

  std::function<void(const std::string &)> onHang_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false, active_ = false;
  std::string what_;
  Clock::time_point started_{};
  int64_t hangAfterMs_ = 0;
  std::thread thread_;
};

}  // namespace pelkor_soak
