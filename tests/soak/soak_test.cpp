// The fault soak. For SOAK_SECONDS (120 by default) this thread calls a random mix of
// every family of the C API while a second thread makes the simulated phone misbehave
// over its control channel: noise, corrupt frames, a lost frame in a long reply, no
// acknowledgements for a while, silences of 0-12 s, refused sends. Every call must give
// one of its documented results within its time limit (export_limits.h), isalive must
// come back to 1 after each silence and stay there on the idle healthy link, and nothing
// may be lost or altered: every SMS reported sent is in the phone's store exactly once
// with its exact text, every phonebook entry and speed dial reported written is stored
// exactly, nothing refused is stored, and every answer the phone gave is what its state
// holds. SOAK_SEED replays a run's choices (the seed is printed); SOAK_REPORT (or
// --report=PATH) names a JSON file for the figures; SOAK_EXCLUDE leaves out actions by
// name (comma-separated), to look past one known fault at the others.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "export_limits.h"
#include "sim_fixture.h"
#include "soak_support.h"

namespace pelkor_soak {
namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;
using namespace std::chrono_literals;
namespace L = limits;

// Seconds since the epoch of a calendar time taken as UTC.
std::time_t SecondsOf(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return timegm(&tm);
}

int64_t MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// After the phone answers again, isalive must read 1 within this bound. The library
// learns that the phone is back from the answer to the next frame it sends. With
// the host idle that is the keep-alive's status request, sent every 8th cycle of 500 ms
// (4 s) once the exchange is due; while the busy marker is held (an identity query
// leaves it so) the exchange is due only after more than 1 s without traffic (+1 s); a
// restart after ten silent seconds runs its start-up sequence first (about 1.1 s on the
// cable); and the cycle that notices may have just begun its sleep (+0.5 s). That is
// 6.6 s; the rest is scheduling slack.
constexpr int64_t kRecoveryBoundMs = 8000;
// Then, once the phone has answered a request sent after the fault, isalive is sampled
// on the idle link this often for this long: a keep-alive frame on its way to being
// acknowledged may make one sample read 0, two in a row may not.
constexpr int kStayUpSamples = 30;
constexpr auto kStayUpStep = 100ms;

constexpr int kStoreCapacity = 10;                                   // SMS locations, as in kInitialState
constexpr int kPhoneMemory = 0, kSimMemory = 1, kMissingMemory = 6;  // host memory types
constexpr int kCapacityPhone = 100, kCapacitySim = 150;

// Characters that the GSM default alphabet carries one for one.
constexpr char kGsmSafe[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,:;!?()+-*/=<>%&'\"#";

const char *kInitialState = R"({
  "sms": {
    "capacity": 10,
    "messages": [
      {"location": 1, "kind": "received", "read": true, "sender": "+358401234567", "time": [24, 6, 1, 12, 30, 5],
       "text": "A received message long enough that the phone's answer to reading it takes two frames on the line: the soak reads it back and compares every single character."},
      {"location": 2, "kind": "received", "read": false, "sender": "+358409876543", "text": "Short unread message"},
      {"location": 3, "kind": "sent", "read": true, "recipient": "+358401111111", "text": "Stored outgoing message text"},
      {"location": 4, "kind": "report", "recipient": "+358402222222", "status": 0},
      {"location": 5, "kind": "received", "coding": "ucs2", "sender": "+358403333333", "text": "Hi there"},
      {"location": 7, "kind": "received", "sender": "+358404444444", "header": "050003010201",
       "text": "First part of a concatenated message"}
    ]
  }
})";

std::vector<uint8_t> ParseHex(const std::string &text) {
  std::vector<uint8_t> bytes;
  int nibbles = 0, value = 0;
  for (char c : text) {
    int v = -1;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    if (v < 0) continue;
    value = value * 16 + v;
    if (++nibbles == 2) {
      bytes.push_back(static_cast<uint8_t>(value));
      nibbles = value = 0;
    }
  }
  return bytes;
}

std::string Hex(const std::vector<uint8_t> &bytes) {
  std::string out;
  char two[4];
  for (uint8_t b : bytes) {
    std::snprintf(two, sizeof two, "%02X", b);
    out += two;
  }
  return out;
}

const json *At(const json &root, const std::string &pointer) {
  const json::json_pointer p(pointer);
  return root.contains(p) ? &root.at(p) : nullptr;
}

std::string TextAt(const json &root, const std::string &pointer) {
  const json *v = At(root, pointer);
  return v != nullptr && v->is_string() ? v->get<std::string>() : std::string();
}

int IntAt(const json &root, const std::string &pointer, int fallback) {
  const json *v = At(root, pointer);
  return v != nullptr && v->is_number() ? v->get<int>() : fallback;
}

// ---- what was sent by SMS, to be found in the phone's store at the end --------------------------

struct SentSms {
  std::string via;                 // the export
  std::string destination;         // unique per send: the key into the store
  std::vector<std::string> parts;  // expected texts, one per part (text sends)
  int32_t result = 0;
  // Smart Messaging sends: what the phone must have read out of the payload.
  json content;
};

// ---- the figures --------------------------------------------------------------------------------

struct ExportFigures {
  uint64_t calls = 0;
  int64_t longestMs = 0;
  int64_t limitAtLongestMs = 0;
  int64_t worstOverMs = INT64_MIN;  // largest (took - limit)
  std::map<int32_t, uint64_t> results;
};

struct Failures {
  std::map<std::string, uint64_t> counts;
  std::map<std::string, std::vector<std::string>> samples;
};

class Soak;

// Ends the process with a report when a call does not come back.
class Watchdog {
 public:
  explicit Watchdog(std::function<void(const std::string &)> onHang) : onHang_(std::move(onHang)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void Begin(const std::string &what, int64_t hangAfterMs) {
    std::lock_guard lock(mutex_);
    what_ = what;
    started_ = Clock::now();
    hangAfterMs_ = hangAfterMs;
    active_ = true;
  }
  void End() {
    std::lock_guard lock(mutex_);
    active_ = false;
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      wake_.wait_for(lock, 100ms);
      if (active_ && MsSince(started_) > hangAfterMs_) {
        const std::string what = what_ + " still running after " + std::to_string(MsSince(started_)) + " ms";
        lock.unlock();
        onHang_(what);  // does not return
        lock.lock();
      }
    }
  }

  std::function<void(const std::string &)> onHang_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false, active_ = false;
  std::string what_;
  Clock::time_point started_{};
  int64_t hangAfterMs_ = 0;
  std::thread thread_;
};

// An episode after which isalive is probed: a silence, or a time without acks.
struct Episode {
  std::string kind;
  int64_t lengthMs = 0;
};

class Soak {
 public:
  Soak(phonesim::Simulator &sim, std::string port, uint64_t seed, int64_t seconds, std::set<std::string> excluded)
      : sim_(sim), port_(std::move(port)), seed_(seed), seconds_(seconds), excluded_(std::move(excluded)), rng_(seed) {}

  void Run();
  json Report();
  const Failures &failures() const { return failures_; }

 private:
  // ---- calls and their checks ----
  // Runs one export: times it against its limit, checks its result, keeps the figures.
  // `timeoutCode` is what the export gives when the phone does not answer.
  int32_t Call(const std::string &name, int64_t limitMs, const L::Allowed &allowed, const std::string &args,
               const std::function<int32_t()> &body, int32_t timeoutCode = PELKOR_ERR_TIMEOUT);
  void Fail(const std::string &kind, const std::string &detail);
  bool Clean(uint64_t faultsBefore) const;
  void Hang(const std::string &what);

  // ---- faults ----
  void FaultLoop();
  void Inject(const std::string &line);
  bool PauseFaults(std::chrono::milliseconds length);
  void ServeRecovery();
  void ProbeRecovery(const Episode &episode);

