#include "link/wire_trace.h"

#include <cstring>
#include <vector>

#include "link/session.h"

namespace pelkor {
namespace {

constexpr uint8_t kSyncByte = 0x55;

WireTraceState &Trace() { return Session().trace; }

void WriteLine(std::FILE *traceFile, const platform::TimeOfDay &at, const char *direction, const uint8_t *bytes,
               size_t length) {
  std::fprintf(traceFile, "%02d:%02d:%02d.%03d %s %3u:", static_cast<int>(at.hour), static_cast<int>(at.minute),
               static_cast<int>(at.second), static_cast<int>(at.millisecond), direction, static_cast<unsigned>(length));
  for (size_t i = 0; i < length; ++i) std::fprintf(traceFile, " %02X", bytes[i]);
  std::fputc('\n', traceFile);
}

// Writes the held-back run of sync bytes, if any. Called with the lock held.
void FlushSyncRun(WireTraceState &trace) {
  if (trace.syncCount == 0 || trace.file == nullptr) {
    trace.syncCount = 0;
    return;
  }
  std::vector<uint8_t> run(trace.syncCount, kSyncByte);
  WriteLine(trace.file, trace.syncFirst, "tx", run.data(), run.size());
  trace.syncCount = 0;
  std::fflush(trace.file);
}

bool AllSync(const uint8_t *bytes, size_t length) {
  if (length == 0) return false;
  for (size_t i = 0; i < length; ++i)
    if (bytes[i] != kSyncByte) return false;
  return true;
}

}  // namespace

int32_t SetWireTrace(const char *path) {
  WireTraceState &trace = Trace();
  std::lock_guard<std::mutex> lock(trace.mutex);
  FlushSyncRun(trace);
  if (trace.file != nullptr) {
    std::fclose(trace.file);
    trace.file = nullptr;
  }
  trace.on.store(false);
  if (path == nullptr || path[0] == '\0') return 0;
  trace.file = std::fopen(path, "a");
  if (trace.file == nullptr) return -1;
  trace.on.store(true);
  return 0;
}

void TraceWire(const char *direction, const uint8_t *bytes, size_t length) {
  WireTraceState &trace = Trace();
  if (!trace.on.load(std::memory_order_relaxed)) return;
  const platform::TimeOfDay now = platform::LocalTimeOfDay();
  std::lock_guard<std::mutex> lock(trace.mutex);
  if (trace.file == nullptr) return;
  const bool outgoing = std::strcmp(direction, "tx") == 0;
  if (outgoing && AllSync(bytes, length)) {
    if (trace.syncCount == 0) trace.syncFirst = now;
    trace.syncCount += length;
    return;
  }
  FlushSyncRun(trace);
  WriteLine(trace.file, now, direction, bytes, length);
  std::fflush(trace.file);
}

}  // namespace pelkor
