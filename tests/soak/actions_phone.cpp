// Actions on the phone itself: identity and status, the display, clock and alarm, calls,
// tones and the network. Each makes its call and checks the answer against the phone's state.
#include <cstdio>
#include <cstdlib>
#include <set>
#include <thread>

#include "soak.h"

namespace pelkor_soak {

using nlohmann::json;
using namespace std::chrono_literals;
namespace L = limits;

// ---- identity and status ------------------------------------------------------------------------

void Soak::Identity() {
  struct Query {
    const char *name;
    int32_t (*fn)(char *, int32_t);
    std::string expected;
  };
  const json state = State();
  std::string revision = "SW" + TextAt(state, "/identity/software") + ", HW" + TextAt(state, "/identity/hardware");
  revision.resize(std::min<size_t>(revision.size(), 19));
  const Query queries[] = {{"getimei", getimei, TextAt(state, "/identity/imei")},
                           {"getrevision", getrevision, revision},
                           {"getmodel", getmodel, TextAt(state, "/identity/model")},
                           {"getswdate", getswdate, TextAt(state, "/identity/date")}};
  const Query &q = queries[Uniform(0, 3)];
  char buffer[64];
  const int32_t result = Call(
      q.name, L::kIdentity, L::Only({0, 5, -1}), "", [&] { return q.fn(buffer, sizeof buffer); },
      PELKOR_ERR_IDENTITY_UNKNOWN);
  if (result == PELKOR_OK && q.expected != buffer)
    Fail("wrong answer", std::string(q.name) + " gave '" + buffer + "', the phone says '" + q.expected + "'");
}

void Soak::PhoneStatus() {
  const json state = State();
  const int which = Uniform(0, 2);
  int32_t level = -7;
  if (which == 2) {
    const int32_t power = Call(
        "uses_acdc_power", L::kPhoneStatus, L::Only({0, 1}), "", [] { return uses_acdc_power(); }, INT32_MIN);
    if (power == 1 && IntAt(state, "/status/power", 0) != 1) Fail("wrong answer", "uses_acdc_power gave 1 on battery");
    return;
  }
  const char *name = which == 0 ? "getrflevel" : "getbatterylevel";
  const int32_t result = Call(name, L::kPhoneStatus, L::Only({0, 4}), "",
                              [&] { return which == 0 ? getrflevel(&level) : getbatterylevel(&level); });
  const int expected = 100 * IntAt(state, which == 0 ? "/status/signal" : "/status/battery", -1);
  if (result == PELKOR_OK && level != expected)
    Fail("wrong answer",
         std::string(name) + " gave " + std::to_string(level) + ", the phone says " + std::to_string(expected));
}

void Soak::Display() {
  const json state = State();
  std::string expected(8, '0');
  if (const json *indicators = At(state, "/display/indicators"))
    for (const auto &[key, on] : indicators->items()) {
      const int n = std::atoi(key.c_str());
      if (n >= 1 && n <= 8 && on.is_boolean() && on.get<bool>()) expected[static_cast<size_t>(n - 1)] = '1';
    }
  char buffer[16];
  const int32_t result = Call("getdisplaystatus", L::kDisplay, L::Only({0, 4}), "",
                              [&] { return getdisplaystatus(buffer, sizeof buffer); });
  if (result == PELKOR_OK && expected != buffer)
    Fail("wrong answer", std::string("getdisplaystatus gave ") + buffer + ", the phone shows " + expected);
}

// ---- clock and alarm ----------------------------------------------------------------------------

void Soak::ClockRead() {
  int32_t y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  const int32_t result =
      Call("getdatetime", L::kGetDateTime, L::Only({0, 4}), "", [&] { return getdatetime(&y, &mo, &d, &h, &mi, &s); });
  if (result != PELKOR_OK) return;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || y < 1990 || y > 2100) {
    Fail("wrong answer", std::string("getdatetime gave ") + text);
    return;
  }
  if (!phoneClock_) return;
  const std::time_t got = SecondsOf(y, mo, d, h, mi, s);
  const std::time_t expected = phoneClock_->first + MsSince(phoneClock_->second) / 1000;
  if (std::llabs(static_cast<long long>(got - expected)) > 3)
    Fail("wrong answer",
         std::string("getdatetime gave ") + text + ", " + std::to_string(got - expected) + " s off the time set");
}