  // ---- actions ----
  using Action = void (Soak::*)();
  struct Choice {
    const char *name;
    int weight;
    Action action;
  };
  std::vector<Choice> Choices() const;
  int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }
  std::string RandomText(size_t length, const char *alphabet = kGsmSafe);
  std::string RandomDigits(size_t length);
  std::string NextDestination();
  json State() const { return sim_.state(); }

  void OpenSession();
  void Identity();
  void PhoneStatus();
  void Display();
  void ClockRead();
  void ClockSet();
  void AlarmRead();
  void AlarmSet();
  void Dial();
  void Dtmf();
  void Beep();
  void Tone();
  void ToneNegative();
  void ResetPhone();
  void IncomingCall();
  void NetworkInfo();
  void NetMonitor();
  void SmsShort();
  void SmsLong();
  void SmsUcs2();
  void SmsCentreRefused();
  void SmsCentre();
  void SendText(const std::string &via, const std::string &text, int32_t centre, int32_t options);
  void StoreScan();
  void StoreQueries();
  void StoreCounts();
  void StoreDelete();
  void StoreRead();
  void StoreDeliver();
  void CompareList();
  void RingtoneEdit();
  void RingtoneFiles();
  void RingtoneUpload();
  void RingtoneSms();
  void MakeTone();
  void LogoEdit();
  void LogoFiles();
  void LogoUpload();
  void LogoText();
  void LogoDownload();
  void CheckDownload(int kind, int group);
  void LostFrameScene();
  void LogoSms();
  std::vector<uint8_t> MakeLogo(int kind);
  std::vector<uint8_t> LibraryBitmap(int kind);
  void PhonebookRead();
  void PhonebookWrite();
  void SpeedDialRead();
  void SpeedDialWrite();
  void Wave();
  void AliveCheck();
  void Reopen();
  void FinalChecks();
  void CheckSmsStore();

  phonesim::Simulator &sim_;
  std::string port_;
  uint64_t seed_;
  int64_t seconds_;
  std::set<std::string> excluded_;
  std::mt19937_64 rng_;
  std::string tmp_;
  Clock::time_point started_{};
  int64_t ranMs_ = 0;
  std::unique_ptr<Watchdog> watchdog_;

  mutable std::mutex mutex_;  // figures, failures: the watchdog reads them too
  std::map<std::string, ExportFigures> exports_;
  std::map<int32_t, uint64_t> results_;
  Failures failures_;
  uint64_t calls_ = 0;
  std::map<std::string, uint64_t> unexplainedTimeouts_;
  std::map<std::string, uint64_t> multiFrame_;
  json episodes_ = json::array();
  std::string hung_;

  // Fault thread and its hand-over to this thread.
  std::atomic<bool> stopFaults_{false};
  std::atomic<uint64_t> faultEvents_{0};  // every injection, every start and end of an episode
  std::atomic<bool> silentNow_{false}, ackOffNow_{false};
  std::atomic<uint64_t> silenceEvents_{0};  // starts and ends of silences
  std::mutex faultMutex_;
  std::condition_variable faultWake_;
  std::optional<Episode> pendingRecovery_;
  std::map<std::string, uint64_t> faultCounts_;
  uint64_t noiseBytes_ = 0, silentMs_ = 0, ackOffMs_ = 0, longestSilenceMs_ = 0, longSilences_ = 0;

  // What this thread knows of the phone and the library.
  bool sessionOpen_ = false;
  int destinationSerial_ = 0;
  int32_t centreIndex_ = 1;
  std::vector<SentSms> sms_;
  std::map<std::pair<int, int>, Clock::time_point> entryWrites_;  // (memory type, location)
  std::map<int, Clock::time_point> speedDialWrites_;
  uint64_t entriesWritten_ = 0, entriesStored_ = 0, entriesRefused_ = 0;
  uint64_t dialsWritten_ = 0, dialsStored_ = 0;
  uint64_t ringtoneUploads_ = 0;
  int32_t incomingSeen_ = 0;
  std::optional<std::pair<std::time_t, Clock::time_point>> phoneClock_;  // set value, when
  std::optional<std::pair<int, int>> alarm_;
  std::string toneName_;
  int toneNotes_ = 0;
  json smsFigures_ = json::object();
};

// ---- calls --------------------------------------------------------------------------------------

int32_t Soak::Call(const std::string &name, int64_t limitMs, const L::Allowed &allowed, const std::string &args,
                   const std::function<int32_t()> &body, int32_t timeoutCode) {
  const std::string what = name + "(" + args + ")";
  const uint64_t faultsBefore = faultEvents_.load();
  const size_t lostBefore = sim_.frames_lost();
  watchdog_->Begin(what, L::HangAfter(limitMs));
  const auto start = Clock::now();
  const int32_t result = body();
  const int64_t took = MsSince(start);
  watchdog_->End();

  const int64_t allowedMs = limitMs + L::Margin(limitMs);
  {
    std::lock_guard lock(mutex_);
    ExportFigures &f = exports_[name];
    ++f.calls;
    ++calls_;
    // Counts and other values are not result codes: only their range is checked.
    if (!allowed.range) {
      ++f.results[result];
      ++results_[result];
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
      sim_.frames_lost() == lostBefore && sim_.frame_loss_pending() == 0) {
    std::lock_guard lock(mutex_);
    ++unexplainedTimeouts_[name];
  }
  return result;
}

void Soak::Fail(const std::string &kind, const std::string &detail) {
  const double at = static_cast<double>(MsSince(started_)) / 1000.0;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "[%.1f s] ", at);
  std::lock_guard lock(mutex_);
  const uint64_t n = ++failures_.counts[kind];
  if (n <= 8) {
    failures_.samples[kind].push_back(stamp + detail);
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
    hung_ = what;
  }
  Fail("hang", what);
  std::fprintf(stderr, "soak: a call hangs (%s); seed %llu. Writing the report and ending the process.\n", what.c_str(),
               static_cast<unsigned long long>(seed_));
  WriteReport("SOAK_REPORT", Report());
  std::fflush(nullptr);
  std::_Exit(3);
}

// ---- faults -------------------------------------------------------------------------------------

void Soak::Inject(const std::string &line) {
  const std::string answer = sim_.control(line);
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
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  // noise, corrupt frame, lost frame, refused send, no acknowledgements, silence
  const std::vector<int> weights = {30, 15, 16, 12, 7, 8};
  std::discrete_distribution<int> pick(weights.begin(), weights.end());
  // A frame loss waits for the next long reply; one that no reply took within this
  // time is withdrawn, so that long replies also get through whole.
  constexpr int64_t kLossWaitsMs = 3000;
  bool lossArmed = false;
  Clock::time_point lossArmedAt{};
  while (PauseFaults(std::chrono::milliseconds(uniform(100, 700)))) {
    if (lossArmed && sim_.frame_loss_pending() == 0) lossArmed = false;
    if (lossArmed && MsSince(lossArmedAt) > kLossWaitsMs) {
      Inject("lose-frame 0");
      lossArmed = false;
      std::lock_guard lock(faultMutex_);
      ++faultCounts_["lost_frame_withdrawn"];
    }
    const int kind = pick(rng);
    if (kind == 0) {
      const int bytes = uniform(1, 200);
      Inject("noise " + std::to_string(bytes));
      std::lock_guard lock(faultMutex_);
      ++faultCounts_["noise"];
      noiseBytes_ += static_cast<uint64_t>(bytes);
    } else if (kind == 1) {
      Inject("corrupt");
      std::lock_guard lock(faultMutex_);
      ++faultCounts_["corrupt_frame"];
    } else if (kind == 2) {
      if (lossArmed) continue;
      Inject("lose-frame " + std::to_string(uniform(1, 5)));
      lossArmed = true;
      lossArmedAt = Clock::now();
      std::lock_guard lock(faultMutex_);
      ++faultCounts_["lost_frame"];
    } else if (kind == 3) {
      Inject("sms fail-next");
      std::lock_guard lock(faultMutex_);
      ++faultCounts_["refused_send"];
    } else {
      const bool silence = kind == 5;
      const int length = silence ? uniform(0, 12000) : uniform(500, 6000);
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
        ++faultCounts_["silence"];
        silentMs_ += static_cast<uint64_t>(lasted);
        longestSilenceMs_ = std::max<uint64_t>(longestSilenceMs_, static_cast<uint64_t>(lasted));
        if (lasted >= 10000) ++longSilences_;
      } else {
        ++faultCounts_["no_acks"];
        ackOffMs_ += static_cast<uint64_t>(lasted);
      }
      if (stopFaults_.load()) break;
      // Nothing more until the host has watched isalive come back on a quiet line.
      pendingRecovery_ = Episode{silence ? "silence" : "no acks", lasted};
      faultWake_.wait(lock, [this] { return !pendingRecovery_ || stopFaults_.load(); });
    }
  }
  sim_.control("silent off");
  sim_.control("ack on");
  sim_.control("lose-frame 0");
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
  episodes_.push_back({{"after", episode.kind},
                       {"length_ms", episode.lengthMs},
                       {"back_after_ms", recovered},
                       {"zero_samples_after", zeros}});
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
  sim_.load_state(json::parse(kInitialState));

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

// ---- identity and status ------------------------------------------------------------------------

void Soak::Identity() {
  struct Query {
    const char *name;
    int32_t (*fn)(char *, int32_t);
    std::string expected;
  };
  const json state = State();
  std::string revision = "SW" + TextAt(state, "/identity/software") + ", HW" + TextAt(state, "/identity/hardware");
  revision.resize(std::min<size_t>(revision.size(), 19));
  const Query queries[] = {{"getimei", getimei, TextAt(state, "/identity/imei")},
                           {"getrevision", getrevision, revision},
                           {"getmodel", getmodel, TextAt(state, "/identity/model")},
                           {"getswdate", getswdate, TextAt(state, "/identity/date")}};
  const Query &q = queries[Uniform(0, 3)];
  char buffer[64];
  const int32_t result = Call(
      q.name, L::kIdentity, L::Only({0, 5, -1}), "", [&] { return q.fn(buffer, sizeof buffer); },
      PELKOR_ERR_IDENTITY_UNKNOWN);
  if (result == PELKOR_OK && q.expected != buffer)
    Fail("wrong answer", std::string(q.name) + " gave '" + buffer + "', the phone says '" + q.expected + "'");
}

void Soak::PhoneStatus() {
  const json state = State();
  const int which = Uniform(0, 2);
  int32_t level = -7;
  if (which == 2) {
    const int32_t power = Call(
        "uses_acdc_power", L::kPhoneStatus, L::Only({0, 1}), "", [] { return uses_acdc_power(); }, INT32_MIN);
    if (power == 1 && IntAt(state, "/status/power", 0) != 1) Fail("wrong answer", "uses_acdc_power gave 1 on battery");
    return;
  }
  const char *name = which == 0 ? "getrflevel" : "getbatterylevel";
  const int32_t result = Call(name, L::kPhoneStatus, L::Only({0, 4}), "",
                              [&] { return which == 0 ? getrflevel(&level) : getbatterylevel(&level); });
  const int expected = 100 * IntAt(state, which == 0 ? "/status/signal" : "/status/battery", -1);
  if (result == PELKOR_OK && level != expected)
    Fail("wrong answer",
         std::string(name) + " gave " + std::to_string(level) + ", the phone says " + std::to_string(expected));
}

