#pragma once

namespace pelkor::platform {

// What the system still allows when a hook runs at the end of the process or of a thread.
enum class EndingContext {
  // POSIX exit handlers and thread-local destructors: the link threads still run and may
  // be waited for.
  kMayWaitForThreads,
  // Windows thread detach and FreeLibrary: the loader lock is held, so a thread that is
  // ending cannot finish; the link threads still run but must not be joined.
  kLoaderLockHeld,
  // Windows process exit: the system has already ended every other thread, wherever it
  // was; nothing they held may be waited for.
  kThreadsGone,
};

using EndingHook = void (*)(EndingContext);

// Runs `hook` when the library is unloaded or the process ends.
void SetProcessDetachHook(EndingHook hook);

// Runs `hook` when the calling thread ends. Only the thread that called this last is
// watched: a call from another thread moves the watch there.
void WatchCurrentThreadExit(EndingHook hook);

}  // namespace pelkor::platform
