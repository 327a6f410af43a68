#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "transaction/transaction.h"

namespace pelkor {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(AwaitCell, AReplyEndsTheWaitAtOnce) {
  StatusCell cell;
  cell.Arm();
  std::thread handler([&] {
    std::this_thread::sleep_for(30ms);
    cell.Complete(13);
  });
  const auto start = Clock::now();
  EXPECT_TRUE(AwaitCell(cell, kPending, 200, 10));
  EXPECT_LT(Clock::now() - start, 1500ms);
  EXPECT_EQ(cell.Value(), 13);
  handler.join();
}

TEST(AwaitCell, WakeUpsForOtherCellsDoNotShortenTheLimit) {
  StatusCell cell, other;
  cell.Arm();
  std::atomic<bool> stop{false};
  std::thread noise([&] {
    while (!stop) {
      other.Complete(0);
      std::this_thread::sleep_for(2ms);
    }
  });
  const auto start = Clock::now();
  EXPECT_FALSE(AwaitCell(cell, kPending, 21, 10));  // limit (21 - 1) x 10 ms
  const auto took = Clock::now() - start;
  stop = true;
  noise.join();
  EXPECT_GE(took, 195ms);
  EXPECT_LT(took, 1000ms);
}

TEST(RunTransaction, TimeOutIsFourAndIsStoredOnlyWhenAsked) {
  StatusCell cell;
  const uint8_t request[] = {0x00, 0x01, 0x00, 0x62};
  // No port is open, so the request goes nowhere and the wait runs out.
  EXPECT_EQ(RunTransaction(cell, 0x11, request, sizeof request, 3, 5), kResultTimeout);
  EXPECT_EQ(cell.Value(), kPending);
  EXPECT_EQ(RunTransaction(cell, 0x11, request, sizeof request, 3, 5, true), kResultTimeout);
  EXPECT_EQ(cell.Value(), kResultTimeout);
}

TEST(ReplyTarget, LateReplyDoesNotReachADetachedRecord) {
  ReplyTarget<int> target;
  int record = 0;
  EXPECT_FALSE(target.Fill([](int &r) { r = 1; }));
  target.Attach(&record);
  EXPECT_TRUE(target.Fill([](int &r) { r = 2; }));
  target.Detach();
  EXPECT_FALSE(target.Fill([](int &r) { r = 3; }));
  EXPECT_EQ(record, 2);
}

TEST(AnswerCache, OnlyAYoungSuccessIsFresh) {
  AnswerCache cache;
  EXPECT_FALSE(cache.Fresh(200));  // nothing asked yet
  cache.Store(kResultTimeout, detail::NowMs());
  EXPECT_FALSE(cache.Fresh(200));  // a failure is never reused
  cache.Store(kResultOk, detail::NowMs());
  EXPECT_TRUE(cache.Fresh(200));
  cache.Store(kResultOk, detail::NowMs() - 250);
  EXPECT_FALSE(cache.Fresh(200));
}

TEST(SharedText, CutsToItsCapacityAndCopiesWithinTheCallersSize) {
  SharedText<8> text;
  EXPECT_TRUE(text.Empty());
  text.Set("NSE-3 long model");
  char out[20];
  text.CopyTo(out, sizeof out);
  EXPECT_STREQ(out, "NSE-3 l");
  text.CopyTo(out, 4);
  EXPECT_STREQ(out, "NSE");
  text.Set(nullptr);
  EXPECT_TRUE(text.Empty());
}

}  // namespace
}  // namespace pelkor
