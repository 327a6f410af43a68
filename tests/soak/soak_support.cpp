#include "soak_support.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

namespace pelkor_soak {
namespace {

std::string reportArgument;  // from --report=PATH

int CountEntries(const char *directory) {
  DIR *dir = opendir(directory);
  if (dir == nullptr) return -1;
  int count = 0;
  const int own = dirfd(dir);
  while (const dirent *entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    if (own >= 0 && std::atoi(entry->d_name) == own && std::strcmp(directory, "/proc/self/fd") == 0) continue;
    ++count;
  }
  closedir(dir);
  return count;
}

}  // namespace

int64_t EnvInteger(const char *name, int64_t fallback) {
  const char *text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char *end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0') return fallback;
  return value;
}

std::optional<uint64_t> EnvUnsigned(const char *name) {
  const char *text = std::getenv(name);
  if (text == nullptr || *text == '\0') return std::nullopt;
  char *end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0') return std::nullopt;
  return value;
}

std::string EnvText(const char *name) {
  const char *text = std::getenv(name);
  return text == nullptr ? std::string() : std::string(text);
}

std::string ReportPath(const char *env) {
  if (!reportArgument.empty()) return reportArgument;
  return EnvText(env);
}

bool WriteReport(const char *env, const nlohmann::json &figures) {
  const std::string path = ReportPath(env);
  if (path.empty()) return true;
  std::ofstream out(path, std::ios::trunc);
  if (!out) return false;
  out << figures.dump(2) << '\n';
  return static_cast<bool>(out);
}

int CountOpenDescriptors() { return CountEntries("/proc/self/fd"); }

std::vector<std::string> DescriptorTargets() {
  std::vector<std::string> targets;
  DIR *dir = opendir("/proc/self/fd");
  if (dir == nullptr) return targets;
  const int own = dirfd(dir);
  while (const dirent *entry = readdir(dir)) {
    if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own) continue;
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    char target[256];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    targets.push_back(n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string("?"));
  }
  closedir(dir);
  std::sort(targets.begin(), targets.end());
  return targets;
}
int CountThreads() { return CountEntries("/proc/self/task"); }

std::string LocalTimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace pelkor_soak

// GoogleTest's flags, plus --report=PATH for the figures.
int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.rfind("--report=", 0) == 0) pelkor_soak::reportArgument = argument.substr(9);
  }
  return RUN_ALL_TESTS();
}
