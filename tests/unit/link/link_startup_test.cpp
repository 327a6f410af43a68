#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "../support/fake_port.h"
#include "link/keep_alive.h"
#include "link/link_startup.h"
#include "platform/clock.h"

namespace pelkor::testing {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

class StartupTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    Session().stop.Reset();
  }
};

TEST_F(StartupTest, InfraredSyncsAtNineThousandSixHundredThenWakesTheLine) {
  Session().connectionType = kConnectionInfrared;
  // The phone answers the first status request: the wake-up loop then ends.
  std::thread phone([&] {
    for (int i = 0; i < 2000 && port.Writes().size() < 35; ++i) std::this_thread::sleep_for(1ms);
    Session().linkUp = true;
  });
  const auto started = std::chrono::steady_clock::now();
  InitLink();
  const auto took = std::chrono::steady_clock::now() - started;
  phone.join();

  EXPECT_EQ(port.bauds, (std::vector<int32_t>{9600, 115200}));
  auto writes = port.Writes();
  ASSERT_EQ(writes.size(), 35u);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(writes[i], Bytes{0x55}) << i;
  EXPECT_EQ(writes[32], Bytes{0xC1});
  Bytes burst(219, 0x55);
  burst.push_back(0xC1);
  EXPECT_EQ(writes[33], burst);
  EXPECT_EQ(writes[34][0], 0x1C);
  EXPECT_EQ(writes[34][3], 0x04);
  EXPECT_GE(took, 900ms);  // one try: wake, ask, wait a second
  EXPECT_FALSE(Session().linkStarting.load());
}

TEST_F(StartupTest, SecondStartWhileOneRunsReturnsAtOnce) {
  Session().linkStarting = true;
  InitLink();
  EXPECT_TRUE(port.Writes().empty());
  Session().linkStarting = false;
}

TEST_F(StartupTest, CableStartWaitsForThePhoneAtMostAboutASecond) {
  Session().linkUp = false;
  const auto started = std::chrono::steady_clock::now();
  InitLink();
  const auto took = std::chrono::steady_clock::now() - started;
  auto writes = port.Writes();
  ASSERT_EQ(writes.size(), 33u + 5u);
  const uint8_t types[] = {0x04, 0x02, 0x02, 0x02, 0x64};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(writes[33 + i][3], types[i]);
  EXPECT_GE(took, 990ms);
  EXPECT_LT(took, 3s);
}

TEST_F(StartupTest, ClosingTheConnectionCutsTheInfraredRetriesShort) {
  Session().connectionType = kConnectionInfrared;
  Session().linkUp = false;
  std::thread closer([] {
    std::this_thread::sleep_for(300ms);
    Session().stop.Trigger();
  });
  const auto started = std::chrono::steady_clock::now();
  InitLink();
  closer.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  EXPECT_FALSE(Session().linkStarting.load());
}

TEST_F(StartupTest, KeepAliveRestartsAfterSilenceEvenWhenAcksRanAhead) {
  // More acknowledgements than counted frames make the unsigned difference huge: the
  // next silence of 10 s restarts the link and brings the counters back in step.
  LinkSession &s = Session();
  s.framesSent = 10;
  s.framesAcked = 15;
  s.busy = true;
  s.phoneHeard = false;
  s.lastReceiveTime = platform::MonotonicMs() - 10001;
  s.lastActivityTime = platform::MonotonicMs();
  KeepAliveCycle();
  auto writes = port.Writes();
  ASSERT_GE(writes.size(), 33u);
  EXPECT_EQ(writes[0], Bytes{0x55});
  EXPECT_EQ(s.framesAcked.load(), 10u);  // caught up with what had been sent
  EXPECT_EQ(s.framesSent.load(), 15u);   // then the start-up sent five more
  EXPECT_FALSE(s.busy.load());
}

TEST_F(StartupTest, KeepAlivePollsEveryEighthCycleWhenIdle) {
  LinkSession &s = Session();
  s.busy = false;
  s.keepAliveCount = 0;
  s.lastReceiveTime = platform::MonotonicMs();
  s.stop.Trigger();  // skip the 500 ms sleeps
  for (int cycle = 1; cycle <= 16; ++cycle) {
    KeepAliveCycle();
    EXPECT_EQ(port.Writes().size(), static_cast<size_t>(cycle / 8)) << "after cycle " << cycle;
  }
  // While a transfer holds the line busy and the phone was never heard, nothing is sent.
  s.busy = true;
  for (int cycle = 0; cycle < 8; ++cycle) KeepAliveCycle();
  EXPECT_EQ(port.Writes().size(), 2u);
}

}  // namespace
}  // namespace pelkor::testing