void Soak::Display() {
  const json state = State();
  std::string expected(8, '0');
  if (const json *indicators = At(state, "/display/indicators"))
    for (const auto &[key, on] : indicators->items()) {
      const int n = std::atoi(key.c_str());
      if (n >= 1 && n <= 8 && on.is_boolean() && on.get<bool>()) expected[static_cast<size_t>(n - 1)] = '1';
    }
  char buffer[16];
  const int32_t result = Call("getdisplaystatus", L::kDisplay, L::Only({0, 4}), "",
                              [&] { return getdisplaystatus(buffer, sizeof buffer); });
  if (result == PELKOR_OK && expected != buffer)
    Fail("wrong answer", std::string("getdisplaystatus gave ") + buffer + ", the phone shows " + expected);
}

// ---- clock and alarm ----------------------------------------------------------------------------

void Soak::ClockRead() {
  int32_t y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  const int32_t result =
      Call("getdatetime", L::kGetDateTime, L::Only({0, 4}), "", [&] { return getdatetime(&y, &mo, &d, &h, &mi, &s); });
  if (result != PELKOR_OK) return;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || y < 1990 || y > 2100) {
    Fail("wrong answer", std::string("getdatetime gave ") + text);
    return;
  }
  if (!phoneClock_) return;
  const std::time_t got = SecondsOf(y, mo, d, h, mi, s);
  const std::time_t expected = phoneClock_->first + MsSince(phoneClock_->second) / 1000;
  if (std::llabs(static_cast<long long>(got - expected)) > 3)
    Fail("wrong answer",
         std::string("getdatetime gave ") + text + ", " + std::to_string(got - expected) + " s off the time set");
}

void Soak::ClockSet() {
  const int y = Uniform(2001, 2030), mo = Uniform(1, 12), d = Uniform(1, 28), h = Uniform(0, 23), mi = Uniform(0, 59),
            s = Uniform(0, 59);
  char args[64];
  std::snprintf(args, sizeof args, "%d,%d,%d,%d,%d,%d", y, mo, d, h, mi, s);
  const int32_t result =
      Call("setdatetime", L::kSetDateTime, L::Only({0, 13, 4}), args, [&] { return setdatetime(y, mo, d, h, mi, s); });
  if (result == PELKOR_OK) {
    phoneClock_ = std::make_pair(SecondsOf(y, mo, d, h, mi, 0), Clock::now());  // the seconds are not sent
  } else {
    phoneClock_.reset();  // the phone may or may not have taken it
  }
}

void Soak::AlarmRead() {
  int32_t enabled = -1, hour = -1, minute = -1;
  const int32_t result =
      Call("getalarm", L::kGetAlarm, L::Only({0, 4}), "", [&] { return getalarm(&enabled, &hour, &minute); });
  if (result == PELKOR_OK && alarm_ && (enabled != 1 || hour != alarm_->first || minute != alarm_->second))
    Fail("wrong answer", "getalarm gave " + std::to_string(enabled) + " " + std::to_string(hour) + ":" +
                             std::to_string(minute) + " after setalarm " + std::to_string(alarm_->first) + ":" +
                             std::to_string(alarm_->second));
}

void Soak::AlarmSet() {
  const int hour = Uniform(0, 23), minute = Uniform(0, 59);
  const int32_t result =
      Call("setalarm", L::kSetAlarm, L::Only({0, 13, 4}), std::to_string(hour) + "," + std::to_string(minute),
           [&] { return setalarm(hour, minute); });
  if (result == PELKOR_OK)
    alarm_ = std::make_pair(hour, minute);
  else
    alarm_.reset();
}

// ---- calls and tones ----------------------------------------------------------------------------

void Soak::Dial() {
  const std::string number = RandomDigits(static_cast<size_t>(Uniform(3, 15)));
  Call("dialvoice", L::kNoWait, L::Only({0}), number, [&] { return dialvoice(number.c_str()); });
  std::this_thread::sleep_for(std::chrono::milliseconds(Uniform(0, 200)));
  Call("hangup", L::kNoWait, L::Only({0}), "", [] { return hangup(); });
}

void Soak::Dtmf() {
  const std::string digits = RandomText(static_cast<size_t>(Uniform(1, 20)), "0123456789*#");
  Call("send_dtmf", L::kNoWait, L::Only({0}), digits, [&] { return send_dtmf(digits.c_str()); });
}

void Soak::Beep() {
  Call("gsmbeep", L::kBeepOn, L::Only({1}), "1", [] { return gsmbeep(1); });
  std::this_thread::sleep_for(std::chrono::milliseconds(Uniform(0, 100)));
  Call("gsmbeep", L::kNoWait, L::Only({1}), "0", [] { return gsmbeep(0); });
}

void Soak::Tone() {
  const int volume = Uniform(0, 10), frequency = Uniform(200, 4000), duration = Uniform(0, 400);
  Call("play_tone", L::PlayTone(duration), L::Only({1}),
       std::to_string(volume) + "," + std::to_string(frequency) + "," + std::to_string(duration),
       [&] { return play_tone(volume, frequency, duration); });
}

// Durations a caller may pass by mistake: a negative one plays nothing, however large.
void Soak::ToneNegative() {
  const int32_t durations[] = {INT32_MIN, INT32_MIN + 1, INT32_MIN + 4, INT32_MIN + 14, -1000000, -15, -1};
  const int32_t duration = durations[Uniform(0, 6)];
  Call("play_tone", L::PlayTone(duration), L::Only({1}), "4,1000," + std::to_string(duration),
       [&] { return play_tone(4, 1000, duration); });
}

void Soak::ResetPhone() {
  const char *kinds[] = {"soft", "hard", nullptr, "HARD"};
  const char *kind = kinds[Uniform(0, 3)];
  Call("reset", L::kNoWait, L::Only({0}), kind ? kind : "null", [&] { return reset(kind); });
}

// The phone announces a call; the library reports its number once.
void Soak::IncomingCall() {
  const std::string number = RandomDigits(static_cast<size_t>(Uniform(6, 12)));
  const uint64_t faultsBefore = faultEvents_.load();
  const size_t lostBefore = sim_.frames_lost();
  if (sim_.control("call incoming " + number) != "ok") return;
  char buffer[32] = {};
  int32_t result = PELKOR_ERR_NO_CALL;
  const auto began = Clock::now();
  while (MsSince(began) < 500) {
    result = Call("incoming", L::kNoWait, L::Only({0, 23}), "", [&] { return incoming(buffer, sizeof buffer); });
    if (result == PELKOR_OK && (buffer == number || buffer == "D" + number.substr(1))) break;
    std::this_thread::sleep_for(20ms);
  }
  const int32_t event = Call("incomingevent", L::kNoWait, L::Only({0, 1}), "", [] { return incomingevent(); });
  const bool clean = Clean(faultsBefore) && sim_.frames_lost() == lostBefore;
  if (clean && (result != PELKOR_OK || (buffer != number && buffer != "D" + number.substr(1))))
    Fail("wrong answer", "incoming gave " + std::to_string(result) + " '" + buffer + "' for a call from " + number);
  if (clean && event != 1) Fail("wrong answer", "incomingevent gave 0 after a call was announced");
  sim_.control("call end");
}

// ---- network ------------------------------------------------------------------------------------

void Soak::NetworkInfo() {
  const json state = State();
  char code[10], area[10], cell[10];
  const int32_t result = Call("getnetworkinfo", L::kNetworkInfo, L::Only({0, 4}), "",
                              [&] { return getnetworkinfo(code, sizeof code, area, sizeof area, cell, sizeof cell); });
  if (result != PELKOR_OK) return;
  const std::string expectedCode = TextAt(state, "/network/mcc") + " " + TextAt(state, "/network/mnc");
  char lac[8], id[8];
  std::snprintf(lac, sizeof lac, "%04x", IntAt(state, "/network/lac", 0));
  std::snprintf(id, sizeof id, "%04x", IntAt(state, "/network/cell_id", 0));
  const std::set<std::string> expectedPair = {lac, id}, got = {area, cell};
  if (expectedCode != code || expectedPair != got)
    Fail("wrong answer", std::string("getnetworkinfo gave '") + code + "' '" + area + "' '" + cell + "'");
}

void Soak::NetMonitor() {
  const char *screens[] = {"1", "2", "3", "next", "field", "off", "devel"};
  const char *screen = screens[Uniform(0, 6)];
  char buffer[64];
  Call("netmonitor", L::kNetMonitor, L::Only({0}), screen, [&] { return netmonitor(screen, buffer, sizeof buffer); });
  if (buffer[0] == '\0') return;
  const json state = State();
  bool known = false;
  if (const json *texts = At(state, "/netmonitor/screens"))
    for (const auto &[key, text] : texts->items())
      if (text.is_string() && text.get<std::string>() == buffer) known = true;
  if (!known) Fail("wrong answer", std::string("netmonitor gave '") + buffer + "'");
}

// ---- SMS sending --------------------------------------------------------------------------------

std::string Soak::RandomText(size_t length, const char *alphabet) {
  const size_t n = std::strlen(alphabet);
  std::string text(length, ' ');
  for (char &c : text) c = alphabet[static_cast<size_t>(Uniform(0, static_cast<int>(n) - 1))];
  return text;
}

std::string Soak::RandomDigits(size_t length) { return RandomText(length, "0123456789"); }

std::string Soak::NextDestination() {
  char number[24];
  std::snprintf(number, sizeof number, "+35850%07d", ++destinationSerial_);
  return number;
}