void Soak::ClockSet() {
  const int y = Uniform(2001, 2030), mo = Uniform(1, 12), d = Uniform(1, 28), h = Uniform(0, 23), mi = Uniform(0, 59),
            s = Uniform(0, 59);
  char args[64];
  std::snprintf(args, sizeof args, "%d,%d,%d,%d,%d,%d", y, mo, d, h, mi, s);
  const int32_t result =
      Call("setdatetime", L::kSetDateTime, L::Only({0, 13, 4}), args, [&] { return setdatetime(y, mo, d, h, mi, s); });
  if (result == PELKOR_OK) {
    phoneClock_ = std::make_pair(SecondsOf(y, mo, d, h, mi, 0), Clock::now());  // the seconds are not sent
  } else {
    phoneClock_.reset();  // the phone may or may not have taken it
  }
}

void Soak::AlarmRead() {
  int32_t enabled = -1, hour = -1, minute = -1;
  const int32_t result =
      Call("getalarm", L::kGetAlarm, L::Only({0, 4}), "", [&] { return getalarm(&enabled, &hour, &minute); });
  if (result == PELKOR_OK && alarm_ && (enabled != 1 || hour != alarm_->first || minute != alarm_->second))
    Fail("wrong answer", "getalarm gave " + std::to_string(enabled) + " " + std::to_string(hour) + ":" +
                             std::to_string(minute) + " after setalarm " + std::to_string(alarm_->first) + ":" +
                             std::to_string(alarm_->second));
}

void Soak::AlarmSet() {
  const int hour = Uniform(0, 23), minute = Uniform(0, 59);
  const int32_t result =
      Call("setalarm", L::kSetAlarm, L::Only({0, 13, 4}), std::to_string(hour) + "," + std::to_string(minute),
           [&] { return setalarm(hour, minute); });
  if (result == PELKOR_OK)
    alarm_ = std::make_pair(hour, minute);
  else
    alarm_.reset();
}

// ---- calls and tones ----------------------------------------------------------------------------

void Soak::Dial() {
  const std::string number = RandomDigits(static_cast<size_t>(Uniform(3, 15)));
  Call("dialvoice", L::kNoWait, L::Only({0}), number, [&] { return dialvoice(number.c_str()); });
  std::this_thread::sleep_for(std::chrono::milliseconds(Uniform(0, 200)));
  Call("hangup", L::kNoWait, L::Only({0}), "", [] { return hangup(); });
}

void Soak::Dtmf() {
  const std::string digits = RandomText(static_cast<size_t>(Uniform(1, 20)), "0123456789*#");
  Call("send_dtmf", L::kNoWait, L::Only({0}), digits, [&] { return send_dtmf(digits.c_str()); });
}

void Soak::Beep() {
  Call("gsmbeep", L::kBeepOn, L::Only({1}), "1", [] { return gsmbeep(1); });
  std::this_thread::sleep_for(std::chrono::milliseconds(Uniform(0, 100)));
  Call("gsmbeep", L::kNoWait, L::Only({1}), "0", [] { return gsmbeep(0); });
}

void Soak::Tone() {
  const int volume = Uniform(0, 10), frequency = Uniform(200, 4000), duration = Uniform(0, 400);
  Call("play_tone", L::PlayTone(duration), L::Only({1}),
       std::to_string(volume) + "," + std::to_string(frequency) + "," + std::to_string(duration),
       [&] { return play_tone(volume, frequency, duration); });
}

