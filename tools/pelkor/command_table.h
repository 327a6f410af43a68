#pragma once
// A command of the tool is declared as data: its name, help and footer, the struct its
// arguments are read into, a check that runs before the phone is opened, and the
// handler. AddCommands turns such rows into subcommands of CLI11.
#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <type_traits>

#include "exit_status.h"
#include "phone_session.h"

namespace pelkor_tool {

// Where a command's exit status goes; the callbacks of CLI11 cannot return one.
extern int exitStatus;

// The options of a command that has none.
struct NoOptions {};

// Whether a command opens the phone (after its check passed) or works on files alone.
enum class Uses { kPhone, kNoPhone };

template <typename Options = NoOptions>
struct Command {
  // A step of a command: the handler or the check. Commands without options take the
  // report alone.
  using Step = std::conditional_t<std::is_same_v<Options, NoOptions>, int (*)(Report &), int (*)(Report &, Options &)>;

  const char *name;
  const char *help;
  const char *footer = "";                           // notes on the command, then its "Example: ..." lines
  void (*declare)(CLI::App &, Options &) = nullptr;  // its arguments and options
  Step check = nullptr;  // runs first, without the phone; a status other than 0 ends the command
  Step run = nullptr;    // the command itself; every command has one
  Uses uses = Uses::kPhone;
};

using Handler = std::function<int(Report &)>;

// Runs `check` (when given) without a phone; only when it passes is the phone opened
// for `body`. Sets exitStatus.
void CheckedWithPhone(const GlobalOptions &options, const Handler &check, const Handler &body);

// Runs `check` (when given), then `body`, with no phone. Sets exitStatus.
void Offline(const GlobalOptions &options, const Handler &check, const Handler &body);

// A check's verdict: 0 when `problem` is empty, else `status` with the problem printed.
inline int FailIf(Report &report, int status, const std::string &problem) {
  return problem.empty() ? kExitOk : FailAs(report, status, problem);
}

// A group of commands (`sms`, `logo`, ...): one of its commands must follow its name.
CLI::App &AddGroup(CLI::App &parent, const char *name, const char *help);

// A step bound to the options it reads; empty when the command has no such step.
template <typename Options>
Handler Bound(typename Command<Options>::Step step, Options &options) {
  if (step == nullptr) return nullptr;
  if constexpr (std::is_same_v<Options, NoOptions>)
    return step;
  else
    return [step, &options](Report &r) { return step(r, options); };
}

// Adds one command to `parent`. Its options struct is made here and kept by the
// command's callback, which CLI11 keeps for as long as the application lives.
template <typename Options>
CLI::App &AddCommand(CLI::App &parent, const GlobalOptions &global, const Command<Options> &command) {
  CLI::App *app = parent.add_subcommand(command.name, command.help);
  auto options = std::make_shared<Options>();
  if (command.declare != nullptr) command.declare(*app, *options);
  if (command.footer[0] != '\0') app->footer(command.footer);
  app->callback([&global, command, options] {
    const Handler check = Bound<Options>(command.check, *options), run = Bound<Options>(command.run, *options);
    if (command.uses == Uses::kPhone)
      CheckedWithPhone(global, check, run);
    else
      Offline(global, check, run);
  });
  return *app;
}

// Adds the commands of a table to `parent`, in the order given.
template <typename... Options>
void AddCommands(CLI::App &parent, const GlobalOptions &global, const Command<Options> &...commands) {
  (AddCommand(parent, global, commands), ...);
}

}  // namespace pelkor_tool
