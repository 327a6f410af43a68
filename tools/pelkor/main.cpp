// pelkor: control a phone of the 6110 family from the command line. Without --port
// (or PELKOR_PORT) every command runs against the built-in simulated phone.
#include <CLI/CLI.hpp>

#include <sstream>

#include "commands.h"
#include "exit_status.h"

namespace pelkor_tool {
int exitStatus = 0;

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

}  // namespace
}  // namespace pelkor_tool

int main(int argc, char **argv) {
  using namespace pelkor_tool;
  CLI::App app{"pelkor - control a phone of the Nokia 6110 family over FBUS"};
  app.require_subcommand(1);
  app.fallthrough();  // global options may also come after the command
  app.set_version_flag("--version", std::string("pelkor ") + PELKOR_TOOL_VERSION);
  GlobalOptions options;
  ChoosePort(options);  // PELKOR_PORT, else the simulated phone; --port overrides both
  app.add_option("--port", options.port,
                 "serial port (path, COMn, name under /dev; a trailing F starts quickly) or sim; "
                 "default: $PELKOR_PORT, else the simulated phone")
      ->each([&options](const std::string &) { options.portSource = "--port"; });
  app.add_flag("--infrared", options.infrared, "use the infrared link instead of the cable");
  app.add_flag("--json", options.json, "print results as JSON");
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

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    const int status = app.exit(e);
    return status == 0 ? kExitOk : kExitUsage;
  }
  return exitStatus;
}
