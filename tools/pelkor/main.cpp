// pelkor: control a phone of the 6110 family from the command line. Without --port
// (or PELKOR_PORT) every command runs against the built-in simulated phone.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <ios>
#include <sstream>
#include <vector>

#include "command_table.h"
#include "commands.h"
#include "exit_status.h"

namespace pelkor_tool {
namespace {

// A group of commands (sms, logo, ...) that has no footer of its own lists the examples
// of its commands, so that `pelkor GROUP --help` shows how each is used.
void GatherExamples(CLI::App &group) {
  std::string examples;
  for (CLI::App *command : group.get_subcommands({})) {
    GatherExamples(*command);
    std::stringstream footer(command->get_footer());
    for (std::string line; std::getline(footer, line);) {
      if (line.rfind("Example: ", 0) == 0)
        examples += "  " + line.substr(9) + "\n";
      else if (line.rfind("  pelkor ", 0) == 0)
        examples += line + "\n";
    }
  }
  if (!examples.empty() && group.get_footer().empty() && group.get_parent() != nullptr) {
    examples.pop_back();
    group.footer("Examples:\n" + examples);
  }
}

// The command a command line names: its first word that is neither an option nor the
// value of a global option; empty when there is none.
std::string NamedCommand(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--") return i + 1 < argc ? argv[i + 1] : "";
    if (word == "--port" || word == "--sim-state" || word == "--trace") {
      ++i;  // its value follows
      continue;
    }
    if (!word.empty() && word[0] == '-') continue;
    return word;
  }
  return "";
}

bool IsCommand(CLI::App &app, const std::string &name) {
  for (const CLI::App *command : app.get_subcommands({}))
    if (command->check_name(name)) return true;
  return false;
}

std::string CommandList(CLI::App &app) {
  std::string list;
  for (const CLI::App *command : app.get_subcommands({})) list += (list.empty() ? "" : ", ") + command->get_name();
  return list;
}

// The options that go with every command, and every command.
void Declare(CLI::App &app, GlobalOptions &options) {
  app.require_subcommand(1);
  app.fallthrough();  // global options may also come after the command
  app.set_version_flag("--version", std::string("pelkor ") + PELKOR_TOOL_VERSION);
  ChoosePort(options);  // PELKOR_PORT, else the simulated phone; --port overrides both
  app.add_option("--port", options.port,
                 "serial port (path, COMn, name under /dev; a trailing F starts quickly) or sim; "
                 "default: $PELKOR_PORT, else the simulated phone")
      ->each([&options](const std::string &) { options.portSource = "--port"; });
  app.add_flag("--infrared", options.infrared, "use the infrared link instead of the cable");
  app.add_flag("--json", options.json, "print results as one JSON object (watch: one a line); see docs/json.md");
  app.add_option("--sim-state", options.simState, "JSON state for the simulated phone");
  app.add_option("--trace", options.trace, "append every frame on the wire, time-stamped, to this file");
  AddDemoCommand(app, options);
  AddPhoneCommands(app, options);
  AddSmsCommands(app, options);
  AddWatchCommand(app, options);
  AddPhonebookCommands(app, options);
  AddMediaCommands(app, options);
  GatherExamples(app);
  // The tool's own footer is set last: subcommands made after it would inherit it.
  app.footer(
      "Without --port (or PELKOR_PORT) the command talks to a simulated phone started for it.\n"
      "Examples:\n"
      "  pelkor demo\n"
      "  pelkor --port /dev/ttyUSB0 identify\n"
      "  PELKOR_PORT=COM1 pelkor --infrared status --json\n"
      "  pelkor sms --help\n\n" +
      ExitStatusTable());
}

// Parses the command line, which runs the command it names; returns its exit status.
int Run(CLI::App &app, const GlobalOptions &options, bool json, int argc, char **argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    // --help and --version end as parse "errors" of status 0: their text is the answer.
    if (e.get_exit_code() == 0 || !json) return app.exit(e) == 0 ? kExitOk : kExitUsage;
    Report report(true);
    return FailAs(report, kExitUsage, std::string(e.what()) + " (pelkor --help)");
  } catch (const std::exception &e) {
    // The last resort: whatever a command did not foresee ends as a message and a status
    // of the table, never as an abort. Files that cannot be read are bad input.
    const bool file = dynamic_cast<const std::ios_base::failure *>(&e) != nullptr ||
                      dynamic_cast<const std::filesystem::filesystem_error *>(&e) != nullptr;
    Report report(options.json);
    return FailAs(report, file ? kExitBadInput : kExitRefused, std::string("unexpected failure: ") + e.what());
  }
  return exitStatus;
}

}  // namespace
}  // namespace pelkor_tool

int main(int argc, char **argv) {
  using namespace pelkor_tool;
  CLI::App app{"pelkor - control a phone of the Nokia 6110 family over FBUS"};
  GlobalOptions options;
  Declare(app, options);

  // A first word that names no command is said to be one, with the list of those there are.
  // Before the command line is parsed, --json is looked for by hand: errors in the
  // command line are JSON too when it asks for JSON.
  bool json = false;
  for (int i = 1; i < argc; ++i) json = json || std::string(argv[i]) == "--json";
  const std::string named = NamedCommand(argc, argv);
  if (!named.empty() && !IsCommand(app, named)) {
    Report report(json);
    return FailAs(report, kExitUsage,
                  "unknown command " + named + "; the commands are " + CommandList(app) + " (pelkor --help)");
  }
  return Run(app, options, json, argc, argv);
}
