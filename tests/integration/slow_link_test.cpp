// Link behaviour that takes ten seconds and more to show (labelled slow).
#include <thread>

#include "sim_fixture.h"

namespace pelkor_it {
namespace {

using SlowLink = SimulatedPhone;

bool WaitForIsAlive(int32_t wanted, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (isalive() == wanted) return true;
    std::this_thread::sleep_for(50ms);
  }
  return isalive() == wanted;
}

TEST_F(SlowLink, WithoutAnswerInitWaitsTenSecondsThenGivesMinusOne) {
  sim_.SetSilent(true);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(init(port_.c_str(), 0), -1);
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_GE(took, 10s);
  EXPECT_LT(took, 14s);
}

TEST_F(SlowLink, KeepAliveAsksForStatusEveryEightCycles) {
  ASSERT_EQ(init(port_.c_str(), 0), PELKOR_OK);
  sim_.ClearRecords();
  ASSERT_TRUE(WaitForMessages(0x04, 3, 15s));
  auto polls = MessagesOfType(0x04);
  for (size_t i = 1; i < polls.size(); ++i) {
    const auto gap = polls[i].when - polls[i - 1].when;
    EXPECT_GT(gap, 3500ms);
    EXPECT_LT(gap, 4800ms);
  }
}

TEST_F(SlowLink, IsAliveFollowsAPulledCableAndItsReturn) {
  ASSERT_EQ(init(port_.c_str(), 0), PELKOR_OK);
  EXPECT_EQ(isalive(), 1);
  sim_.SetSilent(true);
  // Once more than 2 s have passed without data and a status poll went unanswered.
  EXPECT_TRUE(WaitForIsAlive(0, 10s));
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(isalive(), 0);
  sim_.SetSilent(false);
  EXPECT_TRUE(WaitForIsAlive(1, 10s));
}

TEST_F(SlowLink, TenSecondsOfSilenceWithUnansweredFramesRestartsTheLink) {
  ASSERT_EQ(init(port_.c_str(), 0), PELKOR_OK);
  sim_.SetSilent(true);
  sim_.ClearRecords();
  // Status polls go unanswered; after 10 s without data the start-up runs again.
  ASSERT_TRUE(WaitForMessages(0x64, 1, 25s));
  const Bytes wire = sim_.Wire();
  int syncRun = 0, longest = 0;
  for (uint8_t b : wire) {
    syncRun = b == 0x55 ? syncRun + 1 : 0;
    longest = std::max(longest, syncRun);
  }
  EXPECT_GE(longest, 32);
  // When the phone comes back, the link is up again without a new init.
  sim_.SetSilent(false);
  EXPECT_TRUE(WaitForIsAlive(1, 10s));
}

}  // namespace
}  // namespace pelkor_it
