// Log lines on stderr. Under systemd (JOURNAL_STREAM set) each line starts with its
// syslog priority, "<3>" and so on, which journald reads as the level.
#pragma once

#include <string>

namespace smsd {

enum class Level { error = 3, warning = 4, info = 6, debug = 7 };

// false for an unknown name.
bool SetLogLevel(const std::string &name);
void Log(Level level, const std::string &message);

}  // namespace smsd
