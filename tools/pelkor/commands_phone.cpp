// Identity, status, clock, alarm, calls, tones, reset and network.
#include <pelkor16.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <thread>

#include "commands.h"

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
    const std::string text = Text(f.get, result);
    if (result != PELKOR_OK) return r.Fail(result, std::string("reading the ") + f.label);
    r.Field(f.key, text, f.label);
  }
  return r.Finish();
}

int Status(Report &r) {
  int32_t signal = 0, battery = 0;
  int32_t result = getrflevel(&signal);
  if (result != PELKOR_OK) return r.Fail(result, "reading the signal level", "1 s");
  result = getbatterylevel(&battery);
  if (result != PELKOR_OK) return r.Fail(result, "reading the battery level", "1 s");
  char display[16];
  result = getdisplaystatus(display, sizeof display);
  if (result != PELKOR_OK) return r.Fail(result, "reading the display", "1 s");
  r.Field("signal_percent", signal / 4, "signal %");
  r.Field("battery_percent", battery / 4, "battery %");
  r.Field("mains_power", uses_acdc_power() == 1, "mains power");
  r.Field("display", display, "indicators 1-8");
  return r.Finish();
}

std::string Stamp(int y, int mo, int d, int h, int mi, int s) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  return text;
}

int ClockGet(Report &r) {
  int32_t y, mo, d, h, mi, s;
  const int32_t result = getdatetime(&y, &mo, &d, &h, &mi, &s);
  if (result != PELKOR_OK) return r.Fail(result, "reading the clock", "0.5 s");
  r.Field("datetime", Stamp(y, mo, d, h, mi, s), "phone clock");
  return r.Finish();
}

int ClockSet(Report &r, const std::string &when) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  if (when == "now") {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    y = local.tm_year + 1900, mo = local.tm_mon + 1, d = local.tm_mday, h = local.tm_hour, mi = local.tm_min;
  } else if (std::sscanf(when.c_str(), "%d-%d-%d %d:%d", &y, &mo, &d, &h, &mi) != 5) {
    return r.FailWith(PELKOR_ERR_REFUSED, "give the time as \"YYYY-MM-DD HH:MM\" or now (code 22)");
  }
  const int32_t result = setdatetime(y, mo, d, h, mi, 0);
  if (result != PELKOR_OK) return r.Fail(result, "setting the clock", "2 s");
  r.Field("datetime", Stamp(y, mo, d, h, mi, 0), "clock set to");
  return r.Finish();
}

int AlarmGet(Report &r) {
  int32_t on, h, m;
  const int32_t result = getalarm(&on, &h, &m);
  if (result != PELKOR_OK) return r.Fail(result, "reading the alarm", "0.5 s");
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", h, m);
  r.Field("time", text, "alarm");
  r.Field("enabled", on == 1, "switched on");
  return r.Finish();
}

int AlarmSet(Report &r, const std::string &when) {
  int h = 0, m = 0;
  if (std::sscanf(when.c_str(), "%d:%d", &h, &m) != 2 || h < 0 || h > 23 || m < 0 || m > 59)
    return r.FailWith(PELKOR_ERR_REFUSED, "give the alarm time as HH:MM (code 22)");
  const int32_t result = setalarm(h, m);
  if (result != PELKOR_OK) return r.Fail(result, "setting the alarm", "2 s");
  r.Field("time", when, "alarm set to");
  return r.Finish();
}

}  // namespace

