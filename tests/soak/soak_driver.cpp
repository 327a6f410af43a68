// The soak's traffic: the loop that picks an action at random until the time is up, the
// session, and the wrapper every export is called through (its time limit, its documented
// results, the figures).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "soak.h"
#include "soak_support.h"

namespace pelkor_soak {

using nlohmann::json;
using namespace std::chrono_literals;
namespace L = limits;

// ---- calls --------------------------------------------------------------------------------------

int32_t Soak::Call(const std::string &name, int64_t limitMs, const L::Allowed &allowed, const std::string &args,
                   const std::function<int32_t()> &body, int32_t timeoutCode) {
  const std::string what = name + "(" + args + ")";
  const uint64_t faultsBefore = faultEvents_.load();
  const size_t lostBefore = sim_.FramesLost();
  watchdog_->Begin(what, L::HangAfter(limitMs));
  const auto start = Clock::now();
  const int32_t result = body();
  const int64_t took = MsSince(start);
  watchdog_->End();

  const int64_t allowedMs = limitMs + L::Margin(limitMs);
  {
    std::lock_guard lock(mutex_);
    ExportFigures &f = tally_.exports[name];
    ++f.calls;
    ++tally_.calls;
    // Counts and other values are not result codes: only their range is checked.
    if (!allowed.range) {
      ++f.results[result];
      ++tally_.results[result];
    }
    if (took >= f.longestMs) {
      f.longestMs = took;
      f.limitAtLongestMs = limitMs;
    }
    f.worstOverMs = std::max(f.worstOverMs, took - limitMs);
  }
  if (took > allowedMs)
    Fail("over its time limit", what + " took " + std::to_string(took) + " ms, limit " + std::to_string(limitMs) +
                                    " ms + margin " + std::to_string(L::Margin(limitMs)) + " ms");
  if (!allowed.Holds(result))
    Fail("undocumented result", what + " returned " + std::to_string(result) + ", documented " + allowed.Text());
  if (!allowed.range && result == timeoutCode && limitMs > 0 && Clean(faultsBefore) &&
      sim_.FramesLost() == lostBefore && sim_.FrameLossPending() == 0) {
    std::lock_guard lock(mutex_);
    ++tally_.unexplainedTimeouts[name];
  }
  return result;
}

void Soak::Fail(const std::string &kind, const std::string &detail) {
  const double at = static_cast<double>(MsSince(started_)) / 1000.0;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "[%.1f s] ", at);
  std::lock_guard lock(mutex_);
  const uint64_t n = ++tally_.failures.counts[kind];
  if (n <= 8) {
    tally_.failures.samples[kind].push_back(stamp + detail);
    std::fprintf(stderr, "soak: %s%s: %s\n", stamp, kind.c_str(), detail.c_str());
  }
}

// No fault injected, begun or ended since `faultsBefore`, and none going on.
bool Soak::Clean(uint64_t faultsBefore) const {
  return faultEvents_.load() == faultsBefore && !silentNow_.load() && !ackOffNow_.load();
}

void Soak::Hang(const std::string &what) {
  {
    std::lock_guard lock(mutex_);
    tally_.hung = what;
  }
  Fail("hang", what);
  std::fprintf(stderr, "soak: a call hangs (%s); seed %llu. Writing the report and ending the process.\n", what.c_str(),
               static_cast<unsigned long long>(seed_));
  WriteReport("SOAK_REPORT", Report());
  std::fflush(nullptr);
  std::_Exit(3);
}

// ---- the run ------------------------------------------------------------------------------------

