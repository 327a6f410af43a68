#pragma once
// Each family adds its commands to the application.
#include <CLI/CLI.hpp>

#include "phone_session.h"

namespace pelkor_tool {

void AddPhoneCommands(CLI::App &app, GlobalOptions &options);
void AddSmsCommands(CLI::App &app, GlobalOptions &options);
void AddWatchCommand(CLI::App &app, GlobalOptions &options);
void AddPhonebookCommands(CLI::App &app, GlobalOptions &options);
void AddMediaCommands(CLI::App &app, GlobalOptions &options);
void AddDemoCommand(CLI::App &app, GlobalOptions &options);

}  // namespace pelkor_tool
