// The keep-alive thread's cycle: a status poll every 8 cycles of 500 ms while the
// line is otherwise quiet, and a restart of the link after 10 s of silence with
// frames left unacknowledged (a pulled cable, a phone switched off and on).
#include "link/keep_alive.h"

#include "link/link_startup.h"
#include "link/port_link.h"
#include "link/session.h"
#include "platform/clock.h"

namespace pelkor {
namespace {

constexpr int64_t kIdleBeforeExchangeMs = 1000;
constexpr int64_t kSilenceBeforeRestartMs = 10000;
constexpr uint32_t kUnansweredBeforeRestart = 2;
constexpr int32_t kCycleMs = 500;

}  // namespace

void KeepAliveCycle() {
  LinkSession &s = Session();
  const int64_t now = platform::MonotonicMs();
  const bool lineIdle = now - s.lastActivityTime.load() > kIdleBeforeExchangeMs;
  if ((s.phoneHeard.load() && lineIdle) || !s.busy.load()) {
    const uint8_t count = static_cast<uint8_t>(s.keepAliveCount.fetch_add(1) + 1);
    if (count % 8 == 0) {
      if (s.Infrared()) WakeLine();
      RequestStatus();
    }
  }
  if (platform::MonotonicMs() - s.lastReceiveTime.load() > kSilenceBeforeRestartMs) {
    const uint32_t sent = s.framesSent.load();
    if (sent - s.framesAcked.load() > kUnansweredBeforeRestart) {
      s.framesAcked.store(sent);
      InitLink();
    }
    s.busy.store(false);
  }
  s.stop.SleepFor(kCycleMs);
}

}  // namespace pelkor
