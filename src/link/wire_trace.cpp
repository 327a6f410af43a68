#include "link/wire_trace.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace pelkor {
namespace {

std::mutex traceMutex;
std::FILE *traceFile = nullptr;
std::atomic<bool> tracing{false};  // lets the untraced path skip the lock

}  // namespace

int32_t SetWireTrace(const char *path) {
  std::lock_guard<std::mutex> lock(traceMutex);
  if (traceFile != nullptr) {
    std::fclose(traceFile);
    traceFile = nullptr;
  }
  tracing.store(false);
  if (path == nullptr || path[0] == '\0') return 0;
  traceFile = std::fopen(path, "a");
  if (traceFile == nullptr) return -1;
  tracing.store(true);
  return 0;
}

void TraceWire(const char *direction, const uint8_t *bytes, size_t length) {
  if (!tracing.load(std::memory_order_relaxed)) return;
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const long millis = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  std::lock_guard<std::mutex> lock(traceMutex);
  if (traceFile == nullptr) return;
  std::fprintf(traceFile, "%02d:%02d:%02d.%03ld %s %3zu:", local.tm_hour, local.tm_min, local.tm_sec,
               millis, direction, length);
  for (size_t i = 0; i < length; ++i) std::fprintf(traceFile, " %02X", bytes[i]);
  std::fputc('\n', traceFile);
  std::fflush(traceFile);
}

}  // namespace pelkor
