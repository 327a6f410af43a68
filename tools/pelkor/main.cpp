// pelkor: control a phone of the 6110 family from the command line. Without --port
// every command runs against the built-in simulated phone.
#include <CLI/CLI.hpp>

#include "commands.h"

namespace pelkor_tool {
int exitStatus = 0;
}

int main(int argc, char **argv) {
  using namespace pelkor_tool;
  CLI::App app{"pelkor - control a phone of the Nokia 6110 family over FBUS"};
  app.footer(
      "Without --port the command talks to a simulated phone started for it.\n"
      "Examples:\n"
      "  pelkor demo\n"
      "  pelkor --port /dev/ttyUSB0 identify\n"
      "  pelkor --port COM1 --infrared status --json");
  app.require_subcommand(1);
  app.fallthrough();  // global options may also come after the command
  GlobalOptions options;
  app.add_option("--port", options.port, "serial port (path, COMn, name under /dev) or sim")
      ->capture_default_str();
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
  CLI11_PARSE(app, argc, argv);
  return exitStatus;
}