void Soak::SendText(const std::string &via, const std::string &text, int32_t centre, int32_t options) {
  SentSms sent;
  sent.via = via;
  sent.destination = NextDestination();
  for (size_t at = 0; at < text.size() || at == 0; at += 153) {
    sent.parts.push_back(text.size() <= 160 ? text : text.substr(at, 153));
    if (text.size() <= 160) break;
  }
  char args[96];
  std::snprintf(args, sizeof args, "%s, %zu characters, centre %d, options 0x%X", sent.destination.c_str(), text.size(),
                centre, options);
  sent.result = Call(via, L::SendSms(text.size()), L::Only({0, 4, 19, 22}), args,
                     [&] { return sendsms(sent.destination.c_str(), text.c_str(), centre, options); });
  centreIndex_ = centre;
  for (const std::string &part : sent.parts)
    if (part.size() > 89) ++multiFrame_["sms_parts_sent_in_two_frames"];
  sms_.push_back(std::move(sent));
}

void Soak::SmsShort() {
  const size_t length = Chance(0.1) ? 160 : static_cast<size_t>(Uniform(1, 160));
  const int32_t options = Uniform(0, 4) | (Chance(0.2) ? 0x10000 : 0);
  SendText("sendsms", RandomText(length), Uniform(1, 2), options);
}

void Soak::SmsLong() {
  const size_t lengths[] = {161, 306, 307, 459};
  const size_t length = Chance(0.3) ? lengths[Uniform(0, 3)] : static_cast<size_t>(Uniform(161, 459));
  SendText("sendsms", RandomText(length), Uniform(1, 2), Uniform(0, 4));
}

void Soak::SmsUcs2() {
  const std::string text = RandomText(static_cast<size_t>(Uniform(1, 70)));
  const std::string file = tmp_ + "/ucs2.txt";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.put(static_cast<char>(0xFE)).put(static_cast<char>(0xFF));
    for (char c : text) out.put('\0').put(c);
  }
  SentSms sent;
  sent.via = "senducs2";
  sent.destination = NextDestination();
  sent.parts = {text};
  const int32_t centre = Uniform(1, 2);
  sent.result = Call("senducs2", L::kOneSms, L::Only({0, 4, 19, 22}), sent.destination,
                     [&] { return senducs2(sent.destination.c_str(), file.c_str(), centre, 0); });
  centreIndex_ = centre;
  sms_.push_back(std::move(sent));
}

// A message centre the phone does not have: nothing may be sent.
void Soak::SmsCentreRefused() {
  Call("setsmsmessagecenter", L::kNoWait, L::Only({0}), "3", [] { return setsmsmessagecenter(3, nullptr); });
  centreIndex_ = 3;
  char buffer[48];
  Call("getsmsmessagecenter", L::kCentreQuery, L::Only({3}), "",
       [&] { return getsmsmessagecenter(buffer, sizeof buffer); });
  if (buffer[0] != '\0')
    Fail("wrong answer", std::string("message centre 3 does not exist, yet its number is ") + buffer);
  SentSms sent;
  sent.via = "sendsms";
  sent.destination = NextDestination();
  sent.parts = {RandomText(40)};
  sent.result = Call("sendsms", L::kOneSms, L::Only({22, 4}), sent.destination + ", centre 3",
                     [&] { return sendsms(sent.destination.c_str(), sent.parts[0].c_str(), 3, 0); });
  sms_.push_back(std::move(sent));
  Call("setsmsmessagecenter", L::kNoWait, L::Only({0}), "1", [] { return setsmsmessagecenter(1, nullptr); });
  centreIndex_ = 1;
}

void Soak::SmsCentre() {
  if (Chance(0.5)) {
    const int32_t index = Uniform(1, 2);
    Call("setsmsmessagecenter", L::kNoWait, L::Only({0}), std::to_string(index),
         [&] { return setsmsmessagecenter(index, nullptr); });
    centreIndex_ = index;
  }
  char buffer[48];
  Call("getsmsmessagecenter", L::kCentreQuery, L::Only({centreIndex_}), "",
       [&] { return getsmsmessagecenter(buffer, sizeof buffer); });
  const json state = State();
  bool known = buffer[0] == '\0';
  if (const json *centres = At(state, "/sms/centres"))
    for (const json &c : *centres)
      if (c.is_object() && c.value("number", "") == buffer) known = true;
  if (!known) Fail("wrong answer", std::string("getsmsmessagecenter gave the unknown number ") + buffer);
}

// ---- the SMS store ------------------------------------------------------------------------------

namespace {

struct StoredMessage {
  int location = 0;
  std::string kind, coding, text, party;
  int status = 0;
};

std::vector<StoredMessage> StoreOf(const json &state) {
  std::vector<StoredMessage> out;
  const json *messages = At(state, "/sms/messages");
  if (messages == nullptr || !messages->is_array()) return out;
  for (const json &m : *messages) {
    if (!m.is_object()) continue;
    StoredMessage s;
    s.location = m.value("location", 0);
    s.kind = m.value("kind", "received");
    s.coding = m.value("coding", "gsm");
    s.text = m.value("text", "");
    s.party = m.value(s.kind == "received" || s.kind == "other" ? "sender" : "recipient", "");
    s.status = m.value("status", 0);
    if (s.location >= 1 && s.location <= kStoreCapacity) out.push_back(s);
  }
  std::sort(out.begin(), out.end(),
            [](const StoredMessage &a, const StoredMessage &b) { return a.location < b.location; });
  return out;
}

int KindCode(const std::string &kind) {
  return kind == "sent" ? 11 : kind == "report" ? 12 : kind == "received" ? 13 : 0;
}

std::string ReportText(int status) {
  if (status < 3) return "Delivered";
  if (status & 0x40) return "Failed";
  if (status & 0x20) return "Pending";
  return "Unknown";
}

}  // namespace

void Soak::StoreScan() {
  const int32_t result =
      Call("updatesmslist", L::SmsScan(kStoreCapacity), L::Only({0, 4, 8}), "", [] { return updatesmslist(); });
  if (result == PELKOR_ERR_SMS_READ) CompareList();
}

// After a complete scan the list holds the store, in location order.
void Soak::CompareList() {
  const auto store = StoreOf(State());
  for (int code : {11, 12, 13}) {
    std::vector<const StoredMessage *> expected;
    for (const auto &m : store)
      if (KindCode(m.kind) == code) expected.push_back(&m);
    const int32_t count = Call("getsmsmsgcount", L::kNoWait, L::Between(0, 512), std::to_string(code),
                               [&] { return getsmsmsgcount(code); });
    if (count != static_cast<int32_t>(expected.size())) {
      Fail("wrong answer", "after a complete scan getsmsmsgcount(" + std::to_string(code) + ") gave " +
                               std::to_string(count) + ", the store holds " + std::to_string(expected.size()));
      continue;
    }
    for (size_t i = 0; i < expected.size(); ++i) {
      const StoredMessage &m = *expected[i];
      const int32_t n = static_cast<int32_t>(i + 1);
      char text[300], party[64];
      Call("getsmsmsgdata", L::kNoWait, L::Only({0}), std::to_string(code) + "," + std::to_string(n) + ",1",
           [&] { return getsmsmsgdata(code, n, 1, text, sizeof text); });
      Call("getsmsmsgdata", L::kNoWait, L::Only({0}), std::to_string(code) + "," + std::to_string(n) + ",2",
           [&] { return getsmsmsgdata(code, n, 2, party, sizeof party); });
      std::string want = m.kind == "report" ? ReportText(m.status) : m.coding == "gsm" ? m.text : "";
      if (m.coding == "gsm" || m.kind == "report") {
        if (want != text)
          Fail("wrong answer", "list entry " + std::to_string(code) + "/" + std::to_string(n) + " (location " +
                                   std::to_string(m.location) + ") reads '" + text + "', the store holds '" + want +
                                   "'");
      }
      if (m.kind == "received" && m.party != party)
        Fail("wrong answer", "list entry " + std::to_string(code) + "/" + std::to_string(n) + " has sender '" + party +
                                 "', the store says '" + m.party + "'");
      if (m.text.size() >= 100) ++multiFrame_["sms_reads_in_two_frames"];
    }
  }
}

void Soak::StoreQueries() {
  const int codes[] = {11, 12, 13, 0};
  const int code = codes[Uniform(0, 3)];
  const int32_t count = Call("getsmsmsgcount", L::kNoWait, L::Between(0, 512), std::to_string(code),
                             [&] { return getsmsmsgcount(code); });
  const int32_t n = Uniform(1, count + 1);
  const std::string args = std::to_string(code) + "," + std::to_string(n);
  const bool exists = n <= count;
  const L::Allowed found = exists ? L::Only({0}) : L::Only({-1});
  Call("getsmssentread", L::kNoWait, exists ? L::Only({0, 1}) : L::Only({0}), args,
       [&] { return getsmssentread(code, n); });
  char buffer[300];
  const int field = Uniform(1, 3);
  Call("getsmsmsgdata", L::kNoWait, found, args + "," + std::to_string(field),
       [&] { return getsmsmsgdata(code, n, field, buffer, sizeof buffer); });
  int32_t y, mo, d, h, mi, s;
  Call("getsmsmsgdatetime", L::kNoWait, found, args,
       [&] { return getsmsmsgdatetime(code, n, &y, &mo, &d, &h, &mi, &s); });
}

void Soak::StoreCounts() {
  if (Chance(0.5))
    Call("getsmsmsgunread", L::kSmsCounts, L::Between(0, 255), "", [] { return getsmsmsgunread(); });
  else
    Call("getsmsmsgtotal", L::kSmsCounts, L::Between(0, 255), "", [] { return getsmsmsgtotal(); });
}

