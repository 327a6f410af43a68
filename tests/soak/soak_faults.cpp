// The fault thread: noise, corrupt and lost frames, refused sends, silences and times
// without acknowledgements, made at random through the simulator's control channel; and
// the traffic thread's probe that isalive comes back after each episode.
#include <algorithm>
#include <thread>

#include "soak.h"

namespace pelkor_soak {

using nlohmann::json;
using namespace std::chrono_literals;
namespace L = limits;

namespace {

// Once isalive is back within kRecoveryBoundMs and the phone has answered a request sent
// after the fault, isalive is sampled on the idle link this often for this long: a
// keep-alive frame on its way to being acknowledged may make one sample read 0, two in a
// row may not.
constexpr int kStayUpSamples = 30;
constexpr auto kStayUpStep = 100ms;

// A frame loss waits for the next long reply; one that no reply took within this
// time is withdrawn, so that long replies also get through whole.
constexpr int64_t kLossWaitsMs = 3000;

int UniformIn(std::mt19937_64 &rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

}  // namespace

void Soak::Inject(const std::string &line) {
  const std::string answer = sim_.Control(line);
  if (answer.rfind("error", 0) == 0) Fail("simulator refused a control line", line + ": " + answer);
  faultEvents_.fetch_add(1);
}

// Sleeps, or returns false at once when the soak is ending.
bool Soak::PauseFaults(std::chrono::milliseconds length) {
  std::unique_lock lock(faultMutex_);
  return !faultWake_.wait_for(lock, length, [this] { return stopFaults_.load(); });
}

void Soak::FaultLoop() {
  std::mt19937_64 rng(seed_ ^ 0x5DEECE66DULL);
  // noise, corrupt frame, lost frame, refused send, no acknowledgements, silence
  const std::vector<int> weights = {30, 15, 16, 12, 7, 8};
  std::discrete_distribution<int> pick(weights.begin(), weights.end());
  ArmedLoss loss;
  while (PauseFaults(std::chrono::milliseconds(UniformIn(rng, 100, 700)))) {
    WithdrawUntakenLoss(loss);
    const int kind = pick(rng);
    if (kind < 4)
      InjectOnce(kind, rng, loss);
    else if (!RunEpisode(kind == 5, rng))
      break;
  }
  sim_.Control("silent off");
  sim_.Control("ack on");
  sim_.Control("lose-frame 0");
}

void Soak::WithdrawUntakenLoss(ArmedLoss &loss) {
  if (loss.armed && sim_.FrameLossPending() == 0) loss.armed = false;
  if (loss.armed && MsSince(loss.at) > kLossWaitsMs) {
    Inject("lose-frame 0");
    loss.armed = false;
    std::lock_guard lock(faultMutex_);
    ++faultTally_.counts["lost_frame_withdrawn"];
  }
}

// Noise, a corrupt frame, a lost frame in the next long reply (unless one is armed
// already), or a refused send.
void Soak::InjectOnce(int kind, std::mt19937_64 &rng, ArmedLoss &loss) {
  if (kind == 0) {
    const int bytes = UniformIn(rng, 1, 200);
    Inject("noise " + std::to_string(bytes));
    std::lock_guard lock(faultMutex_);
    ++faultTally_.counts["noise"];
    faultTally_.noiseBytes += static_cast<uint64_t>(bytes);
  } else if (kind == 1) {
    Inject("corrupt");
    std::lock_guard lock(faultMutex_);
    ++faultTally_.counts["corrupt_frame"];
  } else if (kind == 2) {
    if (loss.armed) return;
    Inject("lose-frame " + std::to_string(UniformIn(rng, 1, 5)));
    loss.armed = true;
    loss.at = Clock::now();
    std::lock_guard lock(faultMutex_);
    ++faultTally_.counts["lost_frame"];
  } else {
    Inject("sms fail-next");
    std::lock_guard lock(faultMutex_);
    ++faultTally_.counts["refused_send"];
  }
}

// A silence or a time without acknowledgements, then nothing more until the host has
// watched isalive come back on a quiet line. False when the soak is ending.
bool Soak::RunEpisode(bool silence, std::mt19937_64 &rng) {
  const int length = silence ? UniformIn(rng, 0, 12000) : UniformIn(rng, 500, 6000);
  const auto began = Clock::now();
  (silence ? silentNow_ : ackOffNow_).store(true);
  if (silence) silenceEvents_.fetch_add(1);
  Inject(silence ? "silent on" : "ack off");
  PauseFaults(std::chrono::milliseconds(length));
  Inject(silence ? "silent off" : "ack on");
  (silence ? silentNow_ : ackOffNow_).store(false);
  if (silence) silenceEvents_.fetch_add(1);
  const int64_t lasted = MsSince(began);
  std::unique_lock lock(faultMutex_);
  if (silence) {
    ++faultTally_.counts["silence"];
    faultTally_.silentMs += static_cast<uint64_t>(lasted);
    faultTally_.longestSilenceMs = std::max<uint64_t>(faultTally_.longestSilenceMs, static_cast<uint64_t>(lasted));
    if (lasted >= 10000) ++faultTally_.longSilences;
  } else {
    ++faultTally_.counts["no_acks"];
    faultTally_.ackOffMs += static_cast<uint64_t>(lasted);
  }
  if (stopFaults_.load()) return false;
  pendingRecovery_ = Episode{silence ? "silence" : "no acks", lasted};
  faultWake_.wait(lock, [this] { return !pendingRecovery_ || stopFaults_.load(); });
  return true;
}

void Soak::ServeRecovery() {
  std::optional<Episode> episode;
  {
    std::lock_guard lock(faultMutex_);
    episode = pendingRecovery_;
  }
  if (!episode) return;
  ProbeRecovery(*episode);
  {
    std::lock_guard lock(faultMutex_);
    pendingRecovery_.reset();
  }
  faultWake_.notify_all();
}

// On an idle line: isalive must read 1 within the bound, then stay 1.
void Soak::ProbeRecovery(const Episode &episode) {
  const auto probe = Clock::now();
  int64_t recovered = -1;
  while (MsSince(probe) <= kRecoveryBoundMs + 2000) {
    if (Call("isalive", L::kNoWait, L::Only({0, 1}), "", [] { return isalive(); }) == 1) {
      recovered = MsSince(probe);
      break;
    }
    std::this_thread::sleep_for(50ms);
  }
  // A request sent before the phone came back (one without an answer, say) may still
  // be unacknowledged: only a newer frame's answer settles it. So one request that the
  // phone answers, and from then on the idle link must read 1.
  int zeros = 0, run = 0, longestRun = 0;
  int32_t level = 0;
  const int32_t answered = recovered < 0 ? PELKOR_ERR_TIMEOUT
                                         : Call("getrflevel", L::kPhoneStatus, L::Only({0, 4}), "after " + episode.kind,
                                                [&] { return getrflevel(&level); });
  if (answered == PELKOR_OK) {
    for (int i = 0; i < kStayUpSamples; ++i) {
      std::this_thread::sleep_for(kStayUpStep);
      if (Call("isalive", L::kNoWait, L::Only({0, 1}), "", [] { return isalive(); }) == 0) {
        ++zeros;
        longestRun = std::max(longestRun, ++run);
      } else {
        run = 0;
      }
    }
  }
  const std::string what = "after " + episode.kind + " of " + std::to_string(episode.lengthMs) + " ms";
  if (recovered < 0 || recovered > kRecoveryBoundMs)
    Fail("isalive did not come back",
         what + ": " +
             (recovered < 0 ? std::string("still 0 after ") + std::to_string(kRecoveryBoundMs + 2000) + " ms"
                            : "1 only after " + std::to_string(recovered) + " ms") +
             " (bound " + std::to_string(kRecoveryBoundMs) + " ms)");
  else if (answered != PELKOR_OK)
    Fail("no answer on the healthy link", what + ": getrflevel gave " + std::to_string(answered));
  else if (longestRun >= 2)
    Fail("isalive fell back to 0 on the idle healthy link",
         what + ": back after " + std::to_string(recovered) + " ms, then " + std::to_string(zeros) + " of " +
             std::to_string(kStayUpSamples) + " samples 100 ms apart read 0 (" + std::to_string(longestRun) +
             " in a row) after the phone had answered");
  std::lock_guard lock(mutex_);
  tally_.episodes.push_back({{"after", episode.kind},
                             {"length_ms", episode.lengthMs},
                             {"back_after_ms", recovered},
                             {"zero_samples_after", zeros}});
}

}  // namespace pelkor_soak
