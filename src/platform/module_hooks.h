#pragma once

namespace pelkor::platform {

// Runs `hook` when the library is unloaded or the process ends.
void SetProcessDetachHook(void (*hook)());

// Runs `hook` when the calling thread ends (installed once per thread).
void WatchCurrentThreadExit(void (*hook)());

}  // namespace pelkor::platform