void Soak::StoreDelete() {
  if (StoreOf(State()).size() <= 3) return;  // keep something to read
  const int codes[] = {11, 13};
  const int code = codes[Uniform(0, 1)];
  const int32_t before = getsmsmsgcount(code);
  const int32_t n = Uniform(1, std::max(1, before));
  const int32_t result = Call("deletesmsmsg", L::kSmsDelete, before > 0 ? L::Only({0, 4}) : L::Only({-1}),
                              std::to_string(code) + "," + std::to_string(n), [&] { return deletesmsmsg(code, n); });
  const int32_t after = getsmsmsgcount(code);
  if (result == PELKOR_OK && after != before - 1)
    Fail("wrong answer", "deletesmsmsg gave 0 but the list went from " + std::to_string(before) + " to " +
                             std::to_string(after) + " entries");
}

void Soak::StoreRead() {
  const int location = Uniform(1, kStoreCapacity + 1);
  char number[64], text[300];
  const int32_t result = Call(
      "getsms", L::kSmsRead, L::Only({11, 12, 13, 3, 4, 5}), std::to_string(location),
      [&] { return getsms(location, number, sizeof number, text, sizeof text); }, 5);
  if (result == 5) return;  // no answer
  const auto store = StoreOf(State());
  const StoredMessage *m = nullptr;
  for (const auto &s : store)
    if (s.location == location) m = &s;
  const int expected = location > kStoreCapacity ? 3 : m == nullptr ? 4 : KindCode(m->kind) ? KindCode(m->kind) : 13;
  if (result != expected) {
    Fail("wrong answer", "getsms(" + std::to_string(location) + ") gave " + std::to_string(result) +
                             ", the store says " + std::to_string(expected));
    return;
  }
  if (m == nullptr) return;
  const std::string want = m->kind == "report" ? ReportText(m->status) : m->text;
  if ((m->coding == "gsm" || m->kind == "report") && want != text)
    Fail("wrong answer",
         "getsms(" + std::to_string(location) + ") read '" + text + "', the store holds '" + want + "'");
  if (m->kind == "received" && m->party != number)
    Fail("wrong answer",
         "getsms(" + std::to_string(location) + ") gave sender '" + number + "', the store says '" + m->party + "'");
  if (m->text.size() >= 100) ++multiFrame_["sms_reads_in_two_frames"];
}

// A new message arrives; smsreceivedcount counts the notice and reads it into the list.
void Soak::StoreDeliver() {
  if (static_cast<int>(StoreOf(State()).size()) < kStoreCapacity - 2) {
    const std::string sender = "+3584" + RandomDigits(8);
    const std::string text = RandomText(static_cast<size_t>(Uniform(20, 160)));
    sim_.control("sms deliver " + sender + " " + text);
    std::this_thread::sleep_for(100ms);
  }
  const int32_t count =
      Call("smsreceivedcount", L::kSmsRead, L::Between(0, INT32_MAX), "", [] { return smsreceivedcount(); });
  if (count < incomingSeen_)
    Fail("wrong answer", "smsreceivedcount went down from " + std::to_string(incomingSeen_) + " to " +
                             std::to_string(count) + " within one session");
  incomingSeen_ = std::max(incomingSeen_, count);
}

// ---- ringtones ----------------------------------------------------------------------------------

void Soak::MakeTone() {
  toneName_ = RandomText(static_cast<size_t>(Uniform(0, 15)), "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  toneNotes_ = Uniform(1, 40);
  const int tempos[] = {63, 80, 100, 125, 160, 200};
  const int tempo = tempos[Uniform(0, 5)];
  Call("ringtone_setname", L::kNoWait, L::Only({0}), toneName_, [&] { return ringtone_setname(toneName_.c_str()); });
  Call("ringtone_settempo", L::kNoWait, L::Only({0}), std::to_string(tempo), [&] { return ringtone_settempo(tempo); });
  Call("ringtone_setnotes", L::kNoWait, L::Only({0}), "0", [] { return ringtone_setnotes(0); });
  const char *durations[] = {"1", "2", "4", "8", "16", "32"};
  const char *steps[] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "h", "p"};
  for (int i = 0; i < toneNotes_; ++i) {
    std::string note = std::string(durations[Uniform(0, 5)]) + steps[Uniform(0, 12)];
    if (Chance(0.2)) note += ".";
    if (note.find('p') == std::string::npos) note += std::to_string(Uniform(4, 7));
    Call("ringtone_setnote", L::kNoWait, L::Only({0}), std::to_string(i) + "," + note,
         [&] { return ringtone_setnote(i, note.c_str()); });
  }
  const int32_t notes =
      Call("ringtone_getnotes", L::kNoWait, L::Between(0, 256), "", [] { return ringtone_getnotes(); });
  const int32_t gotTempo =
      Call("ringtone_gettempo", L::kNoWait, L::Between(0, 65535), "", [] { return ringtone_gettempo(); });
  if (notes != toneNotes_ || gotTempo != tempo)
    Fail("wrong answer", "the ringtone holds " + std::to_string(notes) + " notes at " + std::to_string(gotTempo) +
                             " bpm after setting " + std::to_string(toneNotes_) + " at " + std::to_string(tempo));
}

void Soak::RingtoneEdit() {
  MakeTone();
  char buffer[64];
  Call("ringtone_getname", L::kNoWait, L::Only({0}), "", [&] { return ringtone_getname(buffer, sizeof buffer); });
  if (toneName_ != buffer) Fail("wrong answer", "ringtone_getname gave '" + std::string(buffer) + "'");
  const int index = Uniform(0, toneNotes_);
  Call("ringtone_getnote", L::kNoWait, L::Only({0}), std::to_string(index),
       [&] { return ringtone_getnote(index, buffer, sizeof buffer); });
  Call("ringtone_setnotes", L::kNoWait, L::Only({-1}), "257", [] { return ringtone_setnotes(257); });
}

void Soak::RingtoneFiles() {
  MakeTone();
  const std::string file = tmp_ + "/tone.txt";
  Call("ringtone_writefile", L::kNoWait, L::Only({0}), file, [&] { return ringtone_writefile(file.c_str()); });
  Call("ringtone_readfile", L::kNoWait, L::Only({0}), file, [&] { return ringtone_readfile(file.c_str()); });
  const int32_t notes = ringtone_getnotes();
  if (notes != toneNotes_)
    Fail("wrong answer",
         "a ringtone of " + std::to_string(toneNotes_) + " notes read back with " + std::to_string(notes));
  const std::string missing = tmp_ + "/no-such-tone.txt";
  Call("ringtone_readfile", L::kNoWait, L::Only({-1}), missing, [&] { return ringtone_readfile(missing.c_str()); });
}

void Soak::RingtoneUpload() {
  if (Chance(0.5)) MakeTone();
  const int variant = Uniform(0, 1);
  if (Call("ringtone_upload", L::kNoWait, L::Only({0}), std::to_string(variant),
           [&] { return ringtone_upload(variant); }) == PELKOR_OK)
    ++ringtoneUploads_;
}

void Soak::RingtoneSms() {
  MakeTone();
  SentSms sent;
  sent.via = "ringtone_sendsms";
  sent.destination = NextDestination();
  sent.content = {{"name", toneName_}, {"notes", toneNotes_}};
  sent.result = Call("ringtone_sendsms", L::kOneSms, L::Only({0, 4, 19, 22}), sent.destination,
                     [&] { return ringtone_sendsms(sent.destination.c_str()); });
  sms_.push_back(std::move(sent));
}

// ---- logos --------------------------------------------------------------------------------------

namespace {

int Width(int kind) { return kind == PELKOR_LOGO_STARTUP ? 84 : 72; }
int Height(int kind) { return kind == PELKOR_LOGO_STARTUP ? 48 : 14; }

// Where a pixel's bit lives, as the phone keeps the bitmap.
std::pair<size_t, int> BitOf(int kind, int x, int y) {
  if (kind == PELKOR_LOGO_STARTUP) return {static_cast<size_t>(x + (y / 8) * 84), y % 8};
  return {static_cast<size_t>(y * 9 + x / 8), 7 - x % 8};
}

}  // namespace

// A random picture in the library's logo of this kind; returns the bitmap the phone
// must end up with.
std::vector<uint8_t> Soak::MakeLogo(int kind) {
  const std::string network = kind == PELKOR_LOGO_OPERATOR ? "2" + RandomDigits(2) + " " + RandomDigits(2) : "";
  logo_setdata(0, nullptr);
  logo_setdata(kind, kind == PELKOR_LOGO_OPERATOR ? network.c_str() : nullptr);
  std::vector<uint8_t> bitmap(static_cast<size_t>(Width(kind) * Height(kind) / 8), 0);
  const int density = Uniform(1, 9);
  for (int y = 0; y < Height(kind); ++y)
    for (int x = 0; x < Width(kind); ++x) {
      const bool on = Uniform(0, 9) < density;
      logo_setpixel(x, y, on ? 0 : 1);
      if (on) {
        const auto [byte, bit] = BitOf(kind, x, y);
        bitmap[byte] |= static_cast<uint8_t>(1 << bit);
      }
    }
  return bitmap;
}

std::vector<uint8_t> Soak::LibraryBitmap(int kind) {
  std::vector<uint8_t> bitmap(static_cast<size_t>(Width(kind) * Height(kind) / 8), 0);
  for (int y = 0; y < Height(kind); ++y)
    for (int x = 0; x < Width(kind); ++x)
      if (logo_getpixel(x, y) == 0) {
        const auto [byte, bit] = BitOf(kind, x, y);
        bitmap[byte] |= static_cast<uint8_t>(1 << bit);
      }
  return bitmap;
}

