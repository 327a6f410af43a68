#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/module_hooks.h"

namespace pelkor::platform {
namespace {

std::atomic<int> endings{0};
std::atomic<EndingContext> lastContext{EndingContext::kThreadsGone};

void CountEnding(EndingContext context) {
  lastContext.store(context);
  endings.fetch_add(1);
}

TEST(ModuleHooks, OnlyTheThreadWatchedLastReportsItsEnd) {
  endings = 0;
  std::atomic<bool> firstMayEnd{false};
  std::atomic<bool> firstWatching{false};
  std::thread first([&] {
    WatchCurrentThreadExit(CountEnding);
    firstWatching = true;
    while (!firstMayEnd) std::this_thread::yield();
  });
  while (!firstWatching) std::this_thread::yield();
  std::thread second([] { WatchCurrentThreadExit(CountEnding); });
  second.join();
  EXPECT_EQ(endings.load(), 1);  // the second thread held the watch when it ended
  EXPECT_EQ(lastContext.load(), EndingContext::kMayWaitForThreads);

  firstMayEnd = true;
  first.join();
  EXPECT_EQ(endings.load(), 1);  // the watch had moved on: the first thread's end is no news
}

TEST(ModuleHooks, AThreadThatNeverWatchedEndsQuietly) {
  endings = 0;
  std::thread bystander([] {});
  bystander.join();
  EXPECT_EQ(endings.load(), 0);
}

}  // namespace
}  // namespace pelkor::platform
