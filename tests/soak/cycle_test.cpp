// Sessions opened and closed over and over against the simulated phone, with quick start
// (the port name's trailing capital F): every init must succeed, and when the cycles are
// over the process holds exactly the descriptors and threads it held before them. The
// count is CYCLES (1000 by default); CYCLES_REPORT (or --report=PATH) names a JSON file
// for the figures. Run under LeakSanitizer (the asan build), the process end also checks
// that nothing the sessions allocated was left behind.
#include <algorithm>
#include <iterator>
#include <map>
#include <string>
#include <thread>

#include "export_limits.h"
#include "sim_fixture.h"
#include "soak_support.h"

namespace pelkor_soak {
namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;
using namespace std::chrono_literals;

int64_t MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Threads that terminate has joined may still be listed for a moment while the system
// reaps them; give the counts this long to settle before they are compared.
constexpr auto kSettle = 2s;

struct Counts {
  int descriptors = -1;
  int threads = -1;
};

Counts Now() { return {CountOpenDescriptors(), CountThreads()}; }

// The counts once they have stopped falling towards `target` (or the settle time is up).
Counts Settled(const Counts &target) {
  const auto until = Clock::now() + kSettle;
  Counts c = Now();
  while (Clock::now() < until && (c.descriptors > target.descriptors || c.threads > target.threads)) {
    std::this_thread::sleep_for(20ms);
    c = Now();
  }
  return c;
}

// What the cycles measured.
struct CycleFigures {
  std::map<int32_t, uint64_t> initResults;
  int64_t longestInit = 0, longestTerminate = 0, longestCycle = 0;
  int peakDescriptors = -1, peakThreads = -1;
  int deadSessions = 0;
  int64_t tookMs = 0;
};

// The process's counts around the cycles: before any session, with the first one open,
// after it (the reference), and after the cycles.
struct CountsAround {
  Counts fresh, open, before, after;
};

// Opens and closes `cycles` sessions; a failed init or terminate ends them with a fatal
// failure.
void RunCycles(const std::string &quick, int64_t cycles, const Counts &before, CycleFigures &f) {
  f.peakDescriptors = before.descriptors;
  f.peakThreads = before.threads;
  const auto started = Clock::now();
  for (int64_t i = 0; i < cycles; ++i) {
    const auto cycle = Clock::now();
    const int32_t result = init(quick.c_str(), PELKOR_CONNECTION_CABLE);
    f.longestInit = std::max(f.longestInit, MsSince(cycle));
    ++f.initResults[result];
    if (result == PELKOR_OK && isalive() != 1) ++f.deadSessions;
    if (i % 50 == 0) {
      const Counts during = Now();
      f.peakDescriptors = std::max(f.peakDescriptors, during.descriptors);
      f.peakThreads = std::max(f.peakThreads, during.threads);
    }
    const auto closing = Clock::now();
    const int32_t closed = terminate();
    f.longestTerminate = std::max(f.longestTerminate, MsSince(closing));
    f.longestCycle = std::max(f.longestCycle, MsSince(cycle));
    ASSERT_EQ(closed, PELKOR_OK) << "cycle " << i;
    ASSERT_EQ(result, PELKOR_OK) << "init failed in cycle " << i;
  }
  f.tookMs = MsSince(started);
}

json CycleReport(const std::string &quick, int64_t cycles, const CycleFigures &f, const CountsAround &c,
                 const std::vector<std::string> &kept) {
  json results = json::object();
  for (const auto &[code, n] : f.initResults) results[std::to_string(code)] = n;
  return {{"date", LocalTimeStamp()},
          {"cycles", cycles},
          {"port", quick},
          {"seconds", static_cast<double>(f.tookMs) / 1000.0},
          {"mean_cycle_ms", static_cast<double>(f.tookMs) / static_cast<double>(cycles)},
          {"longest_cycle_ms", f.longestCycle},
          {"longest_init_ms", f.longestInit},
          {"init_limit_ms", limits::kInitQuick},
          {"longest_terminate_ms", f.longestTerminate},
          {"terminate_limit_ms", limits::kTerminate},
          {"init_results", results},
          {"sessions_not_alive_after_init", f.deadSessions},
          {"descriptors",
           {{"fresh", c.fresh.descriptors},
            {"session_open", c.open.descriptors},
            {"before", c.before.descriptors},
            {"kept_from_the_first_session", kept},
            {"peak_during", f.peakDescriptors},
            {"after", c.after.descriptors}}},
          {"threads",
           {{"fresh", c.fresh.threads},
            {"session_open", c.open.threads},
            {"before", c.before.threads},
            {"peak_during", f.peakThreads},
            {"after", c.after.threads}}},
          {"passed",
           c.after.descriptors == c.before.descriptors && c.after.threads == c.before.threads && f.deadSessions == 0}};
}

using InitTerminateCycles = pelkor_it::SimulatedPhone;

TEST_F(InitTerminateCycles, LeaveNoDescriptorOrThreadBehind) {
  const int64_t cycles = std::max<int64_t>(1, EnvInteger("CYCLES", 1000));
  const std::string quick = port_ + "F";

  // Before the first session, and after one: anything a first session sets up once for
  // the life of the process shows as the difference between the two. The comparison
  // that must hold exactly is the second against the end.
  const Counts fresh = Now();
  const std::vector<std::string> freshTargets = DescriptorTargets();
  ASSERT_GE(fresh.descriptors, 0) << "/proc/self/fd cannot be read";
  ASSERT_GE(fresh.threads, 1) << "/proc/self/task cannot be read";
  ASSERT_EQ(init(quick.c_str(), PELKOR_CONNECTION_CABLE), PELKOR_OK);
  const Counts open = Now();
  ASSERT_EQ(terminate(), PELKOR_OK);
  const Counts before = Settled(fresh);
  std::vector<std::string> kept;
  const std::vector<std::string> beforeTargets = DescriptorTargets();
  std::set_difference(beforeTargets.begin(), beforeTargets.end(), freshTargets.begin(), freshTargets.end(),
                      std::back_inserter(kept));

  CycleFigures f;
  RunCycles(quick, cycles, before, f);
  if (HasFatalFailure()) return;
  const Counts after = Settled(before);
  const int64_t tookMs = f.tookMs, longestCycle = f.longestCycle;
  const int64_t longestInit = f.longestInit, longestTerminate = f.longestTerminate;
  const int deadSessions = f.deadSessions;

  const json report = CycleReport(quick, cycles, f, {fresh, open, before, after}, kept);
  EXPECT_TRUE(WriteReport("CYCLES_REPORT", report)) << "cannot write " << ReportPath("CYCLES_REPORT");
  std::printf("cycles: %lld in %.1f s (%.1f ms each, longest %lld ms); descriptors %d -> %d, threads %d -> %d\n",
              static_cast<long long>(cycles), static_cast<double>(tookMs) / 1000.0,
              static_cast<double>(tookMs) / static_cast<double>(cycles), static_cast<long long>(longestCycle),
              before.descriptors, after.descriptors, before.threads, after.threads);

  // No slack: each session's port, wake-up descriptors and two threads must be gone.
  EXPECT_EQ(after.descriptors, before.descriptors) << "open descriptors grew over " << cycles << " sessions";
  EXPECT_EQ(after.threads, before.threads) << "threads grew over " << cycles << " sessions";
  EXPECT_EQ(deadSessions, 0) << "sessions whose isalive read 0 right after init returned 0";
  // A cycle is an init (quick start) and a terminate; each has its limit.
  EXPECT_LE(longestInit, limits::kInitQuick + limits::Margin(limits::kInitQuick));
  EXPECT_LE(longestTerminate, limits::kTerminate + limits::Margin(limits::kTerminate));
}

}  // namespace
}  // namespace pelkor_soak