void Soak::LogoEdit() {
  const int kind = Uniform(1, 3);
  Call("logo_setdata", L::kNoWait, L::Only({0}), std::to_string(kind), [&] { return logo_setdata(kind, "244 05"); });
  int32_t k = 0, w = 0, h = 0;
  char code[8];
  Call("logo_getdata", L::kNoWait, L::Only({0}), "", [&] { return logo_getdata(&k, &w, &h, code, sizeof code); });
  if (k != kind || w != Width(kind) || h != Height(kind) || std::string(code) != "244 05")
    Fail("wrong answer", "logo_getdata gave kind " + std::to_string(k) + ", " + std::to_string(w) + " x " +
                             std::to_string(h) + ", '" + code + "'");
  const int x = Uniform(-2, Width(kind) + 1), y = Uniform(-2, Height(kind) + 1);
  Call("logo_setpixel", L::kNoWait, L::Only({0}), std::to_string(x) + "," + std::to_string(y),
       [&] { return logo_setpixel(x, y, 0); });
  // Inside, the pixel was just drawn; outside there is none: 0 either way.
  Call("logo_getpixel", L::kNoWait, L::Only({0}), std::to_string(x) + "," + std::to_string(y),
       [&] { return logo_getpixel(x, y); });
  const int group = Uniform(0, 300);
  Call("logo_setgroupnumber", L::kNoWait, L::Only({0}), std::to_string(group), [&] {
    logo_setgroupnumber(group);
    return 0;
  });
  const int32_t gotGroup =
      Call("logo_getgroupnumber", L::kNoWait, L::Between(0, 65535), "", [] { return logo_getgroupnumber(); });
  const int low = group & 0xFF;
  if (gotGroup != (low < 128 ? low : 65536 - 256 + low))
    Fail("wrong answer", "logo_getgroupnumber gave " + std::to_string(gotGroup) + " for " + std::to_string(group));
  const std::string name = RandomText(static_cast<size_t>(Uniform(0, 30)));
  char buffer[300];
  Call("logo_setgroupname", L::kNoWait, L::Only({0}), name, [&] {
    logo_setgroupname(name.c_str());
    return 0;
  });
  Call("logo_getgroupname", L::kNoWait, L::Only({0}), "", [&] {
    logo_getgroupname(buffer, sizeof buffer);
    return 0;
  });
  if (name != buffer) Fail("wrong answer", "logo_getgroupname gave '" + std::string(buffer) + "'");
}

void Soak::LogoFiles() {
  const int kind = Uniform(1, 3);
  const std::vector<uint8_t> bitmap = MakeLogo(kind);
  const std::string file = tmp_ + "/logo.bin";
  Call("logo_writefile", L::kNoWait, L::Only({0}), file, [&] { return logo_writefile(file.c_str()); });
  logo_setdata(0, nullptr);
  Call("logo_readfile", L::kNoWait, L::Only({0}), file, [&] { return logo_readfile(file.c_str()); });
  if (LibraryBitmap(kind) != bitmap)
    Fail("wrong answer", "a logo of kind " + std::to_string(kind) + " read back altered");
}

void Soak::LogoUpload() {
  const int kind = Uniform(1, 3);
  const std::vector<uint8_t> bitmap = MakeLogo(kind);
  const int group = Uniform(0, 4);
  const std::string name = RandomText(static_cast<size_t>(Uniform(1, 20)));
  if (kind == PELKOR_LOGO_CALLER) {
    logo_setgroupnumber(group);
    logo_setgroupname(name.c_str());
  }
  char network[8] = {};
  logo_getdata(nullptr, nullptr, nullptr, network, sizeof network);
  const int32_t result = Call("logo_upload", L::kLogoUpload, L::Only({0, 4, 24}), "kind " + std::to_string(kind),
                              [] { return logo_upload(); });
  if (kind == PELKOR_LOGO_STARTUP) ++multiFrame_["logo_uploads_in_five_frames"];
  if (result != PELKOR_OK) return;
  const json state = State();
  const std::string slot = kind == PELKOR_LOGO_STARTUP    ? "/logos/startup"
                           : kind == PELKOR_LOGO_OPERATOR ? "/logos/operator"
                                                          : "/logos/caller_groups/" + std::to_string(group);
  const std::vector<uint8_t> stored = ParseHex(TextAt(state, slot + "/bitmap"));
  if (stored != bitmap)
    Fail("stored altered", "logo_upload of kind " + std::to_string(kind) + " gave 0, the phone holds another bitmap");
  if (kind == PELKOR_LOGO_OPERATOR && TextAt(state, slot + "/network") != network)
    Fail("stored altered",
         "operator logo for '" + std::string(network) + "' stored for '" + TextAt(state, slot + "/network") + "'");
  if (kind == PELKOR_LOGO_CALLER && TextAt(state, slot + "/name") != name)
    Fail("stored altered", "caller group " + std::to_string(group) + " named '" + name + "' stored as '" +
                               TextAt(state, slot + "/name") + "'");
}

void Soak::LogoText() {
  const std::string text = RandomText(static_cast<size_t>(Uniform(0, 40)));
  const int32_t result =
      Call("setlogo", L::kLogoUpload, L::Only({0, 4}), "'" + text + "'", [&] { return setlogo(0, text.c_str(), 0); });
  if (result == PELKOR_OK && TextAt(State(), "/logos/startup/text") != text)
    Fail("stored altered",
         "setlogo '" + text + "' gave 0, the phone shows '" + TextAt(State(), "/logos/startup/text") + "'");
}

void Soak::LogoDownload() {
  const int kinds[] = {PELKOR_LOGO_STARTUP, PELKOR_LOGO_STARTUP, PELKOR_LOGO_OPERATOR, PELKOR_LOGO_CALLER};
  const int kind = kinds[Uniform(0, 3)];
  const int group = Uniform(0, 4);
  if (kind == PELKOR_LOGO_CALLER) logo_setgroupnumber(group);
  const int64_t limit = L::kLogoDownload + (kind == PELKOR_LOGO_OPERATOR ? 1 + L::kNetworkInfo : 0);
  const int32_t result = Call("logo_download", limit, L::Only({0, 4, 24}), "kind " + std::to_string(kind),
                              [&] { return logo_download(kind); });
  if (result != PELKOR_OK) return;
  ++multiFrame_[kind == PELKOR_LOGO_STARTUP ? "logo_downloads_in_five_frames" : "logo_downloads_in_two_frames"];
  CheckDownload(kind, group);
}

// The logo the library now holds is the phone's.
void Soak::CheckDownload(int kind, int group) {
  const json state = State();
  const std::string slot = kind == PELKOR_LOGO_STARTUP    ? "/logos/startup"
                           : kind == PELKOR_LOGO_OPERATOR ? "/logos/operator"
                                                          : "/logos/caller_groups/" + std::to_string(group);
  const std::vector<uint8_t> expected = ParseHex(TextAt(state, slot + "/bitmap"));
  const std::vector<uint8_t> got = LibraryBitmap(kind);
  if (got != expected) {
    size_t wrong = 0;
    for (size_t i = 0; i < got.size(); ++i) wrong += i >= expected.size() || got[i] != expected[i];
    Fail("wrong answer", "logo_download(" + std::to_string(kind) + ") gave 0 with " + std::to_string(wrong) + " of " +
                             std::to_string(got.size()) + " bitmap bytes not the phone's");
  }
  if (kind != PELKOR_LOGO_OPERATOR) {
    char name[300];
    logo_getgroupname(name, sizeof name);
    const std::string want = TextAt(state, kind == PELKOR_LOGO_STARTUP ? slot + "/text" : slot + "/name");
    if (want != name)
      Fail("wrong answer",
           "logo_download(" + std::to_string(kind) + ") gave the text '" + name + "', the phone has '" + want + "'");
  }
}

// One frame of a long reply is lost on the line, sometimes with the phone not
// acknowledging, so that the next thing the library hears is the first frame of another
// message: the download must not be taken (the message is incomplete), and the next
// reply, of another type, must come through whole.
void Soak::LostFrameScene() {
  const int kinds[] = {PELKOR_LOGO_STARTUP, PELKOR_LOGO_STARTUP, PELKOR_LOGO_STARTUP, PELKOR_LOGO_OPERATOR,
                       PELKOR_LOGO_CALLER};
  const int kind = kinds[Uniform(0, 4)];
  const int group = Uniform(0, 4);
  if (kind == PELKOR_LOGO_CALLER) logo_setgroupnumber(group);
  const int frame = Uniform(1, 5);  // past a two-frame reply's end: its last frame
  const bool noAcks = Chance(0.5);
  const uint64_t silencesBefore = silenceEvents_.load();
  const bool silentBefore = silentNow_.load();
  const size_t lostBefore = sim_.frames_lost();
  {
    std::lock_guard lock(faultMutex_);
    ++faultCounts_["lost_frame_scene"];
    if (noAcks) ++faultCounts_["lost_frame_scene_without_acks"];
  }
  if (noAcks) sim_.control("ack off");
  sim_.control("lose-frame " + std::to_string(frame));
  const int64_t limit = L::kLogoDownload + (kind == PELKOR_LOGO_OPERATOR ? 1 + L::kNetworkInfo : 0);
  const std::string what = "logo_download(" + std::to_string(kind) + ") with frame " + std::to_string(frame) +
                           " of the reply lost" + (noAcks ? " and no acknowledgements" : "");
  const int32_t result = Call("logo_download", limit, L::Only({0, 4, 24}),
                              "kind " + std::to_string(kind) + ", frame " + std::to_string(frame) + " lost",
                              [&] { return logo_download(kind); });
  const bool lost = sim_.frames_lost() > lostBefore;
  if (!lost) sim_.control("lose-frame 0");  // the reply never came (a silence): withdraw
  int32_t level = -7;
  const int32_t next =
      Call("getrflevel", L::kPhoneStatus, L::Only({0, 4}), "after " + what, [&] { return getrflevel(&level); });
  if (noAcks) sim_.control("ack on");
  if (lost && result == PELKOR_OK) {
    Fail("took an incomplete message", what + " returned 0");
    CheckDownload(kind, group);
  }
  // Only a silence excuses the status reply (the others leave a single-frame reply whole).
  const bool heard = !silentBefore && !silentNow_.load() && silenceEvents_.load() == silencesBefore;
  if (lost && next != PELKOR_OK && heard)
    Fail("lost the reply after an incomplete message", "getrflevel gave " + std::to_string(next) + " after " + what);
  if (result == PELKOR_OK && !lost) CheckDownload(kind, group);
}

