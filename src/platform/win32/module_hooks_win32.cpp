// Process end and thread end on Windows: the DLL entry point's notifications. Both arrive
// with the loader lock held, so the hooks are told not to wait for threads; at process
// exit (reserved != null) the system has already ended every other thread.
#include <windows.h>

#include <atomic>

#include "platform/module_hooks.h"

namespace pelkor::platform {
namespace {

std::atomic<EndingHook> processDetachHook{nullptr};
std::atomic<EndingHook> threadExitHook{nullptr};
std::atomic<DWORD> watchedThread{0};

// After FreeLibrary the image is unmapped as soon as the entry point returns. The link
// threads have left their loops by then but may still be unwinding through the runtime's
// thread start code in this image; give them a moment to reach the system's exit path.
constexpr DWORD kUnwindGraceMs = 20;

}  // namespace

void SetProcessDetachHook(EndingHook hook) { processDetachHook.store(hook); }

void WatchCurrentThreadExit(EndingHook hook) {
  threadExitHook.store(hook);
  watchedThread.store(GetCurrentThreadId());
}

}  // namespace pelkor::platform

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  using namespace pelkor::platform;
  if (reason == DLL_THREAD_DETACH) {
    DWORD self = GetCurrentThreadId();
    if (watchedThread.compare_exchange_strong(self, 0)) {
      if (auto hook = threadExitHook.load()) hook(EndingContext::kLoaderLockHeld);
    }
  } else if (reason == DLL_PROCESS_DETACH) {
    if (auto hook = processDetachHook.exchange(nullptr)) {
      const bool processExiting = reserved != nullptr;
      hook(processExiting ? EndingContext::kThreadsGone : EndingContext::kLoaderLockHeld);
      if (!processExiting) Sleep(kUnwindGraceMs);
    }
  }
  return TRUE;
}
