#pragma once
// An opt-in record of the wire for people debugging a cable: every buffer written and
// every frame recognised, with a time stamp, as hex. Off unless a host asks for it.
#include <cstddef>
#include <cstdint>

namespace pelkor {

// Starts writing the trace to `path` (appending), or stops it when path is null or
// empty. Returns 0, or -1 when the file cannot be opened.
int32_t SetWireTrace(const char *path);

// Records bytes going out ("tx") or a frame that came in ("rx").
void TraceWire(const char *direction, const uint8_t *bytes, size_t length);

}  // namespace pelkor
