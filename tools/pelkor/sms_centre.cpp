#include "sms_centre.h"

#include <pelkor16.h>

#include "command_table.h"
#include "exit_status.h"
#include "progress.h"

namespace pelkor_tool {
namespace {

constexpr int32_t kHighestCentreIndex = 99;
constexpr size_t kLongestCentreNumber = 20;  // digits a centre address holds

bool AllDigits(const std::string &text, size_t from) {
  if (from >= text.size()) return false;
  for (size_t i = from; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

}  // namespace

std::string ParseCentreChoice(const std::string &text, CentreChoice &choice) {
  const std::string form = "give --centre as a centre index of the phone (1-" + std::to_string(kHighestCentreIndex) +
                           ") or as the centre's number (+ and digits, e.g. +491710760000), not \"" + text + "\"";
  const bool plus = !text.empty() && text[0] == '+';
  if (!AllDigits(text, plus ? 1 : 0)) return form;
  const size_t digits = text.size() - (plus ? 1 : 0);
  // One or two digits are an index: no centre's number is that short.
  if (!plus && digits <= 2) {
    const int32_t index = std::stoi(text);
    if (index < 1) return "there is no message centre 0: the phone's centres count from 1";
    choice = {index, ""};
    return "";
  }
  if (digits < 3) return form;
  if (digits > kLongestCentreNumber)
    return "the centre's number has " + std::to_string(digits) + " digits; at most " +
           std::to_string(kLongestCentreNumber) + " fit";
  choice = {0, text};
  return "";
}

int32_t UseCentre(const CentreChoice &choice) {
  if (choice.index != 0) return choice.index;
  setsmsmessagecenter(0, choice.number.c_str());
  return 0;
}

void AddCentreOption(CLI::App &send, CentreChoice &choice) {
  send.add_option_function<std::string>(
          "--centre",
          [&choice](const std::string &text) {
            if (const std::string problem = ParseCentreChoice(text, choice); !problem.empty())
              throw CLI::ValidationError("--centre", problem);
          },
          "the message centre: the phone's centre set N (default 1) or the centre's number")
      ->type_name("N|NUMBER");
}

namespace {

// The phone's centres cannot be changed over the cable; an old `centre set` says so.
struct GoneOptions {
  std::vector<std::string> arguments;
};

int CentreSetIsGone(Report &r, GoneOptions &) {
  return FailAs(r, kExitUsage,
                "sms centre set is gone: the phone's centres cannot be changed over the cable; choose one "
                "per send with sms send --centre N or --centre NUMBER");
}

struct CentreGetOptions {
  int32_t index = 1;
};

int CheckCentreIndex(Report &r, CentreGetOptions &o) {
  if (o.index >= 1 && o.index <= kHighestCentreIndex) return kExitOk;
  return FailAs(r, kExitUsage,
                "the centre index " + std::to_string(o.index) + " is not 1-" + std::to_string(kHighestCentreIndex));
}

int CentreGet(Report &r, CentreGetOptions &o) {
  const int32_t index = o.index;
  char number[64] = {};
  Waiting("reading message centre " + std::to_string(index) + " (up to 1 s)", [&] {
    setsmsmessagecenter(index, "");
    return getsmsmessagecenter(number, sizeof number);
  });
  if (number[0] == '\0')
    return FailAs(r, kExitNotFound,
                  "the phone has no message centre " + std::to_string(index) + " (or did not answer in 1 s)");
  r.Field("index", index);
  r.Field("number", number);
  return r.Finish();
}

}  // namespace

void AddCentreCommand(CLI::App &group, const GlobalOptions &options) {
  AddCommands(AddGroup(group, "centre", "The phone's message centres"), options,
              Command<GoneOptions>{.name = "set",
                                   .help = "",
                                   .declare =
                                       [](CLI::App &c, GoneOptions &o) {
                                         c.group("");  // not listed
                                         c.add_option("arguments", o.arguments);
                                       },
                                   .run = CentreSetIsGone,
                                   .uses = Uses::kNoPhone},
              Command<CentreGetOptions>{
                  .name = "get",
                  .help = "Show the number of one of the phone's message centres",
                  .footer = "A send uses centre 1 unless sms send is given --centre N or --centre NUMBER.\n"
                            "Examples:\n  pelkor sms centre get\n  pelkor sms centre get 2",
                  .declare =
                      [](CLI::App &c, CentreGetOptions &o) {
                        c.add_option("index", o.index, "the centre set, 1 and up (default 1)")->capture_default_str();
                      },
                  .check = CheckCentreIndex,
                  .run = CentreGet});
}

}  // namespace pelkor_tool
