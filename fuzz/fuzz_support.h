#pragma once
// What the fuzz targets share: checks that abort with a message (libFuzzer then keeps
// the input as a crash), a scratch directory of the process's own for the files the
// file targets read and write, and the FBUS framing the seeds and harnesses need.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace fuzzing {

inline void RemoveScratchDirectory();

[[noreturn]] inline void CheckFailed(const char *file, int line, const char *condition) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
  std::fflush(stderr);
  RemoveScratchDirectory();  // libFuzzer ends the process without running exit handlers
  std::abort();
}

}  // namespace fuzzing

// Unlike assert(), active in every build type.
#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::fuzzing::CheckFailed(__FILE__, __LINE__, #condition))

// The same with a printf-style explanation written first.
#define FUZZ_CHECK_MSG(condition, ...)                        \
  do {                                                        \
    if (!(condition)) {                                       \
      std::fprintf(stderr, __VA_ARGS__);                      \
      std::fputc('\n', stderr);                               \
      ::fuzzing::CheckFailed(__FILE__, __LINE__, #condition); \
    }                                                         \
  } while (0)

namespace fuzzing {

// Where scratch directories go: PELKOR_FUZZ_SCRATCH when set, else /dev/shm where there
// is one (files are written and truncated for every input, and on a disk mounted with
// discard that costs milliseconds each), else TMPDIR, else /tmp.
inline std::string ScratchBase() {
  const char *named = std::getenv("PELKOR_FUZZ_SCRATCH");
  if (named != nullptr && named[0] != '\0') return named;
  std::error_code error;
  if (std::filesystem::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0) return "/dev/shm";
  const char *temporary = std::getenv("TMPDIR");
  return temporary != nullptr && temporary[0] != '\0' ? temporary : "/tmp";
}

// Directory names are pelkor-fuzz-<pid>-XXXXXX. A process that dies of a finding cannot
// remove its own, so each new one removes those whose process is gone.
inline void RemoveDirectoriesOfEndedProcesses(const std::string &base) {
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(base, error)) {
    const std::string name = entry.path().filename().string();
    const std::string prefix = "pelkor-fuzz-";
    if (name.rfind(prefix, 0) != 0 || !entry.is_directory(error)) continue;
    const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
      std::filesystem::remove_all(entry.path(), error);
  }
}

inline std::string &ScratchDirectoryName() {
  static std::string name;
  return name;
}

inline void RemoveScratchDirectory() {
  if (ScratchDirectoryName().empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(ScratchDirectoryName(), ignored);
}

// A directory made for this process under ScratchBase(), removed when the process ends
// or fails a check. Several fuzzing processes (-jobs, -fork) never share one.
inline const std::string &ScratchDirectory() {
  static const std::string directory = [] {
    const std::string base = ScratchBase();
    RemoveDirectoriesOfEndedProcesses(base);
    std::string pattern = base + "/pelkor-fuzz-" + std::to_string(::getpid()) + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    ScratchDirectoryName() = name.data();
    std::atexit(RemoveScratchDirectory);
    return ScratchDirectoryName();
  }();
  return directory;
}

inline std::string ScratchPath(const char *name) { return ScratchDirectory() + "/" + name; }

inline void WriteWholeFile(const std::string &path, const uint8_t *data, size_t size) {
  std::FILE *file = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK_MSG(file != nullptr, "cannot create %s", path.c_str());
  FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, file) == size);
  FUZZ_CHECK(std::fclose(file) == 0);
}

inline std::vector<uint8_t> ReadWholeFile(const std::string &path) {
  std::vector<uint8_t> bytes;
  std::FILE *file = std::fopen(path.c_str(), "rb");
  FUZZ_CHECK_MSG(file != nullptr, "cannot open %s", path.c_str());
  uint8_t buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(file);
  return bytes;
}

// One FBUS frame from `source` to `destination`: start byte, addresses, type, length
// 0x00 L, the payload, a pad byte to even length, then the XOR of the even and of the
// odd offsets. The payload carries its own frames-left and sequence bytes.
inline std::vector<uint8_t> Frame(uint8_t start, uint8_t destination, uint8_t source, uint8_t type,
                                  const std::vector<uint8_t> &payload) {
  std::vector<uint8_t> frame = {start, destination, source, type, 0x00, static_cast<uint8_t>(payload.size())};
  frame.insert(frame.end(), payload.begin(), payload.end());
  if (payload.size() % 2 != 0) frame.push_back(0x00);
  uint8_t even = 0, odd = 0;
  for (size_t i = 0; i < frame.size(); ++i) (i % 2 == 0 ? even : odd) ^= frame[i];
  frame.push_back(even);
  frame.push_back(odd);
  return frame;
}

}  // namespace fuzzing