void Soak::LogoSms() {
  const int kind = Chance(0.5) ? PELKOR_LOGO_OPERATOR : PELKOR_LOGO_CALLER;
  const std::vector<uint8_t> bitmap = MakeLogo(kind);
  char network[8] = {};
  logo_getdata(nullptr, nullptr, nullptr, network, sizeof network);
  SentSms sent;
  sent.via = "sendoplogoviasms";
  sent.destination = NextDestination();
  sent.content = {{"logo", kind == PELKOR_LOGO_OPERATOR ? "operator" : "caller"}, {"bitmap", Hex(bitmap)}};
  if (kind == PELKOR_LOGO_OPERATOR) sent.content["network"] = network;
  sent.result =
      Call("sendoplogoviasms", L::kOneSms, L::Only({0, 4, 19, 22}), sent.destination + ", kind " + std::to_string(kind),
           [&] { return sendoplogoviasms(sent.destination.c_str()); });
  sms_.push_back(std::move(sent));
}

// ---- phonebook ----------------------------------------------------------------------------------

namespace {

int MemoryCode(int type) { return type == kPhoneMemory ? 2 : type == kSimMemory ? 3 : 8; }
int CapacityOf(int type) { return type == kPhoneMemory ? kCapacityPhone : type == kSimMemory ? kCapacitySim : 0; }

}  // namespace

void Soak::PhonebookWrite() {
  const int memory = Chance(0.5) ? kPhoneMemory : kSimMemory;
  const bool beyond = Chance(0.1);
  const int location = beyond ? CapacityOf(memory) + Uniform(1, 5) : Uniform(20, CapacityOf(memory));
  std::string name = Chance(0.05) ? "" : "Soak " + RandomText(static_cast<size_t>(Uniform(0, 40)));
  std::string number = Chance(0.05) ? "" : "+44" + RandomDigits(static_cast<size_t>(Uniform(1, 17)));
  const int group = Uniform(0, 5);
  const int32_t result = Call("setphonebookentry", L::kEntryWrite, L::Only({0, 4, 15, 22}),
                              std::to_string(location) + "," + std::to_string(memory) + ",'" + name + "','" + number +
                                  "'," + std::to_string(group),
                              [&] { return setphonebookentry(location, memory, name.c_str(), number.c_str(), group); });
  entryWrites_[{memory, location}] = Clock::now();
  name.resize(std::min<size_t>(name.size(), 40));
  const json state = State();
  const std::string at =
      "/phonebook/memories/" + std::to_string(MemoryCode(memory)) + "/entries/" + std::to_string(location);
  const json *entry = At(state, at);
  if (result == PELKOR_OK) {
    ++entriesWritten_;
    const bool cleared = name.empty() && number.empty();
    const bool exact = cleared ? entry == nullptr
                               : entry != nullptr && entry->value("name", "") == name &&
                                     entry->value("number", "") == number &&
                                     entry->value("group", -1) == (group == 5 ? 255 : group);
    if (exact)
      ++entriesStored_;
    else
      Fail("stored altered",
           "setphonebookentry " + at + " gave 0, the phone holds " + (entry ? entry->dump() : "nothing"));
  } else if (result == PELKOR_ERR_PHONEBOOK_WRITE || result == PELKOR_ERR_REFUSED) {
    ++entriesRefused_;
    if (entry != nullptr && entry->value("name", "") == name && entry->value("number", "") == number && !name.empty())
      Fail("refused yet stored", "setphonebookentry " + at + " gave " + std::to_string(result) + " but was stored");
  }
}

void Soak::PhonebookRead() {
  const int memory = Chance(0.45) ? kPhoneMemory : Chance(0.9) ? kSimMemory : kMissingMemory;
  const int capacity = std::max(CapacityOf(memory), 10);
  const int location = Uniform(1, capacity + 3);
  char name[48], number[48];
  int32_t group = -7;
  const int32_t result =
      Call("getphonebookentry", L::kEntryReadWithStatus, L::Only({0, 4, 6, 10, 22}),
           std::to_string(location) + "," + std::to_string(memory),
           [&] { return getphonebookentry(location, memory, name, sizeof name, number, sizeof number, &group); });
  if (result != PELKOR_OK) return;
  const auto written = entryWrites_.find({memory, location});
  if (written != entryWrites_.end() && MsSince(written->second) < 1000) return;  // a cached read may be older
  const json state = State();
  const std::string at =
      "/phonebook/memories/" + std::to_string(MemoryCode(memory)) + "/entries/" + std::to_string(location);
  const json *entry = At(state, at);
  std::string wantName = entry ? entry->value("name", "") : "";
  const std::string wantNumber = entry ? entry->value("number", "") : "";
  const int wantGroup = entry ? entry->value("group", 255) : 255;
  if (wantName.empty()) wantName = wantNumber;
  wantName.resize(std::min<size_t>(wantName.size(), 40));
  if (wantName != name || wantNumber != number || wantGroup != group)
    Fail("wrong answer", "getphonebookentry " + at + " gave '" + name + "' '" + number + "' " + std::to_string(group) +
                             ", the phone holds " + (entry ? entry->dump() : "nothing"));
}

void Soak::SpeedDialWrite() {
  const int key = Chance(0.1) ? (Chance(0.5) ? 0 : 10) : Uniform(1, 9);
  const int memory = Chance(0.5) ? kPhoneMemory : kSimMemory;
  const int location = Uniform(1, 100);
  const int32_t result = Call("setspeeddial", L::kSpeedDial, L::Only({0, 4, 11}),
                              std::to_string(key) + "," + std::to_string(memory) + "," + std::to_string(location),
                              [&] { return setspeeddial(key, memory, location); });
  speedDialWrites_[key] = Clock::now();
  if (result != PELKOR_OK) return;
  ++dialsWritten_;
  const json state = State();
  const json *dial = At(state, "/phonebook/speed_dials/" + std::to_string(key));
  if (dial != nullptr && dial->value("memory", -1) == MemoryCode(memory) && dial->value("location", -1) == location)
    ++dialsStored_;
  else
    Fail("stored altered",
         "setspeeddial " + std::to_string(key) + " gave 0, the phone holds " + (dial ? dial->dump() : "nothing"));
}

void Soak::SpeedDialRead() {
  const int key = Chance(0.1) ? 0 : Uniform(1, 9);
  int32_t memory = -7, location = -7;
  const int32_t result = Call("getspeeddial", L::kSpeedDial, L::Only({0, 4, 11}), std::to_string(key),
                              [&] { return getspeeddial(key, &memory, &location); });
  if (result != PELKOR_OK) {
    if (memory != 255 || location != 0)
      Fail("wrong answer", "getspeeddial(" + std::to_string(key) + ") failed with " + std::to_string(result) +
                               " but reported memory " + std::to_string(memory) + " location " +
                               std::to_string(location));
    return;
  }
  const auto written = speedDialWrites_.find(key);
  if (written != speedDialWrites_.end() && MsSince(written->second) < 1000) return;
  const json state = State();
  const json *dial = At(state, "/phonebook/speed_dials/" + std::to_string(key));
  const int code = dial ? dial->value("memory", 2) : 2;
  const int wantLocation = dial ? dial->value("location", 0) : 0;
  if (memory != (code == 2 ? 0 : 1) || location != wantLocation)
    Fail("wrong answer", "getspeeddial(" + std::to_string(key) + ") gave memory " + std::to_string(memory) +
                             " location " + std::to_string(location) + ", the phone holds " +
                             (dial ? dial->dump() : "nothing"));
}

// ---- WAV ----------------------------------------------------------------------------------------

void Soak::Wave() {
  const std::string file = tmp_ + "/tone.wav";
  mfbwave_writer *writer = nullptr;
  Call("mfbwave_create", L::kNoWait, L::Only({0}), file, [&] {
    writer = mfbwave_create(file.c_str());
    return writer != nullptr ? 0 : -1;
  });
  if (writer == nullptr) return;
  Call("mfbwave_add_tone", L::kNoWait, L::Only({0}), "440,50", [&] {
    mfbwave_add_tone(writer, 440, 50);
    return 0;
  });
  Call("mfbwave_close", L::kNoWait, L::Only({0}), "", [&] {
    mfbwave_close(writer);
    return 0;
  });
  struct stat info {};
  if (stat(file.c_str(), &info) != 0 || info.st_size != 44 + 400)
    Fail("wrong answer", "a WAV of one 50 ms tone is " + std::to_string(info.st_size) + " bytes, not 444");
}

// ---- the end ------------------------------------------------------------------------------------

void Soak::FinalChecks() { CheckSmsStore(); }

