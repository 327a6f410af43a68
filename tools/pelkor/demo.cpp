// `pelkor demo`: a guided tour of the library against the simulated phone.
#include <pelkor16.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include <unistd.h>

#include "command_table.h"
#include "commands.h"
#include "exit_status.h"
#include "install_paths.h"
#include "logo_image.h"
#include "network_names.h"
#include "ringtone_render.h"
#include "simulated_phone.h"
#include "terminal_text.h"

namespace pelkor_tool {
namespace {

// What the tour says: printed as it goes, or with --json gathered into one object of
// steps, each with its title and lines, printed at the end.
class Tour {
 public:
  explicit Tour(bool json) : json_(json) {}
  void Step(const char *title) {
    if (!json_) {
      std::printf("\n== %s\n", title);
      return;
    }
    steps_.push_back({{"title", title}, {"lines", nlohmann::json::array()}});
  }
  __attribute__((format(printf, 2, 3))) void Say(const char *format, ...) {
    va_list args;
    va_start(args, format);
    if (!json_) {
      std::vprintf(format, args);
      va_end(args);
      return;
    }
    char buffer[4096];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (steps_.empty()) Step("");
    pending_ += buffer;
    for (size_t end; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1)) {
      std::string line = pending_.substr(0, end);
      if (line.rfind("  ", 0) == 0) line.erase(0, 2);  // the text's indent under its title
      if (!line.empty()) steps_.back()["lines"].push_back(line);
    }
  }
  // Ends the tour: 0, or with the failure as the JSON error object (text mode has said it).
  int Finish(int status, const std::string &failure = "") {
    if (!json_) {
      if (!failure.empty()) std::fprintf(stderr, "pelkor: %s\n", ForTerminal(failure).c_str());
      return status;
    }
    nlohmann::json out = {{"steps", steps_}};
    if (!failure.empty()) out["error"] = {{"status", status}, {"message", failure}};
    std::printf("%s\n", JsonText(out, 2).c_str());
    return status;
  }

