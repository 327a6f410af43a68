#include "command_table.h"

namespace pelkor_tool {

int exitStatus = 0;

namespace {

// Runs a command's check, when it has one; false (with exitStatus set) when it failed.
bool Passes(const GlobalOptions &options, const Handler &check) {
  if (!check) return true;
  Report report(options.json);
  const int status = check(report);
  if (status == kExitOk) return true;
  exitStatus = status;
  return false;
}

}  // namespace

void CheckedWithPhone(const GlobalOptions &options, const Handler &check, const Handler &body) {
  if (!Passes(options, check)) return;
  Report report(options.json);
  PhoneSession session(options);
  int status = 0;
  if (!session.Open(report, status)) {
    exitStatus = status;
    return;
  }
  exitStatus = body(report);
}

void Offline(const GlobalOptions &options, const Handler &check, const Handler &body) {
  if (!Passes(options, check)) return;
  Report report(options.json);
  exitStatus = body(report);
}

CLI::App &AddGroup(CLI::App &parent, const char *name, const char *help) {
  CLI::App *group = parent.add_subcommand(name, help);
  group->require_subcommand(1);
  return *group;
}

}  // namespace pelkor_tool