std::vector<Soak::Choice> Soak::Choices() const {
  return {
      {"identity", 6, &Soak::Identity},
      {"phone_status", 5, &Soak::PhoneStatus},
      {"display", 2, &Soak::Display},
      {"clock_read", 3, &Soak::ClockRead},
      {"clock_set", 2, &Soak::ClockSet},
      {"alarm_read", 2, &Soak::AlarmRead},
      {"alarm_set", 2, &Soak::AlarmSet},
      {"dial", 2, &Soak::Dial},
      {"dtmf", 2, &Soak::Dtmf},
      {"beep", 2, &Soak::Beep},
      {"tone", 3, &Soak::Tone},
      {"tone_negative", 2, &Soak::ToneNegative},
      {"reset", 1, &Soak::ResetPhone},
      {"incoming_call", 2, &Soak::IncomingCall},
      {"network_info", 3, &Soak::NetworkInfo},
      {"netmonitor", 2, &Soak::NetMonitor},
      {"sms_short", 7, &Soak::SmsShort},
      {"sms_long", 4, &Soak::SmsLong},
      {"sms_ucs2", 2, &Soak::SmsUcs2},
      {"sms_centre_refused", 1, &Soak::SmsCentreRefused},
      {"sms_centre", 2, &Soak::SmsCentre},
      {"store_scan", 2, &Soak::StoreScan},
      {"store_queries", 3, &Soak::StoreQueries},
      {"store_counts", 2, &Soak::StoreCounts},
      {"store_delete", 2, &Soak::StoreDelete},
      {"store_read", 4, &Soak::StoreRead},
      {"store_deliver", 3, &Soak::StoreDeliver},
      {"ringtone_edit", 2, &Soak::RingtoneEdit},
      {"ringtone_files", 1, &Soak::RingtoneFiles},
      {"ringtone_upload", 2, &Soak::RingtoneUpload},
      {"ringtone_sms", 2, &Soak::RingtoneSms},
      {"logo_edit", 1, &Soak::LogoEdit},
      {"logo_files", 1, &Soak::LogoFiles},
      {"logo_upload", 4, &Soak::LogoUpload},
      {"logo_text", 1, &Soak::LogoText},
      {"logo_download", 5, &Soak::LogoDownload},
      {"lost_frame_scene", 3, &Soak::LostFrameScene},
      {"logo_sms", 2, &Soak::LogoSms},
      {"phonebook_read", 4, &Soak::PhonebookRead},
      {"phonebook_write", 4, &Soak::PhonebookWrite},
      {"speed_dial_read", 2, &Soak::SpeedDialRead},
      {"speed_dial_write", 2, &Soak::SpeedDialWrite},
      {"wave", 1, &Soak::Wave},
      {"isalive", 2, &Soak::AliveCheck},
      {"reopen", 1, &Soak::Reopen},
  };
}

void Soak::Run() {
  started_ = Clock::now();
  watchdog_ = std::make_unique<Watchdog>([this](const std::string &what) { Hang(what); });

  char pattern[] = "/tmp/pelkor-soak-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  tmp_ = pattern;
  // The library writes its UCS-2 dump files there.
  setenv("TMPDIR", tmp_.c_str(), 1);
  sim_.LoadState(json::parse(kInitialState));

  OpenSession();
  ASSERT_TRUE(sessionOpen_) << "the soak needs a session to begin with";

  std::vector<Choice> choices;
  std::vector<int> weights;
  for (const Choice &c : Choices()) {
    if (excluded_.count(c.name) != 0) continue;
    choices.push_back(c);
    weights.push_back(c.weight);
  }
  ASSERT_FALSE(choices.empty());
  std::discrete_distribution<size_t> pick(weights.begin(), weights.end());

  std::thread faults([this] { FaultLoop(); });
  const auto deadline = started_ + std::chrono::seconds(seconds_);
  while (Clock::now() < deadline) {
    if (!sessionOpen_) {
      OpenSession();
      continue;
    }
    ServeRecovery();
    const Choice &choice = choices[pick(rng_)];
    (this->*choice.action)();
  }
  {
    std::lock_guard lock(faultMutex_);
    stopFaults_.store(true);
  }
  faultWake_.notify_all();
  faults.join();
  ranMs_ = MsSince(started_);

  // The phone is itself again: the link must come back, then nothing may be missing.
  ProbeRecovery(Episode{"the end of the faults", 0});
  FinalChecks();
  watchdog_.reset();

  std::error_code ignored;
  std::filesystem::remove_all(tmp_, ignored);
}

// ---- session ------------------------------------------------------------------------------------

void Soak::OpenSession() {
  const int32_t result = Call(
      "init", L::kInit, L::Only({0, -1, 22}), port_, [this] { return init(port_.c_str(), 0); }, PELKOR_NOT_FOUND);
  if (result == PELKOR_ERR_REFUSED) Fail("wrong answer", "init could not open the simulator's terminal " + port_);
  sessionOpen_ = result == PELKOR_OK;
  incomingSeen_ = 0;
  if (!sessionOpen_) std::this_thread::sleep_for(200ms);
}

void Soak::Reopen() {
  Call("terminate", L::kTerminate, L::Only({0}), "", [] { return terminate(); });
  sessionOpen_ = false;
  OpenSession();
}

void Soak::AliveCheck() {
  Call("isalive", L::kNoWait, L::Only({0, 1}), "", [] { return isalive(); });
}

// ---- random choices -----------------------------------------------------------------------------

std::string Soak::RandomText(size_t length, const char *alphabet) {
  const size_t n = std::strlen(alphabet);
  std::string text(length, ' ');
  for (char &c : text) c = alphabet[static_cast<size_t>(Uniform(0, static_cast<int>(n) - 1))];
  return text;
}

std::string Soak::RandomDigits(size_t length) { return RandomText(length, "0123456789"); }

}  // namespace pelkor_soak
