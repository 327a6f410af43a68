#include "link/wire_trace.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/local_time.h"

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
  const platform::TimeOfDay now = platform::LocalTimeOfDay();
  std::lock_guard<std::mutex> lock(traceMutex);
  if (traceFile == nullptr) return;
  std::fprintf(traceFile, "%02d:%02d:%02d.%03d %s %3u:", static_cast<int>(now.hour), static_cast<int>(now.minute),
               static_cast<int>(now.second), static_cast<int>(now.millisecond), direction,
               static_cast<unsigned>(length));
  for (size_t i = 0; i < length; ++i) std::fprintf(traceFile, " %02X", bytes[i]);
  std::fputc('\n', traceFile);
  std::fflush(traceFile);
}

}  // namespace pelkor
