#include <sys/time.h>
#include <time.h>

#include "platform/local_time.h"

namespace pelkor::platform {

TimeOfDay LocalTimeOfDay() {
  timeval now{};
  gettimeofday(&now, nullptr);
  const time_t seconds = now.tv_sec;
  tm local{};
  localtime_r(&seconds, &local);
  return {local.tm_hour, local.tm_min, local.tm_sec, static_cast<int32_t>(now.tv_usec / 1000)};
}

}  // namespace pelkor::platform