void AddPhoneCommands(CLI::App &app, GlobalOptions &options) {
  auto *identify = app.add_subcommand("identify", "Show IMEI, model, revision and software date");
  identify->footer("Example: pelkor identify");
  identify->callback([&] { WithPhone(options, Identify); });

  auto *status = app.add_subcommand("status", "Show signal, battery, power source and display indicators");
  status->footer("Example: pelkor status --json");
  status->callback([&] { WithPhone(options, Status); });

  auto *clock = app.add_subcommand("clock", "Read or set the phone's clock");
  clock->require_subcommand(1);
  auto *clockGet = clock->add_subcommand("get", "Read the clock");
  clockGet->footer("Example: pelkor clock get");
  clockGet->callback([&] { WithPhone(options, ClockGet); });
  static std::string when;
  auto *clockSet = clock->add_subcommand("set", "Set the clock");
  clockSet->add_option("time", when, "\"YYYY-MM-DD HH:MM\" or now")->required();
  clockSet->footer("Example: pelkor clock set \"2001-03-15 12:30\"");
  clockSet->callback([&] { WithPhone(options, [](Report &r) { return ClockSet(r, when); }); });

  auto *alarm = app.add_subcommand("alarm", "Read or set the alarm");
  alarm->require_subcommand(1);
  auto *alarmGet = alarm->add_subcommand("get", "Read the alarm");
  alarmGet->footer("Example: pelkor alarm get --json");
  alarmGet->callback([&] { WithPhone(options, AlarmGet); });
  static std::string alarmTime;
  auto *alarmSet = alarm->add_subcommand("set", "Set and switch on the alarm");
  alarmSet->add_option("time", alarmTime, "HH:MM")->required();
  alarmSet->footer("Example: pelkor alarm set 07:30");
  alarmSet->callback([&] { WithPhone(options, [](Report &r) { return AlarmSet(r, alarmTime); }); });

  static std::string number;
  auto *dial = app.add_subcommand("dial", "Dial a voice call");
  dial->add_option("number", number, "the number to call")->required();
  dial->footer("Example: pelkor dial +4912345678");
  dial->callback([&] {
    WithPhone(options, [](Report &r) {
      const int32_t result = dialvoice(number.c_str());
      if (result != PELKOR_OK) return r.Fail(result, "dialling " + number);
      r.Field("dialled", number);
      return r.Finish();
    });
  });

  auto *hang = app.add_subcommand("hangup", "End the current call");
  hang->footer("Example: pelkor hangup");
  hang->callback([&] {
    WithPhone(options, [](Report &r) {
      hangup();
      r.Field("hangup", true, "hung up");
      return r.Finish();
    });
  });

  static std::string digits;
  auto *dtmf = app.add_subcommand("dtmf", "Send DTMF tones during a call");
  dtmf->add_option("digits", digits, "0-9, *, #")->required();
  dtmf->footer("Example: pelkor dtmf 1234#");
  dtmf->callback([&] {
    WithPhone(options, [](Report &r) {
      const int32_t result = send_dtmf(digits.c_str());
      if (result != PELKOR_OK) return r.Fail(result, "sending DTMF");
      r.Field("dtmf", digits, "sent DTMF");
      return r.Finish();
    });
  });

  auto *beep = app.add_subcommand("beep", "Make the phone beep");
  beep->footer("Example: pelkor beep");
  beep->callback([&] {
    WithPhone(options, [](Report &r) {
      gsmbeep(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      gsmbeep(0);
      r.Field("beep", true, "beeped");
      return r.Finish();
    });
  });

  static int frequency = 1000, duration = 500, volume = 4;
  auto *tone = app.add_subcommand("tone", "Play a tone on the phone's speaker");
  tone->add_option("frequency", frequency, "Hz")->required();
  tone->add_option("--ms", duration, "duration in milliseconds")->capture_default_str();
  tone->add_option("--volume", volume, "0-255")->capture_default_str();
  tone->footer("Example: pelkor tone 440 --ms 300");
  tone->callback([&] {
    WithPhone(options, [](Report &r) {
      play_tone(volume, frequency, duration);
      r.Field("tone", {{"frequency", frequency}, {"ms", duration}}, "played");
      return r.Finish();
    });
  });

  static std::string kind;
  auto *resetCommand = app.add_subcommand("reset", "Restart the phone");
  resetCommand->add_option("kind", kind, "soft or hard")->required()->check(CLI::IsMember({"soft", "hard"}));
  resetCommand->footer("Example: pelkor reset soft");
  resetCommand->callback([&] {
    WithPhone(options, [](Report &r) {
      reset(kind.c_str());
      r.Field("reset", kind);
      return r.Finish();
    });
  });

  auto *net = app.add_subcommand("net", "Network information and the net monitor");
  net->require_subcommand(1);
  auto *info = net->add_subcommand("info", "Network code, location area and cell");
  info->footer("Example: pelkor net info");
  info->callback([&] {
    WithPhone(options, [](Report &r) {
      char code[8], area[8], cell[8];
      const int32_t result = getnetworkinfo(code, sizeof code, area, sizeof area, cell, sizeof cell);
      if (result != PELKOR_OK) return r.Fail(result, "reading the network", "0.2 s");
      r.Field("network_code", code, "network");
      r.Field("area_code", area, "area code");
      r.Field("cell_id", cell, "cell id");
      return r.Finish();
    });
  });
  static std::string screen;
  auto *monitor = net->add_subcommand("monitor", "Show a net monitor screen");
  monitor->add_option("screen", screen, "a number, next, field, devel, off or reset")->required();
  monitor->footer("Example: pelkor net monitor 1");
  monitor->callback([&] {
    WithPhone(options, [](Report &r) {
      char text[64];
      netmonitor(screen.c_str(), text, sizeof text);
      r.Field("screen", text, "screen " + screen);
      return r.Finish();
    });
  });
}

}  // namespace pelkor_tool
