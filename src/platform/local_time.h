#pragma once
#include <cstdint>

namespace pelkor::platform {

// The wall-clock time of day in the local time zone, for time stamps meant for people.
struct TimeOfDay {
  int32_t hour;
  int32_t minute;
  int32_t second;
  int32_t millisecond;
};

TimeOfDay LocalTimeOfDay();

}  // namespace pelkor::platform
