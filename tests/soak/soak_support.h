#pragma once
// What the soak and the cycle test share: settings from the environment, the report
// file, and counts of the process's descriptors and threads.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace pelkor_soak {

// An integer from the environment; `fallback` when unset or not a number.
int64_t EnvInteger(const char *name, int64_t fallback);
std::optional<uint64_t> EnvUnsigned(const char *name);
std::string EnvText(const char *name);

// Where the figures go: --report=PATH on the command line, else the variable `env`;
// empty when neither names a file.
std::string ReportPath(const char *env);
// Writes the JSON (indented) to the report path, if any; false when it cannot be written.
bool WriteReport(const char *env, const nlohmann::json &figures);

// Open descriptors and threads of this process, read from /proc/self; -1 when /proc
// cannot be read. The descriptor that reads the directory is not counted.
int CountOpenDescriptors();
int CountThreads();
// What each open descriptor refers to ("/dev/pts/3", "anon_inode:[eventfd]", ...).
std::vector<std::string> DescriptorTargets();

// Seconds since the epoch, local time, as "YYYY-MM-DD HH:MM:SS" (for the report).
std::string LocalTimeStamp();

}  // namespace pelkor_soak