 private:
  bool json_;
  nlohmann::json steps_ = nlohmann::json::array();
  std::string pending_;
};

const char *Outcome(int32_t result) {
  switch (result) {
    case PELKOR_OK:
      return "ok";
    case PELKOR_NOT_FOUND:
      return "no session or nothing found (code -1)";
    case PELKOR_ERR_TIMEOUT:
      return "no answer from the phone in time (code 4)";
    case PELKOR_ERR_IDENTITY_UNKNOWN:
      return "the phone did not tell (code 5)";
    case PELKOR_ERR_SETTING_REFUSED:
      return "the phone refused the setting (code 13)";
    case PELKOR_ERR_REFUSED:
      return "refused (code 22)";
    default:
      return "failed";
  }
}

void ShowText(Tour &tour, const char *label, int32_t (*get)(char *, int32_t)) {
  char text[64];
  const int32_t result = get(text, sizeof text);
  tour.Say("  %-16s %s\n", label, result == PELKOR_OK ? ForTerminal(text).c_str() : Outcome(result));
}

void TourIdentity(Tour &tour) {
  tour.Step("Who is the phone");
  ShowText(tour, "IMEI", getimei);
  ShowText(tour, "model", getmodel);
  ShowText(tour, "revision", getrevision);
  ShowText(tour, "software date", getswdate);
}

void TourStatus(Tour &tour) {
  tour.Step("How is the phone");
  int32_t signal = 0, battery = 0;
  getrflevel(&signal);
  getbatterylevel(&battery);
  char display[16];
  getdisplaystatus(display, sizeof display);
  std::string lit;
  for (int i = 0; i < 8 && display[i] != '\0'; ++i)
    if (display[i] == '1') lit += (lit.empty() ? "" : ", ") + std::to_string(i + 1);
  tour.Say("  signal %d%%  battery %d%%  on %s  display indicators on: %s\n", signal / 4, battery / 4,
           uses_acdc_power() ? "mains" : "battery", lit.empty() ? "none" : lit.c_str());
}

void TourClock(Tour &tour) {
  tour.Step("Clock");
  // A phone shows local time, as `pelkor clock set now` sets it.
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const int32_t set =
      setdatetime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  int32_t y, mo, d, h, mi, s;
  const int32_t got = getdatetime(&y, &mo, &d, &h, &mi, &s);
  tour.Say("  set to the computer's local time: %s; the phone now reads %04d-%02d-%02d %02d:%02d:%02d (%s)\n",
           Outcome(set), y, mo, d, h, mi, s, Outcome(got));
}

void TourNetwork(Tour &tour) {
  tour.Step("Network");
  char code[8], area[8], cell[8], screen[64];
  const int32_t net = getnetworkinfo(code, sizeof code, area, sizeof area, cell, sizeof cell);
  const std::string operatorName = NetworkName(code);
  tour.Say("  network %s%s, area %s, cell %s (%s)\n", ForTerminal(code).c_str(),
           operatorName.empty() ? "" : (" (" + operatorName + ")").c_str(), ForTerminal(area).c_str(),
           ForTerminal(cell).c_str(), Outcome(net));
  netmonitor("field", screen, sizeof screen);
  tour.Say("  net monitor, field screen: \"%s\"\n", ForTerminal(screen).c_str());
}

void TourSms(Tour &tour) {
  tour.Step("Sending a long SMS (split into concatenated parts)");
  const std::string longText =
      "Greetings from pelkor16! This message is longer than one SMS can carry, so the library "
      "splits it into parts with a concatenation header, and the phone puts them together again "
      "on the other side. Every part goes out as its own submit request.";
  const int32_t sent = sendsms("+4917012345678", longText.c_str(), 1, 0xFFFF);
  tour.Say("  %zu characters to +4917012345678: %s\n", longText.size(), Outcome(sent));

  tour.Step("Reading the message store");
  const int32_t scan = updatesmslist();
  tour.Say("  %s; inbox %d, sent %d, status reports %d\n",
           // The scan ends at the first location that holds nothing (8), or when the
           // list is full (0); anything else cut it short.
           scan == PELKOR_ERR_SMS_READ ? "read the whole message store"
           : scan == PELKOR_OK         ? "read the store until the list was full"
                                       : ("the scan stopped early: " + Describe(scan)).c_str(),
           getsmsmsgcount(13), getsmsmsgcount(11), getsmsmsgcount(12));
  for (int32_t n = 1; n <= getsmsmsgcount(13) && n <= 3; ++n) {
    char from[32], text[200];
    getsmsmsgdata(13, n, 2, from, sizeof from);
    getsmsmsgdata(13, n, 1, text, sizeof text);
    text[60] = '\0';
    tour.Say("  inbox %d from %s: %s\n", n, ForTerminal(from).c_str(), ForTerminal(text).c_str());
  }
}

void TourPhonebook(Tour &tour) {
  tour.Step("Phonebook");
  char name[48], number[48];
  int32_t group = 0;
  const int32_t read = getphonebookentry(1, 1, name, sizeof name, number, sizeof number, &group);
  tour.Say("  SIM entry 1: %s %s (%s)\n", ForTerminal(name).c_str(), ForTerminal(number).c_str(), Outcome(read));
}

void TourLogo(Tour &tour, const std::string &examplesDir) {
  tour.Step("Logo from a file, uploaded");
  const std::string logoFile = examplesDir + "/logos/operator.nol";
  if (logo_readfile(logoFile.c_str()) != PELKOR_OK) {
    tour.Say("  cannot read %s\n", logoFile.c_str());
    return;
  }
  char code[8];
  int32_t kind, width, height;
  logo_getdata(&kind, &width, &height, code, sizeof code);
  tour.Say("  %s: operator logo %dx%d for network %s\n", logoFile.c_str(), width, height, ForTerminal(code).c_str());
  tour.Say("%s", LogoAsBlocks().c_str());
  tour.Say("  logo_upload -> %s\n", Outcome(logo_upload()));
}

// Renders the loaded ringtone into a folder of its own under the system's temporary
// directory: no fixed name that another user or an earlier run may hold.
void TourWav(Tour &tour, bool keep) {
  const char *tmp = std::getenv("TMPDIR");
  std::string folder = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/pelkor-demo-XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr) {
    tour.Say("  cannot make a temporary folder for the WAV file\n");
    return;
  }
  const std::string wav = folder + "/ode_to_joy.wav";
  std::string error;
  const int32_t ms = RenderRingtone(wav, error);
  if (ms < 0) {
    tour.Say("  rendering it to WAV failed: %s\n", error.c_str());
  } else if (keep) {
    tour.Say("  rendered %d ms of it to %s (kept: --keep)\n", ms, wav.c_str());
  } else {
    tour.Say("  rendered %d ms of it to a WAV file; keep it with --keep\n", ms);
  }
  if (!keep || ms < 0) {
    std::remove(wav.c_str());
    ::rmdir(folder.c_str());
  }
}

