#include "link/wire_trace.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/local_time.h"

namespace pelkor {
namespace {

constexpr uint8_t kSyncByte = 0x55;

std::mutex traceMutex;
std::FILE *traceFile = nullptr;
std::atomic<bool> tracing{false};  // lets the untraced path skip the lock

// The start-up writes its sync bytes one at a time: a run of them is held back and
// written as one line, stamped with the time of its first byte.
struct SyncRun {
  size_t count = 0;
  platform::TimeOfDay first{};
} syncRun;

void WriteLine(const platform::TimeOfDay &at, const char *direction, const uint8_t *bytes, size_t length) {
  std::fprintf(traceFile, "%02d:%02d:%02d.%03d %s %3u:", static_cast<int>(at.hour), static_cast<int>(at.minute),
               static_cast<int>(at.second), static_cast<int>(at.millisecond), direction, static_cast<unsigned>(length));
  for (size_t i = 0; i < length; ++i) std::fprintf(traceFile, " %02X", bytes[i]);
  std::fputc('\n', traceFile);
}

// Writes the held-back run of sync bytes, if any. Called with the lock held.
void FlushSyncRun() {
  if (syncRun.count == 0 || traceFile == nullptr) {
    syncRun.count = 0;
    return;
  }
  std::vector<uint8_t> run(syncRun.count, kSyncByte);
  WriteLine(syncRun.first, "tx", run.data(), run.size());
  syncRun.count = 0;
  std::fflush(traceFile);
}

bool AllSync(const uint8_t *bytes, size_t length) {
  if (length == 0) return false;
  for (size_t i = 0; i < length; ++i)
    if (bytes[i] != kSyncByte) return false;
  return true;
}

}  // namespace

int32_t SetWireTrace(const char *path) {
  std::lock_guard<std::mutex> lock(traceMutex);
  FlushSyncRun();
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
  const bool outgoing = std::strcmp(direction, "tx") == 0;
  if (outgoing && AllSync(bytes, length)) {
    if (syncRun.count == 0) syncRun.first = now;
    syncRun.count += length;
    return;
  }
  FlushSyncRun();
  WriteLine(now, direction, bytes, length);
  std::fflush(traceFile);
}

}  // namespace pelkor
