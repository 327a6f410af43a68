#include <windows.h>

#include "platform/local_time.h"

namespace pelkor::platform {

TimeOfDay LocalTimeOfDay() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

}  // namespace pelkor::platform
