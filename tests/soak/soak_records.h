#pragma once
// The records that the soak's driver, its checks and its report share: what was sent,
// what each export did, what failed, the faults made, and what was written and stored.
#include <chrono>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

namespace pelkor_soak {

using Clock = std::chrono::steady_clock;

inline int64_t MsSince(Clock::time_point t) {
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

// An SMS the library was asked to send, to be found in the phone's store at the end.
struct SentSms {
  std::string via;                 // the export
  std::string destination;         // unique per send: the key into the store
  std::vector<std::string> parts;  // expected texts, one per part (text sends)
  int32_t result = 0;
  // Smart Messaging sends: what the phone must have read out of the payload.
  nlohmann::json content;
};

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

// An episode after which isalive is probed: a silence, or a time without acks.
struct Episode {
  std::string kind;
  int64_t lengthMs = 0;
};

// What the calls gave and what was found wrong. Kept under the soak's figures lock:
// the watchdog reads it too.
struct CallTally {
  std::map<std::string, ExportFigures> exports;
  std::map<int32_t, uint64_t> results;
  Failures failures;
  uint64_t calls = 0;
  std::map<std::string, uint64_t> unexplainedTimeouts;
  std::map<std::string, uint64_t> multiFrame;
  nlohmann::json episodes = nlohmann::json::array();
  nlohmann::json sms = nlohmann::json::object();  // the final store check's figures
  std::string hung;
};

// What the fault thread made. Kept under the fault lock.
struct FaultTally {
  std::map<std::string, uint64_t> counts;
  uint64_t noiseBytes = 0, silentMs = 0, ackOffMs = 0, longestSilenceMs = 0, longSilences = 0;
};

// What the host wrote and found stored.
struct WriteTally {
  uint64_t entriesWritten = 0, entriesStored = 0, entriesRefused = 0;
  uint64_t dialsWritten = 0, dialsStored = 0;
  uint64_t ringtoneUploads = 0;
};

// How the run was set up, and how long it ran.
struct RunInfo {
  uint64_t seed = 0;
  int64_t secondsPlanned = 0;
  std::set<std::string> excluded;
  double secondsRun = 0;
};

}  // namespace pelkor_soak