// Every SMS reported sent is in the phone's store exactly once, as it was sent; nothing
// refused is.
void Soak::CheckSmsStore() {
  const json state = State();
  std::map<std::string, std::vector<const json *>> byDestination;
  if (const json *sent = At(state, "/sms/sent"))
    for (const json &s : *sent)
      if (s.is_object()) byDestination[s.value("destination", "")].push_back(&s);

  uint64_t reported = 0, stored = 0, lost = 0, duplicated = 0, altered = 0, refused = 0, refusedStored = 0;
  uint64_t timedOut = 0, timedOutStored = 0, partsStored = 0;
  for (const SentSms &s : sms_) {
    const auto &entries = byDestination[s.destination];
    const size_t parts = s.content.is_null() ? s.parts.size() : 1;
    std::vector<std::vector<const json *>> sentParts(parts), refusedParts(parts);
    for (const json *e : entries) {
      size_t part = 0;
      if (parts > 1) {
        const int n = e->contains("concat") ? (*e)["concat"].value("part", 0) : 0;
        if (n < 1 || static_cast<size_t>(n) > parts) {
          Fail("stored altered",
               s.destination + ": a part numbered " + std::to_string(n) + " of " + std::to_string(parts));
          continue;
        }
        part = static_cast<size_t>(n - 1);
      }
      const std::string outcome = e->value("outcome", "");
      if (outcome == "sent")
        sentParts[part].push_back(e);
      else if (outcome == "refused")
        refusedParts[part].push_back(e);
    }
    bool missing = false, twice = false, wrong = false;
    for (size_t i = 0; i < parts; ++i) {
      if (sentParts[i].empty()) missing = true;
      if (sentParts[i].size() > 1) twice = true;
      for (const json *e : sentParts[i]) {
        if (!s.content.is_null()) {
          const json content = e->value("content", json::object());
          for (const auto &[key, want] : s.content.items()) {
            const json got =
                key == "notes" ? json(content.value("notes", json::array()).size()) : content.value(key, json());
            const bool same = key == "bitmap"
                                  ? got.is_string() && Hex(ParseHex(got.get<std::string>())) == want.get<std::string>()
                                  : got == want;
            if (!same) wrong = true;
          }
          if (content.contains("error")) wrong = true;
        } else if (e->value("text", "") != s.parts[i]) {
          wrong = true;
        }
      }
    }
    for (const auto &p : sentParts) partsStored += p.size();
    const std::string what = s.via + " to " + s.destination + " (" + std::to_string(parts) + " part" +
                             (parts > 1 ? "s" : "") + ", result " + std::to_string(s.result) + ")";
    if (twice) {
      ++duplicated;
      Fail("SMS duplicated", what + ": a part is in the store more than once");
    }
    if (wrong) {
      ++altered;
      Fail("stored altered", what + ": stored with other contents than were sent");
    }
    if (s.result == PELKOR_OK) {
      ++reported;
      if (missing) {
        ++lost;
        Fail("SMS lost", what + ": reported sent, not all parts are in the store");
      } else if (!twice && !wrong) {
        ++stored;
      }
    } else if (s.result == PELKOR_ERR_SMS_SEND || s.result == PELKOR_ERR_REFUSED) {
      ++refused;
      // The refusal ends the send: parts before it went, the refused one and later not.
      size_t first = 0;
      while (first < parts && !sentParts[first].empty()) ++first;
      bool later = false;
      for (size_t i = first; i < parts; ++i) later = later || !sentParts[i].empty();
      if (first == parts || later) {
        ++refusedStored;
        Fail("refused yet stored", what + ": the phone stored what the library reports refused");
      }
      if (s.result == PELKOR_ERR_SMS_SEND && (first == parts || refusedParts[first].empty()))
        Fail("wrong answer", what + ": 19 without a refusal by the phone");
      if (s.result == PELKOR_ERR_REFUSED && !entries.empty())
        Fail("wrong answer", what + ": 22 (message centre refused) yet the phone was handed a message");
    } else if (s.result == PELKOR_ERR_TIMEOUT) {
      ++timedOut;
      if (!entries.empty()) ++timedOutStored;
    }
  }
  std::lock_guard lock(mutex_);
  smsFigures_ = {{"sends", sms_.size()},
                 {"reported_sent", reported},
                 {"stored_exactly_once", stored},
                 {"lost", lost},
                 {"duplicated", duplicated},
                 {"altered", altered},
                 {"refused", refused},
                 {"refused_but_stored", refusedStored},
                 {"timed_out", timedOut},
                 {"timed_out_but_reached_the_phone", timedOutStored},
                 {"parts_in_store", partsStored}};
}

json Soak::Report() {
  std::lock_guard faultLock(faultMutex_);
  std::lock_guard lock(mutex_);
  json exports = json::object();
  for (const auto &[name, f] : exports_) {
    json results = json::object();
    for (const auto &[code, n] : f.results) results[std::to_string(code)] = n;
    exports[name] = {{"calls", f.calls},
                     {"longest_ms", f.longestMs},
                     {"limit_ms", f.limitAtLongestMs},
                     {"allowed_ms", f.limitAtLongestMs + L::Margin(f.limitAtLongestMs)},
                     {"worst_over_limit_ms", f.worstOverMs},
                     {"results", results}};
  }
  json results = json::object();
  for (const auto &[code, n] : results_) results[std::to_string(code)] = n;
  json failures = json::object();
  for (const auto &[kind, n] : failures_.counts) failures[kind] = {{"count", n}, {"samples", failures_.samples[kind]}};
  json faults = json::object();
  for (const auto &[kind, n] : faultCounts_) faults[kind] = {{"count", n}};
  if (faults.contains("noise")) faults["noise"]["bytes"] = noiseBytes_;
  if (faults.contains("silence")) {
    faults["silence"]["seconds"] = static_cast<double>(silentMs_) / 1000.0;
    faults["silence"]["longest_ms"] = longestSilenceMs_;
    faults["silence"]["of_10_s_and_more"] = longSilences_;
  }
  if (faults.contains("no_acks")) faults["no_acks"]["seconds"] = static_cast<double>(ackOffMs_) / 1000.0;
  // Frame losses: armed by the fault thread at random, or by the host just before a
  // download (the scenes); the simulator counts those that hit a reply.
  auto countOf = [&faults](const char *kind) { return faults.contains(kind) ? faults[kind]["count"] : json(0); };
  faults["lost_frame"] = {{"count", countOf("lost_frame")},
                          {"scenes", countOf("lost_frame_scene")},
                          {"scenes_without_acks", countOf("lost_frame_scene_without_acks")},
                          {"applied", sim_.frames_lost()},
                          {"withdrawn", countOf("lost_frame_withdrawn")}};
  for (const char *kind : {"lost_frame_withdrawn", "lost_frame_scene", "lost_frame_scene_without_acks"})
    faults.erase(kind);
  int64_t longestBack = -1;
  uint64_t zeroAfter = 0;
  for (const json &e : episodes_) {
    longestBack = std::max<int64_t>(longestBack, e.value("back_after_ms", int64_t{-1}));
    zeroAfter += e.value("zero_samples_after", 0) > 0 ? 1 : 0;
  }
  json multi = json::object();
  for (const auto &[kind, n] : multiFrame_) multi[kind] = n;
  json unexplained = json::object();
  for (const auto &[name, n] : unexplainedTimeouts_) unexplained[name] = n;
  return {
      {"seed", seed_},
      {"date", LocalTimeStamp()},
      {"seconds_planned", seconds_},
      {"seconds_run", static_cast<double>(ranMs_ > 0 ? ranMs_ : MsSince(started_)) / 1000.0},
      {"excluded_actions", excluded_},
      {"calls", calls_},
      {"exports", exports},
      {"results", results},
      {"faults", faults},
      {"isalive",
       {{"bound_ms", kRecoveryBoundMs},
        {"episodes", episodes_.size()},
        {"longest_back_after_ms", longestBack},
        {"episodes_with_zero_samples_after", zeroAfter},
        {"detail", episodes_}}},
      {"sms", smsFigures_},
      {"phonebook", {{"written", entriesWritten_}, {"stored_exactly", entriesStored_}, {"refused", entriesRefused_}}},
      {"speed_dials", {{"written", dialsWritten_}, {"stored_exactly", dialsStored_}}},
      {"ringtone_uploads", ringtoneUploads_},
      {"multi_frame", multi},
      {"timeouts_on_a_clean_link", unexplained},
      {"hung", hung_},
      {"failures", failures},
      {"passed", failures_.counts.empty()}};
}

class SoakTest : public pelkor_it::SimulatedPhone {};

TEST_F(SoakTest, EveryFamilyUnderFaults) {
  const int64_t seconds = EnvInteger("SOAK_SECONDS", 120);
  const uint64_t seed =
      EnvUnsigned("SOAK_SEED").value_or(std::random_device{}() * 4294967296ULL + std::random_device{}());
  std::set<std::string> excluded;
  std::stringstream list(EnvText("SOAK_EXCLUDE"));
  for (std::string name; std::getline(list, name, ',');)
    if (!name.empty()) excluded.insert(name);
  std::printf("soak: seed %llu, %lld s (SOAK_SEED=%llu replays the choices)\n", static_cast<unsigned long long>(seed),
              static_cast<long long>(seconds), static_cast<unsigned long long>(seed));
  std::fflush(stdout);

  Soak soak(sim, port, seed, seconds, excluded);
  soak.Run();
  const json report = soak.Report();
  EXPECT_TRUE(WriteReport("SOAK_REPORT", report)) << "cannot write " << ReportPath("SOAK_REPORT");
  std::printf("soak: %llu calls in %.0f s; SMS %s; phonebook %s; isalive %s\n",
              static_cast<unsigned long long>(report["calls"].get<uint64_t>()), report["seconds_run"].get<double>(),
              report["sms"].dump().c_str(), report["phonebook"].dump().c_str(),
              report["isalive"]["longest_back_after_ms"].dump().c_str());
  for (const auto &[kind, n] : soak.failures().counts) {
    std::string samples;
    for (const std::string &s : soak.failures().samples.at(kind)) samples += "\n    " + s;
    ADD_FAILURE() << kind << ": " << n << " time(s), seed " << seed << samples;
  }
}

}  // namespace
}  // namespace pelkor_soak
