#pragma once
// The fault soak's run: one object holds what the traffic thread knows of the phone and
// the library, the fault thread's hand-over, and the tallies that the report reads.
// Its members are defined by job: soak_driver.cpp (the traffic loop, each call's
// timing and result check), soak_faults.cpp (the fault thread, the isalive probe),
// actions_*.cpp (one family of calls each, with the check of each answer),
// soak_checks.cpp (whole stores against the phone's state) and soak_report.cpp.
#include <pelkor16.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "export_limits.h"
#include "phone_state.h"
#include "simulator.h"
#include "soak_records.h"
#include "watchdog.h"

namespace pelkor_soak {

struct StoredParts;
struct SmsStoreCounts;

class Soak {
 public:
  Soak(phonesim::Simulator &sim, std::string port, uint64_t seed, int64_t seconds, std::set<std::string> excluded)
      : sim_(sim), port_(std::move(port)), seed_(seed), seconds_(seconds), excluded_(std::move(excluded)), rng_(seed) {}

  void Run();
  nlohmann::json Report();
  const Failures &failures() const { return tally_.failures; }

 private:
  // ---- calls and their checks ----
  // Runs one export: times it against its limit, checks its result, keeps the figures.
  // `timeoutCode` is what the export gives when the phone does not answer.
  int32_t Call(const std::string &name, int64_t limitMs, const limits::Allowed &allowed, const std::string &args,
               const std::function<int32_t()> &body, int32_t timeoutCode = PELKOR_ERR_TIMEOUT);
  void Fail(const std::string &kind, const std::string &detail);
  bool Clean(uint64_t faultsBefore) const;
  void Hang(const std::string &what);

  // ---- faults ----
  // A frame loss armed by the fault thread, waiting for a long reply.
  struct ArmedLoss {
    bool armed = false;
    Clock::time_point at{};
  };
  void FaultLoop();
  void WithdrawUntakenLoss(ArmedLoss &loss);
  void InjectOnce(int kind, std::mt19937_64 &rng, ArmedLoss &loss);
  bool RunEpisode(bool silence, std::mt19937_64 &rng);
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
  nlohmann::json State() const { return sim_.State(); }

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

  // ---- checks of whole stores ----
  void CompareList();
  void CheckDownload(int kind, int group);
  void FinalChecks();
  void CheckSmsStore();
  void SortParts(const SentSms &s, const std::vector<const nlohmann::json *> &entries, StoredParts &stored);
  void JudgeSend(const SentSms &s, const std::vector<const nlohmann::json *> &entries, const StoredParts &stored,
                 SmsStoreCounts &counts);

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

  mutable std::mutex mutex_;  // guards tally_: the watchdog reads it too
  CallTally tally_;

  // Fault thread and its hand-over to this thread.
  std::atomic<bool> stopFaults_{false};
  std::atomic<uint64_t> faultEvents_{0};  // every injection, every start and end of an episode
  std::atomic<bool> silentNow_{false}, ackOffNow_{false};
  std::atomic<uint64_t> silenceEvents_{0};  // starts and ends of silences
  std::mutex faultMutex_;                   // guards pendingRecovery_ and faultTally_
  std::condition_variable faultWake_;
  std::optional<Episode> pendingRecovery_;
  FaultTally faultTally_;

  // What this thread knows of the phone and the library.
  bool sessionOpen_ = false;
  int destinationSerial_ = 0;
  int32_t centreIndex_ = 1;
  std::vector<SentSms> sms_;
  std::map<std::pair<int, int>, Clock::time_point> entryWrites_;  // (memory type, location)
  std::map<int, Clock::time_point> speedDialWrites_;
  WriteTally writes_;
  int32_t incomingSeen_ = 0;
  std::optional<std::pair<std::time_t, Clock::time_point>> phoneClock_;  // set value, when
  std::optional<std::pair<int, int>> alarm_;
  std::string toneName_;
  int toneNotes_ = 0;
};

}  // namespace pelkor_soak
