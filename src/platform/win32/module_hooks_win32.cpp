// Process end and thread end on Windows: the DLL entry point's notifications. Both arrive
// with the loader lock held, so the hooks are told not to wait for threads; at process
// exit (reserved != null) the system has already ended every other thread.
//
// Once a session has been opened the DLL pins itself in the process: the link threads,
// and the C++ and thread runtimes they run on, live in this image, and FreeLibrary must
// not unmap it under them (nor can their end be awaited inside the loader's
// notification). A host's FreeLibrary then ends nothing; terminate() ends the session,
// process exit closes the port.
#include <windows.h>

#include <atomic>

#include "platform/module_hooks.h"

namespace pelkor::platform {
namespace {

std::atomic<EndingHook> processDetachHook{nullptr};
std::atomic<EndingHook> threadExitHook{nullptr};
std::atomic<DWORD> watchedThread{0};

std::atomic<bool> pinned{false};

void PinThisModule() {
  if (pinned.exchange(true)) return;
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCSTR>(&PinThisModule), &self);
}

}  // namespace

void SetProcessDetachHook(EndingHook hook) {
  PinThisModule();
  processDetachHook.store(hook);
}

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
    // A pinned module is detached only at process exit; an unpinned one has never
    // started a session, and its hook is not set.
    if (auto hook = processDetachHook.exchange(nullptr))
      hook(reserved != nullptr ? EndingContext::kThreadsGone : EndingContext::kLoaderLockHeld);
  }
  return TRUE;
}
