// Identity, status, clock, alarm, calls, tones, reset and network.
#include <pelkor16.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <thread>

#include "command_table.h"
#include "commands.h"
#include "exit_status.h"
#include "network_names.h"
#include "progress.h"
#include "validate.h"

namespace pelkor_tool {
namespace {

std::string Text(int32_t (*get)(char *, int32_t), int32_t &result) {
  char buffer[64];
  result = get(buffer, sizeof buffer);
  return result == PELKOR_OK ? buffer : "";
}

int Identify(Report &r) {
  const struct {
    const char *key;
    const char *label;
    int32_t (*get)(char *, int32_t);
  } fields[] = {{"imei", "IMEI", getimei},
                {"model", "model", getmodel},
                {"revision", "revision", getrevision},
                {"software_date", "software date", getswdate}};
  for (const auto &f : fields) {
    int32_t result;
    const std::string text = Waiting(std::string("reading the ") + f.label, [&] { return Text(f.get, result); });
    if (result != PELKOR_OK) return r.Fail(result, std::string("reading the ") + f.label);
    r.Field(f.key, text, f.label);
  }
  return r.Finish();
}

// The indicators lit on the display, from the eight "0"/"1" characters of indicators 1-8.
std::vector<int> LitIndicators(const std::string &bits) {
  std::vector<int> lit;
  for (size_t i = 0; i < bits.size() && i < 8; ++i)
    if (bits[i] == '1') lit.push_back(static_cast<int>(i) + 1);
  return lit;
}

// What the 6110 family shows by each display indicator; indicator 2 has no known meaning.
const char *IndicatorMeaning(int indicator) {
  switch (indicator) {
    case 1:
      return "call in progress";
    case 3:
      return "unread message";
    case 4:
      return "voice call";
    case 5:
      return "fax call";
    case 6:
      return "data call";
    case 7:
      return "keypad locked";
    case 8:
      return "message memory full";
    default:
      return nullptr;
  }
}

// "display indicators 2 and 5 (fax call)": every lit number, with its meaning when known.
std::string IndicatorsInWords(const std::vector<int> &lit) {
  if (lit.empty()) return "no display indicator lit";
  std::string text = lit.size() == 1 ? "display indicator " : "display indicators ";
  for (size_t i = 0; i < lit.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == lit.size() ? " and " : ", ") + std::to_string(lit[i]);
    if (const char *meaning = IndicatorMeaning(lit[i])) text += std::string(" (") + meaning + ")";
  }
  return text;
}

int Status(Report &r) {
  int32_t signal = 0, battery = 0;
  int32_t result = Waiting("reading the signal level (up to 1 s)", [&] { return getrflevel(&signal); });
  if (result != PELKOR_OK) return r.Fail(result, "reading the signal level", "1 s");
  result = Waiting("reading the battery level (up to 1 s)", [&] { return getbatterylevel(&battery); });
  if (result != PELKOR_OK) return r.Fail(result, "reading the battery level", "1 s");
  char display[16];
  result = Waiting("reading the display (up to 1 s)", [&] { return getdisplaystatus(display, sizeof display); });
  if (result != PELKOR_OK) return r.Fail(result, "reading the display", "1 s");
  r.Field("signal_percent", signal / 4, "signal %");
  r.Field("battery_percent", battery / 4, "battery %");
  const bool mains = uses_acdc_power() == 1;
  r.Json()["mains_power"] = mains;
  r.Line(std::string("power            ") + (mains ? "mains (charger)" : "battery"));
  const std::vector<int> lit = LitIndicators(display);
  r.Json()["display"] = display;
  r.Json()["indicators_on"] = lit;
  r.Line("display          " + IndicatorsInWords(lit));
  return r.Finish();
}

std::string Stamp(int y, int mo, int d, int h, int mi, int s) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  return text;
}

int ClockGet(Report &r) {
  int32_t y, mo, d, h, mi, s;
  const int32_t result =
      Waiting("reading the clock (up to 0.5 s)", [&] { return getdatetime(&y, &mo, &d, &h, &mi, &s); });
  if (result != PELKOR_OK) return r.Fail(result, "reading the clock", "0.5 s");
  r.Field("datetime", Stamp(y, mo, d, h, mi, s), "phone clock");
  return r.Finish();
}

// The time to set: "now" is read when the command runs, a given time is checked first.
std::string ClockSetProblem(const std::string &when, CalendarTime &t) {
  return when == "now" ? "" : ParseCalendarTime(when, t);
}

