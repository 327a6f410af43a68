#include "log.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace smsd {
namespace {

Level threshold = Level::info;
std::mutex logMutex;

const char *Name(Level level) {
  switch (level) {
    case Level::error:
      return "error";
    case Level::warning:
      return "warning";
    case Level::info:
      return "info";
    case Level::debug:
      return "debug";
  }
  return "";
}

}  // namespace

bool SetLogLevel(const std::string &name) {
  for (Level level : {Level::error, Level::warning, Level::info, Level::debug})
    if (name == Name(level)) {
      threshold = level;
      return true;
    }
  return false;
}

void Log(Level level, const std::string &message) {
  if (static_cast<int>(level) > static_cast<int>(threshold)) return;
  static const bool journal = std::getenv("JOURNAL_STREAM") != nullptr;
  std::lock_guard lock(logMutex);
  if (journal)
    std::fprintf(stderr, "<%d>%s\n", static_cast<int>(level), message.c_str());
  else
    std::fprintf(stderr, "pelkor-smsd: %s: %s\n", Name(level), message.c_str());
  std::fflush(stderr);
}

}  // namespace smsd