void TourRingtone(Tour &tour, const std::string &examplesDir, bool keep) {
  tour.Step("Ringtone from a file, uploaded and rendered to WAV");
  const std::string tune = examplesDir + "/ode_to_joy.rtttl";
  if (ringtone_readfile(tune.c_str()) != PELKOR_OK) {
    tour.Say("  cannot read %s\n", tune.c_str());
    return;
  }
  char name[32];
  ringtone_getname(name, sizeof name);
  tour.Say("  %s: \"%s\", %d notes at %d beats per minute\n", tune.c_str(), ForTerminal(name).c_str(),
           ringtone_getnotes(), ringtone_gettempo());
  tour.Say("  ringtone_upload -> %s\n", Outcome(ringtone_upload(1)));
  TourWav(tour, keep);
}

void TourClose(Tour &tour, SimulatedPhone &phone) {
  tour.Step("Closing the link (terminate)");
  const int32_t closed = terminate();
  tour.Say("  terminate -> %d; isalive -> %d\n", closed, isalive());
  const nlohmann::json state = phone.Stop();
  if (!state.is_object()) return;
  const nlohmann::json sms = state.value("sms", nlohmann::json::object());
  tour.Say("  the simulated phone played %zu tones and sent %zu SMS parts for us\n",
           state.value("tones", nlohmann::json::array()).size(), sms.value("sent", nlohmann::json::array()).size());
  const nlohmann::json ringtone = state.value("ringtone", nlohmann::json::object());
  if (ringtone.contains("tone"))
    tour.Say("  its ringtone is now \"%s\" with %zu notes\n", ringtone["tone"].value("name", "").c_str(),
             ringtone["tone"].value("notes", nlohmann::json::array()).size());
}

struct DemoOptions {
  std::string examples = ExamplesDirectory();
  bool keep = false;
};

int RunDemo(Report &r, DemoOptions &o) {
  Tour tour(r.json());
  SimulatedPhone phone;
  tour.Step("Starting the simulated phone");
  if (!phone.Start(o.examples + "/phone-state.json")) return tour.Finish(kExitNoPort, phone.error());
  tour.Say("  phonesim is listening on %s\n", phone.device().c_str());

  tour.Step("Opening the link (init)");
  const auto started = std::chrono::steady_clock::now();
  const int32_t opened = init(phone.device().c_str(), PELKOR_CONNECTION_CABLE);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  const int32_t alive = isalive();
  tour.Say("  init -> %d (%s) after %lld ms; isalive -> %d\n", opened, Outcome(opened),
           static_cast<long long>(took.count()), alive);
  if (opened != PELKOR_OK) return tour.Finish(kExitNoPort, std::string("init: ") + Outcome(opened));

  TourIdentity(tour);
  TourStatus(tour);
  TourClock(tour);
  TourNetwork(tour);
  TourSms(tour);
  TourPhonebook(tour);
  TourLogo(tour, o.examples);
  TourRingtone(tour, o.examples, o.keep);
  TourClose(tour, phone);
  tour.Say("\nDone.\n");
  return tour.Finish(kExitOk);
}

}  // namespace

void AddDemoCommand(CLI::App &app, GlobalOptions &options) {
  AddCommands(
      app, options,
      Command<DemoOptions>{
          .name = "demo",
          .help = "A guided tour of the library against the simulated phone",
          .footer = "Example: pelkor demo --keep",
          .declare =
              [](CLI::App &c, DemoOptions &o) {
                c.add_option("--examples", o.examples, "folder of example ringtones and logos")->capture_default_str();
                c.add_flag("--keep", o.keep,
                           "keep the WAV file it renders (in a /tmp/pelkor-demo-* folder) and say where");
              },
          .run = RunDemo,
          .uses = Uses::kNoPhone});
}

}  // namespace pelkor_tool
