// A running clock and the alarm. The clock is kept as an offset in seconds from the
// computer's own UTC clock, so it keeps running between requests; settings can be
// refused on request ("/clock/refuse_settings": true).
#include <chrono>
#include <climits>

#include "dispatch.h"

namespace phonesim {

namespace {

int64_t HostSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian), and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

struct Civil {
  int64_t year;
  unsigned month, day, hour, minute, second;
};

Civil CivilFromSeconds(int64_t t) {
  int64_t z = t >= 0 ? t / 86400 : (t - 86399) / 86400;
  const int64_t rest = t - z * 86400;
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int64_t>(yoe) + era * 400 + (m <= 2),
          m,
          d,
          static_cast<unsigned>(rest / 3600),
          static_cast<unsigned>(rest % 3600 / 60),
          static_cast<unsigned>(rest % 60)};
}

// Where the clock keeps its state.
constexpr const char *kOffsetSeconds = "/clock/offset_seconds";
constexpr const char *kAlarm = "/clock/alarm";
constexpr const char *kAlarmHour = "/clock/alarm/hour";
constexpr const char *kAlarmMinute = "/clock/alarm/minute";

uint8_t SettingAnswer(PhoneState &state) {
  const nlohmann::json *refuse = nullptr;
  auto &clock = state.Json()["clock"];
  if (clock.is_object() && clock.contains("refuse_settings")) refuse = &clock["refuse_settings"];
  return refuse != nullptr && refuse->is_boolean() && refuse->get<bool>() ? 0x02 : 0x01;
}

Civil PhoneTime(const PhoneState &state) {
  const int64_t offset = state.Integer(kOffsetSeconds, 0, INT32_MIN, INT32_MAX);
  return CivilFromSeconds(HostSeconds() + offset);
}

// 00 01 00 62: the date and time, year big-endian at bytes 8-9.
void HandleClockGet(const Request &, PhoneState &state, Replies &replies) {
  const Civil now = PhoneTime(state);
  replies.Send(0x11,
               {0x01, 0x00, 0x00, 0x63, 0x01, 0x01, 0x07, 0x00, static_cast<uint8_t>((now.year >> 8) & 0xFF),
                static_cast<uint8_t>(now.year & 0xFF), static_cast<uint8_t>(now.month), static_cast<uint8_t>(now.day),
                static_cast<uint8_t>(now.hour), static_cast<uint8_t>(now.minute), static_cast<uint8_t>(now.second)});
}

// 00 01 00 60 01 01 07 YH YL MM DD hh mm 00: set the clock (seconds start at 0).
void HandleClockSet(const Request &request, PhoneState &state, Replies &replies) {
  const uint8_t answer = SettingAnswer(state);
  if (answer == 0x01 && request.bytes.size() >= 14) {
    const int64_t year = request.At(7) << 8 | request.At(8);
    const unsigned month = request.At(9), day = request.At(10);
    const unsigned hour = request.At(11), minute = request.At(12);
    if (month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour < 24 && minute < 60) {
      const int64_t wanted = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60;
      state.Set(kOffsetSeconds, wanted - HostSeconds());
    }
  }
  replies.Send(0x11, {0x01, 0x00, 0x00, 0x61, answer});
}

// 00 01 00 6D: the alarm; byte 8 is 02 when it is switched on.
void HandleAlarmGet(const Request &, PhoneState &state, Replies &replies) {
  const auto &alarm = state.Json()[nlohmann::json::json_pointer(kAlarm)];
  const bool enabled = alarm.is_object() && alarm.value("enabled", false);
  replies.Send(0x11, {0x01, 0x00, 0x00, 0x6E, 0x01, 0x20, 0x03, 0x00, static_cast<uint8_t>(enabled ? 0x02 : 0x01),
                      static_cast<uint8_t>(state.Integer(kAlarmHour, 0, 0, 23)),
                      static_cast<uint8_t>(state.Integer(kAlarmMinute, 0, 0, 59))});
}

// 00 01 00 6B 01 20 03 02 hh mm 00: set and switch on the alarm.
void HandleAlarmSet(const Request &request, PhoneState &state, Replies &replies) {
  const uint8_t answer = SettingAnswer(state);
  if (answer == 0x01 && request.bytes.size() >= 10)
    state.Set(kAlarm, {{"enabled", request.At(7) == 0x02}, {"hour", request.At(8)}, {"minute", request.At(9)}});
  replies.Send(0x11, {0x01, 0x00, 0x00, 0x6C, answer});
}

}  // namespace

std::vector<int> PhoneClockNow(const PhoneState &state) {
  const Civil now = PhoneTime(state);
  return {static_cast<int>(now.year % 100), static_cast<int>(now.month),  static_cast<int>(now.day),
          static_cast<int>(now.hour),       static_cast<int>(now.minute), static_cast<int>(now.second)};
}

void RegisterClockHandlers(HandlerTable &table) {
  table.AddDefaults({{"clock",
                      {{"offset_seconds", 0},
                       {"refuse_settings", false},
                       {"alarm", {{"enabled", false}, {"hour", 7}, {"minute", 0}}}}}});

  table.On(0x11, 0x62, HandleClockGet);
  table.On(0x11, 0x60, HandleClockSet);
  table.On(0x11, 0x6D, HandleAlarmGet);
  table.On(0x11, 0x6B, HandleAlarmSet);
}

}  // namespace phonesim