struct ClockSetOptions {
  std::string when;
};

int CheckClockSet(Report &r, ClockSetOptions &o) {
  CalendarTime t;
  return FailIf(r, kExitUsage, ClockSetProblem(o.when, t));
}

int ClockSet(Report &r, ClockSetOptions &o) {
  const std::string &when = o.when;
  CalendarTime t;
  if (when == "now") {
    // A phone shows local time, so "now" is the computer's local time.
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    t = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
  } else if (const std::string problem = ParseCalendarTime(when, t); !problem.empty()) {
    return FailAs(r, kExitUsage, problem);
  }
  const int32_t result = Waiting("setting the clock (up to 2 s)",
                                 [&] { return setdatetime(t.year, t.month, t.day, t.hour, t.minute, t.second); });
  if (result != PELKOR_OK) return r.Fail(result, "setting the clock", "2 s");
  // The phone takes the minute; its seconds start again from 0. A time given with
  // seconds is told so rather than left to look exact.
  r.Field("datetime", Stamp(t.year, t.month, t.day, t.hour, t.minute, 0), "clock set to");
  if (when != "now" && t.second != 0) {
    r.Json()["seconds_dropped"] = t.second;
    r.Line("note: the phone takes hours and minutes only; the " + std::to_string(t.second) +
           " seconds were dropped and its minute starts at :00");
  }
  return r.Finish();
}

int AlarmGet(Report &r) {
  int32_t on, h, m;
  const int32_t result = Waiting("reading the alarm (up to 0.5 s)", [&] { return getalarm(&on, &h, &m); });
  if (result != PELKOR_OK) return r.Fail(result, "reading the alarm", "0.5 s");
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", h, m);
  r.Json()["time"] = text;
  r.Json()["enabled"] = on == 1;
  r.Line(std::string("alarm            ") + text + (on == 1 ? ", switched on" : ", switched off"));
  return r.Finish();
}

// The library sets only switched-on alarms and has no call that switches one off, so
// "off" reads the alarm: an alarm already off is left so; one that is on is reported as
// staying on, never as switched off.
int AlarmOff(Report &r) {
  int32_t on = 0, h = 0, m = 0;
  const int32_t result = Waiting("reading the alarm (up to 0.5 s)", [&] { return getalarm(&on, &h, &m); });
  if (result != PELKOR_OK) return r.Fail(result, "reading the alarm", "0.5 s");
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", h, m);
  if (on != 1) {
    r.Json()["time"] = text;
    r.Json()["enabled"] = false;
    r.Line(std::string("alarm            ") + text + ", switched off already");
    return r.Finish();
  }
  return FailAs(r, kExitRefused,
                std::string("the alarm at ") + text +
                    " stays switched on: over the cable this phone's alarm can be set, not switched off; "
                    "switch it off in the phone's alarm menu");
}

bool IsOff(const std::string &when) { return when == "off" || when == "OFF" || when == "Off"; }

struct AlarmSetOptions {
  std::string time;
};

// "off" goes to the phone, which says whether the alarm stays on; a time is checked first.
int CheckAlarmSet(Report &r, AlarmSetOptions &o) {
  if (IsOff(o.time)) return kExitOk;
  int h = 0, m = 0;
  const std::string problem = ParseClockTime(o.time, h, m);
  return problem.empty() ? kExitOk : FailAs(r, kExitUsage, "the alarm: " + problem);
}

int AlarmSet(Report &r, AlarmSetOptions &o) {
  const std::string &when = o.time;
  if (IsOff(when)) return AlarmOff(r);
  int h = 0, m = 0;
  if (const std::string problem = ParseClockTime(when, h, m); !problem.empty())
    return FailAs(r, kExitUsage, "the alarm: " + problem);
  const int32_t result = Waiting("setting the alarm (up to 2 s)", [&] { return setalarm(h, m); });
  if (result != PELKOR_OK) return r.Fail(result, "setting the alarm", "2 s");
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", h, m);
  r.Field("time", text, "alarm set to");
  r.Json()["enabled"] = true;
  return r.Finish();
}

struct DialOptions {
  std::string number;
};

int CheckDial(Report &r, DialOptions &o) { return FailIf(r, kExitUsage, CheckDialNumber(o.number)); }

