// Process end and thread end on POSIX: a library destructor stands for the process
// detach notification, a thread-local guard for the end of a thread. Both run where
// the link threads are still alive and can be waited for.
#include <atomic>
#include <cstdint>

#include "platform/module_hooks.h"

namespace pelkor::platform {
namespace {

std::atomic<EndingHook> processDetachHook{nullptr};
std::atomic<EndingHook> threadExitHook{nullptr};
// Each watch gets a new number; a guard fires only if its thread still holds the watch.
std::atomic<uint64_t> currentWatch{0};

struct ThreadExitGuard {
  uint64_t watch = 0;
  ~ThreadExitGuard() {
    if (watch == 0 || currentWatch.load() != watch) return;
    if (auto hook = threadExitHook.load()) hook(EndingContext::kMayWaitForThreads);
  }
};

thread_local ThreadExitGuard threadExitGuard;

__attribute__((destructor)) void RunProcessDetachHook() {
  if (auto hook = processDetachHook.exchange(nullptr)) hook(EndingContext::kMayWaitForThreads);
}

}  // namespace

void SetProcessDetachHook(EndingHook hook) { processDetachHook.store(hook); }

void WatchCurrentThreadExit(EndingHook hook) {
  threadExitHook.store(hook);
  threadExitGuard.watch = currentWatch.fetch_add(1) + 1;
}

}  // namespace pelkor::platform
