// The soak's report, from the tallies the run kept.
#include "soak_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <type_traits>

#include "export_limits.h"
#include "soak.h"
#include "soak_support.h"

namespace pelkor_soak {

using nlohmann::json;
namespace L = limits;

namespace {

json ExportsJson(const std::map<std::string, ExportFigures> &exports) {
  json out = json::object();
  for (const auto &[name, f] : exports) {
    json results = json::object();
    for (const auto &[code, n] : f.results) results[std::to_string(code)] = n;
    out[name] = {{"calls", f.calls},
                 {"longest_ms", f.longestMs},
                 {"limit_ms", f.limitAtLongestMs},
                 {"allowed_ms", f.limitAtLongestMs + L::Margin(f.limitAtLongestMs)},
                 {"worst_over_limit_ms", f.worstOverMs},
                 {"results", results}};
  }
  return out;
}

template <typename Key>
json CountsJson(const std::map<Key, uint64_t> &counts) {
  json out = json::object();
  for (const auto &[key, n] : counts) {
    if constexpr (std::is_same_v<Key, std::string>)
      out[key] = n;
    else
      out[std::to_string(key)] = n;
  }
  return out;
}

json FaultsJson(const FaultTally &tally, size_t framesLost) {
  json faults = json::object();
  for (const auto &[kind, n] : tally.counts) faults[kind] = {{"count", n}};
  if (faults.contains("noise")) faults["noise"]["bytes"] = tally.noiseBytes;
  if (faults.contains("silence")) {
    faults["silence"]["seconds"] = static_cast<double>(tally.silentMs) / 1000.0;
    faults["silence"]["longest_ms"] = tally.longestSilenceMs;
    faults["silence"]["of_10_s_and_more"] = tally.longSilences;
  }
  if (faults.contains("no_acks")) faults["no_acks"]["seconds"] = static_cast<double>(tally.ackOffMs) / 1000.0;
  // Frame losses: armed by the fault thread at random, or by the host just before a
  // download (the scenes); the simulator counts those that hit a reply.
  auto countOf = [&faults](const char *kind) { return faults.contains(kind) ? faults[kind]["count"] : json(0); };
  faults["lost_frame"] = {{"count", countOf("lost_frame")},
                          {"scenes", countOf("lost_frame_scene")},
                          {"scenes_without_acks", countOf("lost_frame_scene_without_acks")},
                          {"applied", framesLost},
                          {"withdrawn", countOf("lost_frame_withdrawn")}};
  for (const char *kind : {"lost_frame_withdrawn", "lost_frame_scene", "lost_frame_scene_without_acks"})
    faults.erase(kind);
  return faults;
}

json IsaliveJson(const json &episodes) {
  int64_t longestBack = -1;
  uint64_t zeroAfter = 0;
  for (const json &e : episodes) {
    longestBack = std::max<int64_t>(longestBack, e.value("back_after_ms", int64_t{-1}));
    zeroAfter += e.value("zero_samples_after", 0) > 0 ? 1 : 0;
  }
  return {{"bound_ms", kRecoveryBoundMs},
          {"episodes", episodes.size()},
          {"longest_back_after_ms", longestBack},
          {"episodes_with_zero_samples_after", zeroAfter},
          {"detail", episodes}};
}

json FailuresJson(const Failures &failures) {
  json out = json::object();
  for (const auto &[kind, n] : failures.counts) out[kind] = {{"count", n}, {"samples", failures.samples.at(kind)}};
  return out;
}

}  // namespace

json ReportOf(const RunInfo &run, const CallTally &calls, const FaultTally &faults, const WriteTally &writes,
              size_t framesLost) {
  return {{"seed", run.seed},
          {"date", LocalTimeStamp()},
          {"seconds_planned", run.secondsPlanned},
          {"seconds_run", run.secondsRun},
          {"excluded_actions", run.excluded},
          {"calls", calls.calls},
          {"exports", ExportsJson(calls.exports)},
          {"results", CountsJson(calls.results)},
          {"faults", FaultsJson(faults, framesLost)},
          {"isalive", IsaliveJson(calls.episodes)},
          {"sms", calls.sms},
          {"phonebook",
           {{"written", writes.entriesWritten},
            {"stored_exactly", writes.entriesStored},
            {"refused", writes.entriesRefused}}},
          {"speed_dials", {{"written", writes.dialsWritten}, {"stored_exactly", writes.dialsStored}}},
          {"ringtone_uploads", writes.ringtoneUploads},
          {"multi_frame", CountsJson(calls.multiFrame)},
          {"timeouts_on_a_clean_link", CountsJson(calls.unexplainedTimeouts)},
          {"hung", calls.hung},
          {"failures", FailuresJson(calls.failures)},
          {"passed", calls.failures.counts.empty()}};
}

json Soak::Report() {
  std::lock_guard faultLock(faultMutex_);
  std::lock_guard lock(mutex_);
  const RunInfo run{seed_, seconds_, excluded_, static_cast<double>(ranMs_ > 0 ? ranMs_ : MsSince(started_)) / 1000.0};
  return ReportOf(run, tally_, faultTally_, writes_, sim_.FramesLost());
}

void PrintSummary(const json &report) {
  std::printf("soak: %llu calls in %.0f s; SMS %s; phonebook %s; isalive %s\n",
              static_cast<unsigned long long>(report["calls"].get<uint64_t>()), report["seconds_run"].get<double>(),
              report["sms"].dump().c_str(), report["phonebook"].dump().c_str(),
              report["isalive"]["longest_back_after_ms"].dump().c_str());
}

void AddFailures(const Failures &failures, uint64_t seed) {
  for (const auto &[kind, n] : failures.counts) {
    std::string samples;
    for (const std::string &s : failures.samples.at(kind)) samples += "\n    " + s;
    ADD_FAILURE() << kind << ": " << n << " time(s), seed " << seed << samples;
  }
}

}  // namespace pelkor_soak