int Dial(Report &r, DialOptions &o) {
  const int32_t result = dialvoice(o.number.c_str());
  if (result != PELKOR_OK) return r.Fail(result, "dialling " + o.number);
  r.Field("dialled", o.number);
  return r.Finish();
}

int HangUp(Report &r) {
  hangup();
  r.Json()["hangup"] = true;
  r.Line("asked the phone to end the call");
  return r.Finish();
}

struct DtmfOptions {
  std::string digits;
};

int CheckDtmfDigits(Report &r, DtmfOptions &o) { return FailIf(r, kExitUsage, CheckDtmf(o.digits)); }

int Dtmf(Report &r, DtmfOptions &o) {
  const int32_t result = send_dtmf(o.digits.c_str());
  if (result != PELKOR_OK) return r.Fail(result, "sending DTMF");
  r.Field("dtmf", o.digits, "sent DTMF");
  return r.Finish();
}

int Beep(Report &r) {
  gsmbeep(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  gsmbeep(0);
  r.Json()["beep"] = true;
  r.Line("the phone beeped");
  return r.Finish();
}

struct ToneOptions {
  int frequency = 1000, duration = 500, volume = 4;
};

int CheckTone(Report &r, ToneOptions &o) {
  for (const std::string &problem :
       {CheckRange("the frequency", o.frequency, 20, 20000, "Hz"),
        CheckRange("the duration", o.duration, 1, 60000, "ms"), CheckRange("the volume", o.volume, 0, 255)})
    if (!problem.empty()) return FailAs(r, kExitUsage, problem);
  return kExitOk;
}

int Tone(Report &r, ToneOptions &o) {
  play_tone(o.volume, o.frequency, o.duration);
  // "played", not "tone": in the tool's JSON a tone is a ringtone.
  r.Json()["played"] = {{"frequency", o.frequency}, {"ms", o.duration}, {"volume", o.volume}};
  r.Line("played " + std::to_string(o.frequency) + " Hz for " + std::to_string(o.duration) + " ms at volume " +
         std::to_string(o.volume));
  return r.Finish();
}

struct ResetOptions {
  std::string kind;
};

int Reset(Report &r, ResetOptions &o) {
  reset(o.kind.c_str());
  r.Json()["reset"] = o.kind;
  r.Line("asked the phone for a " + o.kind + " reset");
  return r.Finish();
}

int NetInfo(Report &r) {
  char code[8], area[8], cell[8];
  const int32_t result = Waiting("reading the network (up to 0.2 s)", [&] {
    return getnetworkinfo(code, sizeof code, area, sizeof area, cell, sizeof cell);
  });
  if (result != PELKOR_OK) return r.Fail(result, "reading the network", "0.2 s");
  const std::string name = NetworkName(code);
  r.Json()["network_code"] = code;
  r.Json()["network_name"] = name.empty() ? nlohmann::json() : nlohmann::json(name);
  r.Line(std::string("network          ") + code + (name.empty() ? "" : " (" + name + ")"));
  r.Field("area_code", area, "area code");
  r.Field("cell_id", cell, "cell id");
  return r.Finish();
}

struct MonitorOptions {
  std::string screen;
};

int CheckMonitor(Report &r, MonitorOptions &o) { return FailIf(r, kExitUsage, CheckMonitorScreen(o.screen)); }

int NetMonitor(Report &r, MonitorOptions &o) {
  char text[64];
  Waiting("waiting for the net monitor (up to 2 s)", [&] { return netmonitor(o.screen.c_str(), text, sizeof text); });
  r.Json()["screen"] = text;
  r.Line("screen " + o.screen + ": " + (text[0] == '\0' ? std::string("the phone showed no text") : std::string(text)));
  return r.Finish();
}

void AddClockCommands(CLI::App &app, const GlobalOptions &options) {
  AddCommands(
      AddGroup(app, "clock", "Read or set the phone's clock"), options,
      Command<>{.name = "get", .help = "Read the clock", .footer = "Example: pelkor clock get", .run = ClockGet},
      Command<ClockSetOptions>{
          .name = "set",
          .help = "Set the clock",
          .footer = "Example: pelkor clock set \"2001-03-15 12:30\"",
          .declare =
              [](CLI::App &c, ClockSetOptions &o) {
                c.add_option("time", o.when, "\"YYYY-MM-DD HH:MM\" (seconds are dropped: the phone takes none) or now")
                    ->required();
              },
          .check = CheckClockSet,
          .run = ClockSet});
}

void AddAlarmCommands(CLI::App &app, const GlobalOptions &options) {
  AddCommands(
      AddGroup(app, "alarm", "Read or set the alarm"), options,
      Command<>{.name = "get", .help = "Read the alarm", .footer = "Example: pelkor alarm get --json", .run = AlarmGet},
      Command<AlarmSetOptions>{
          .name = "set",
          .help = "Set and switch on the alarm (off: see alarm off)",
          .footer = "Example: pelkor alarm set 07:30",
          .declare = [](CLI::App &c, AlarmSetOptions &o) { c.add_option("time", o.time, "HH:MM, or off")->required(); },
          .check = CheckAlarmSet,
          .run = AlarmSet},
      Command<>{.name = "off",
                .help = "Switch the alarm off, or say that it stays on",
                .footer = "The alarm can be set over the cable but not switched off: an alarm that is on\n"
                          "is reported as staying on (exit 3), one already off as off (exit 0).\n"
                          "Example: pelkor alarm off",
                .run = AlarmOff});
}

// dial, hangup, dtmf, beep, tone and reset.
void AddCallCommands(CLI::App &app, const GlobalOptions &options) {
  AddCommands(
      app, options,
      Command<DialOptions>{
          .name = "dial",
          .help = "Dial a voice call",
          .footer = "Example: pelkor dial +4912345678",
          .declare = [](CLI::App &c,
                        DialOptions &o) { c.add_option("number", o.number, "the number to call")->required(); },
          .check = CheckDial,
          .run = Dial},
      Command<>{.name = "hangup", .help = "End the current call", .footer = "Example: pelkor hangup", .run = HangUp},
      Command<DtmfOptions>{
          .name = "dtmf",
          .help = "Send DTMF tones during a call",
          .footer = "Example: pelkor dtmf 1234#",
          .declare = [](CLI::App &c, DtmfOptions &o) { c.add_option("digits", o.digits, "0-9, *, #")->required(); },
          .check = CheckDtmfDigits,
          .run = Dtmf},
      Command<>{.name = "beep", .help = "Make the phone beep", .footer = "Example: pelkor beep", .run = Beep},
      Command<ToneOptions>{
          .name = "tone",
          .help = "Play a tone on the phone's speaker",
          .footer = "Example: pelkor tone 440 --ms 300",
          .declare =
              [](CLI::App &c, ToneOptions &o) {
                c.add_option("frequency", o.frequency, "Hz, 20-20000")->required();
                c.add_option("--ms", o.duration, "duration in milliseconds, 1-60000")->capture_default_str();
                c.add_option("--volume", o.volume, "0-255")->capture_default_str();
              },
          .check = CheckTone,
          .run = Tone},
      Command<ResetOptions>{
          .name = "reset",
          .help = "Restart the phone",
          .footer = "Example: pelkor reset soft",
          .declare =
              [](CLI::App &c, ResetOptions &o) {
                c.add_option("kind", o.kind, "soft or hard")->required()->check(CLI::IsMember({"soft", "hard"}));
              },
          .run = Reset});
}

void AddNetCommands(CLI::App &app, const GlobalOptions &options) {
  AddCommands(AddGroup(app, "net", "Network information and the net monitor"), options,
              Command<>{.name = "info",
                        .help = "Network code, location area and cell",
                        .footer = "Example: pelkor net info",
                        .run = NetInfo},
              Command<MonitorOptions>{
                  .name = "monitor",
                  .help = "Show a net monitor screen",
                  .footer = "Example: pelkor net monitor 1",
                  .declare =
                      [](CLI::App &c, MonitorOptions &o) {
                        c.add_option("screen", o.screen, "a number, next, field, devel, off or reset")->required();
                      },
                  .check = CheckMonitor,
                  .run = NetMonitor});
}

}  // namespace

void AddPhoneCommands(CLI::App &app, GlobalOptions &options) {
  AddCommands(app, options,
              Command<>{.name = "identify",
                        .help = "Show IMEI, model, revision and software date",
                        .footer = "Example: pelkor identify",
                        .run = Identify},
              Command<>{.name = "status",
                        .help = "Show signal, battery, power source and display indicators",
                        .footer = "Example: pelkor status --json",
                        .run = Status});
  AddClockCommands(app, options);
  AddAlarmCommands(app, options);
  AddCallCommands(app, options);
  AddNetCommands(app, options);
}

}  // namespace pelkor_tool
