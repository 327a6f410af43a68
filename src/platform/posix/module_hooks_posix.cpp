// Process end and thread end on POSIX: a library destructor stands for the process
// detach notification, a thread-local guard for the end of a thread.
#include <atomic>

#include "platform/module_hooks.h"

namespace pelkor::platform {
namespace {

std::atomic<void (*)()> processDetachHook{nullptr};

struct ThreadExitGuard {
  void (*hook)() = nullptr;
  ~ThreadExitGuard() {
    if (hook != nullptr) hook();
  }
};

thread_local ThreadExitGuard threadExitGuard;

__attribute__((destructor)) void RunProcessDetachHook() {
  if (auto hook = processDetachHook.exchange(nullptr)) hook();
}

}  // namespace

void SetProcessDetachHook(void (*hook)()) { processDetachHook.store(hook); }

void WatchCurrentThreadExit(void (*hook)()) { threadExitGuard.hook = hook; }

}  // namespace pelkor::platform
