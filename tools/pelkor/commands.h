#pragma once
// Each family adds its commands to the application.
#include <CLI/CLI.hpp>

#include "command_table.h"
#include "phone_session.h"

namespace pelkor_tool {

void AddPhoneCommands(CLI::App &app, GlobalOptions &options);
void AddSmsCommands(CLI::App &app, GlobalOptions &options);
void AddWatchCommand(CLI::App &app, GlobalOptions &options);
void AddPhonebookCommands(CLI::App &app, GlobalOptions &options);
void AddMediaCommands(CLI::App &app, GlobalOptions &options);
void AddDemoCommand(CLI::App &app, GlobalOptions &options);

// Runs `body` with an open phone session; sets exitStatus.
template <typename Body>
void WithPhone(const GlobalOptions &options, Body body) {
  Report report(options.json);
  PhoneSession session(options);
  int status = 0;
  if (!session.Open(report, status)) {
    exitStatus = status;
    return;
  }
  exitStatus = body(report);
}

}  // namespace pelkor_tool
