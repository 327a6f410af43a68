#pragma once
// An opt-in record of the wire for people debugging a cable: every buffer written and
// every frame recognised, with a time stamp, as hex. Off unless a host asks for it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>

#include "platform/local_time.h"

namespace pelkor {

// The trace's state, in the link's record: the open file and the held-back run of sync
// bytes (the start-up writes them one at a time; a run is written as one line, stamped
// with the time of its first byte).
struct WireTraceState {
  std::mutex mutex;
  std::FILE *file = nullptr;
  std::atomic<bool> on{false};  // lets the untraced path skip the lock
  size_t syncCount = 0;
  platform::TimeOfDay syncFirst{};
};

// Starts writing the trace to `path` (appending), or stops it when path is null or
// empty. Returns 0, or -1 when the file cannot be opened.
int32_t SetWireTrace(const char *path);

// Records bytes going out ("tx") or a frame that came in ("rx").
void TraceWire(const char *direction, const uint8_t *bytes, size_t length);

}  // namespace pelkor