// Durations a caller may pass by mistake: a negative one plays nothing, however large.
void Soak::ToneNegative() {
  const int32_t durations[] = {INT32_MIN, INT32_MIN + 1, INT32_MIN + 4, INT32_MIN + 14, -1000000, -15, -1};
  const int32_t duration = durations[Uniform(0, 6)];
  Call("play_tone", L::PlayTone(duration), L::Only({1}), "4,1000," + std::to_string(duration),
       [&] { return play_tone(4, 1000, duration); });
}

void Soak::ResetPhone() {
  const char *kinds[] = {"soft", "hard", nullptr, "HARD"};
  const char *kind = kinds[Uniform(0, 3)];
  Call("reset", L::kNoWait, L::Only({0}), kind ? kind : "null", [&] { return reset(kind); });
}

// The phone announces a call; the library reports its number once.
void Soak::IncomingCall() {
  const std::string number = RandomDigits(static_cast<size_t>(Uniform(6, 12)));
  const uint64_t faultsBefore = faultEvents_.load();
  const size_t lostBefore = sim_.FramesLost();
  if (sim_.Control("call incoming " + number) != "ok") return;
  char buffer[32] = {};
  int32_t result = PELKOR_ERR_NO_CALL;
  const auto began = Clock::now();
  while (MsSince(began) < 500) {
    result = Call("incoming", L::kNoWait, L::Only({0, 23}), "", [&] { return incoming(buffer, sizeof buffer); });
    if (result == PELKOR_OK && (buffer == number || buffer == "D" + number.substr(1))) break;
    std::this_thread::sleep_for(20ms);
  }
  const int32_t event = Call("incomingevent", L::kNoWait, L::Only({0, 1}), "", [] { return incomingevent(); });
  const bool clean = Clean(faultsBefore) && sim_.FramesLost() == lostBefore;
  if (clean && (result != PELKOR_OK || (buffer != number && buffer != "D" + number.substr(1))))
    Fail("wrong answer", "incoming gave " + std::to_string(result) + " '" + buffer + "' for a call from " + number);
  if (clean && event != 1) Fail("wrong answer", "incomingevent gave 0 after a call was announced");
  sim_.Control("call end");
}

// ---- network ------------------------------------------------------------------------------------

void Soak::NetworkInfo() {
  const json state = State();
  char code[10], area[10], cell[10];
  const int32_t result = Call("getnetworkinfo", L::kNetworkInfo, L::Only({0, 4}), "",
                              [&] { return getnetworkinfo(code, sizeof code, area, sizeof area, cell, sizeof cell); });
  if (result != PELKOR_OK) return;
  const std::string expectedCode = TextAt(state, "/network/mcc") + " " + TextAt(state, "/network/mnc");
  char lac[8], id[8];
  std::snprintf(lac, sizeof lac, "%04x", IntAt(state, "/network/lac", 0));
  std::snprintf(id, sizeof id, "%04x", IntAt(state, "/network/cell_id", 0));
  const std::set<std::string> expectedPair = {lac, id}, got = {area, cell};
  if (expectedCode != code || expectedPair != got)
    Fail("wrong answer", std::string("getnetworkinfo gave '") + code + "' '" + area + "' '" + cell + "'");
}

void Soak::NetMonitor() {
  const char *screens[] = {"1", "2", "3", "next", "field", "off", "devel"};
  const char *screen = screens[Uniform(0, 6)];
  char buffer[64];
  Call("netmonitor", L::kNetMonitor, L::Only({0}), screen, [&] { return netmonitor(screen, buffer, sizeof buffer); });
  if (buffer[0] == '\0') return;
  const json state = State();
  bool known = false;
  if (const json *texts = At(state, "/netmonitor/screens"))
    for (const auto &[key, text] : texts->items())
      if (text.is_string() && text.get<std::string>() == buffer) known = true;
  if (!known) Fail("wrong answer", std::string("netmonitor gave '") + buffer + "'");
}

}  // namespace pelkor_soak
