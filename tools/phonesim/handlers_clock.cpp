// A running clock and the alarm. The clock is kept as an offset in seconds from the
// computer's own UTC clock, so it keeps running between requests; settings can be
// refused on request ("/clock/refuse_settings": true).
#include <chrono>
#include <climits>

#include "dispatch.h"

namespace phonesim {

namespace {

int64_t host_seconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian), and back.
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
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

Civil civil_from_seconds(int64_t t) {
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

uint8_t setting_answer(PhoneState &state) {
  const nlohmann::json *refuse = nullptr;
  auto &clock = state.json()["clock"];
  if (clock.is_object() && clock.contains("refuse_settings")) refuse = &clock["refuse_settings"];
  return refuse != nullptr && refuse->is_boolean() && refuse->get<bool>() ? 0x02 : 0x01;
}

Civil phone_time(const PhoneState &state) {
  const int64_t offset = state.integer(kOffsetSeconds, 0, INT32_MIN, INT32_MAX);
  return civil_from_seconds(host_seconds() + offset);
}

// 00 01 00 62: the date and time, year big-endian at bytes 8-9.
void handle_clock_get(const Request &, PhoneState &state, Replies &replies) {
  const Civil now = phone_time(state);
  replies.send(0x11,
               {0x01, 0x00, 0x00, 0x63, 0x01, 0x01, 0x07, 0x00, static_cast<uint8_t>((now.year >> 8) & 0xFF),
                static_cast<uint8_t>(now.year & 0xFF), static_cast<uint8_t>(now.month), static_cast<uint8_t>(now.day),
                static_cast<uint8_t>(now.hour), static_cast<uint8_t>(now.minute), static_cast<uint8_t>(now.second)});
}

// 00 01 00 60 01 01 07 YH YL MM DD hh mm 00: set the clock (seconds start at 0).
void handle_clock_set(const Request &request, PhoneState &state, Replies &replies) {
  const uint8_t answer = setting_answer(state);
  if (answer == 0x01 && request.bytes.size() >= 14) {
    const int64_t year = request.at(7) << 8 | request.at(8);
    const unsigned month = request.at(9), day = request.at(10);
    const unsigned hour = request.at(11), minute = request.at(12);
    if (month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour < 24 && minute < 60) {
      const int64_t wanted = days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60;
      state.set(kOffsetSeconds, wanted - host_seconds());
    }
  }
  replies.send(0x11, {0x01, 0x00, 0x00, 0x61, answer});
}

// 00 01 00 6D: the alarm; byte 8 is 02 when it is switched on.
void handle_alarm_get(const Request &, PhoneState &state, Replies &replies) {
  const auto &alarm = state.json()[nlohmann::json::json_pointer(kAlarm)];
  const bool enabled = alarm.is_object() && alarm.value("enabled", false);
  replies.send(0x11, {0x01, 0x00, 0x00, 0x6E, 0x01, 0x20, 0x03, 0x00, static_cast<uint8_t>(enabled ? 0x02 : 0x01),
                      static_cast<uint8_t>(state.integer(kAlarmHour, 0, 0, 23)),
                      static_cast<uint8_t>(state.integer(kAlarmMinute, 0, 0, 59))});
}

// 00 01 00 6B 01 20 03 02 hh mm 00: set and switch on the alarm.
void handle_alarm_set(const Request &request, PhoneState &state, Replies &replies) {
  const uint8_t answer = setting_answer(state);
  if (answer == 0x01 && request.bytes.size() >= 10)
    state.set(kAlarm, {{"enabled", request.at(7) == 0x02}, {"hour", request.at(8)}, {"minute", request.at(9)}});
  replies.send(0x11, {0x01, 0x00, 0x00, 0x6C, answer});
}

}  // namespace

std::vector<int> phone_clock_now(const PhoneState &state) {
  const Civil now = phone_time(state);
  return {static_cast<int>(now.year % 100), static_cast<int>(now.month),  static_cast<int>(now.day),
          static_cast<int>(now.hour),       static_cast<int>(now.minute), static_cast<int>(now.second)};
}

void register_clock_handlers(HandlerTable &table) {
  table.add_defaults({{"clock",
                       {{"offset_seconds", 0},
                        {"refuse_settings", false},
                        {"alarm", {{"enabled", false}, {"hour", 7}, {"minute", 0}}}}}});

  table.on(0x11, 0x62, handle_clock_get);
  table.on(0x11, 0x60, handle_clock_set);
  table.on(0x11, 0x6D, handle_alarm_get);
  table.on(0x11, 0x6B, handle_alarm_set);
}

}  // namespace phonesim
