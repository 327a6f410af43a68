// Stopping the link where its threads must not be joined: under the Windows loader
// lock (thread end, FreeLibrary) and at process exit, when the system has ended them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "../support/fake_port.h"

namespace pelkor::testing {
namespace {

using namespace std::chrono_literals;

std::atomic<int> cycles{0};

// A keep-alive cycle as long as the real one: it ends early only when the stop is signalled.
void SlowCycle() {
  cycles.fetch_add(1);
  Session().stop.SleepFor(500);
}

void IgnoreByte(uint8_t) {}

class UnloadStopTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    port.Close();
    cycles = 0;
    ASSERT_TRUE(OpenConnection("fake", IgnoreByte, SlowCycle));
    while (cycles.load() == 0) std::this_thread::sleep_for(1ms);
  }
  void TearDown() override {
    LinkSession &s = Session();
    if (s.keepAliveThread.joinable()) s.keepAliveThread.join();
    if (s.watchThread.joinable()) s.watchThread.join();
    LinkTest::TearDown();
  }
};

TEST_F(UnloadStopTest, LoaderLockStopWaitsForBothLoopsThenLetsTheThreadsGo) {
  CloseConnectionWithoutJoining(false, 3000);
  LinkSession &s = Session();
  EXPECT_EQ(s.threadsInLoop.load(), 0);
  EXPECT_FALSE(s.running.load());
  EXPECT_FALSE(s.keepAliveThread.joinable());
  EXPECT_FALSE(s.watchThread.joinable());
  EXPECT_FALSE(port.IsOpen());

  // The next session starts from a clean slate and closes the ordinary way.
  ASSERT_TRUE(OpenConnection("fake", IgnoreByte, SlowCycle));
  EXPECT_EQ(s.threadsInLoop.load(), 2);
  CloseConnection();
  EXPECT_EQ(s.threadsInLoop.load(), 0);
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(UnloadStopTest, ProcessExitStopOnlyLetsGoOfThePort) {
  CloseConnectionWithoutJoining(true, 3000);
  LinkSession &s = Session();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(s.running.load());
  // Nothing of the (supposedly ended) threads was touched: their objects stay as they were.
  EXPECT_TRUE(s.keepAliveThread.joinable());
  EXPECT_TRUE(s.watchThread.joinable());
}

TEST_F(UnloadStopTest, LoaderLockStopGivesUpWaitingAfterItsLimit) {
  // With no time to wait the stop still returns, with the port closed.
  Session().threadsInLoop.fetch_add(1);  // a loop that never reports its end
  const auto started = std::chrono::steady_clock::now();
  CloseConnectionWithoutJoining(false, 50);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  EXPECT_FALSE(port.IsOpen());
  Session().threadsInLoop.fetch_sub(1);
}

}  // namespace
}  // namespace pelkor::testing
