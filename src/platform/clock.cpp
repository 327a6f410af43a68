#include "platform/clock.h"

#include <chrono>

namespace pelkor::platform {
namespace {
const std::chrono::steady_clock::time_point kLoadTime = std::chrono::steady_clock::now();
}

int64_t MonotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - kLoadTime).count();
}

}  // namespace pelkor::platform
