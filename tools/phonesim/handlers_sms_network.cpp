// The network behind the phone: it takes its time to confirm a submission, and sends
// a status report for each confirmed submission that asked for one (first octet bit
// 0x20). Delays run on the simulator's thread, so the link answers other requests
// meanwhile.
//
// State keys (all under /network):
//   submit_delay_ms   the time between a submission and its verdict (default 0)
//   report_delay_ms   the time between the confirmation and the status report
//   report_rules      [{destination, part, status, then}], the first that matches
//                     gives the report's status (none matching: delivered):
//                       destination  a glob on the recipient ("+49170*"); absent: any
//                       part         only that part of a concatenated message
//                       status       0-255, or "delivered" (0x00), "failed" (0x41),
//                                    "pending" (0x20); absent: delivered. A rule
//                                    with a status that is neither is passed over.
//                       then         {status, after_ms}: a second, final report
//                                    after_ms after the first (status default
//                                    delivered)
//   held_reports      reports due while the store had no free location, oldest
//                     first; each is stored, with its notice, once a location is
//                     freed by a delete request (or the next report finds one)
//
// A report is stored at the first free location as {location, kind "report", read
// false, reference (the submission's message reference), recipient, time (the
// centre's time stamp of the submission, when it was confirmed), discharge_time (when
// the report was due), status} and announced with 01 08 00 10 02 <location> 00.
#include <fnmatch.h>

#include <algorithm>
#include <optional>
#include <string>

#include "sms_network.h"
#include "sms_state.h"

namespace phonesim {

namespace {

using nlohmann::json;
using namespace sms_state;
using std::chrono::milliseconds;

constexpr int kMaxDelayMs = 24 * 3600 * 1000;

std::optional<uint8_t> StatusByte(const json &value) {
  if (value.is_number_integer()) {
    const auto number = value.get<long long>();
    if (number >= 0 && number <= 255) return static_cast<uint8_t>(number);
    return std::nullopt;
  }
  if (!value.is_string()) return std::nullopt;
  const std::string word = value.get<std::string>();
  if (word == "delivered") return 0x00;
  if (word == "failed") return 0x41;
  if (word == "pending") return 0x20;
  return std::nullopt;
}

struct Outcome {
  uint8_t status = 0x00;
  std::optional<uint8_t> finalStatus;  // a second report's, after finalAfter
  milliseconds finalAfter{0};
};

bool RuleMatches(const json &rule, const json &record) {
  if (rule.contains("destination")) {
    if (!rule["destination"].is_string()) return false;
    const std::string pattern = rule["destination"].get<std::string>();
    if (fnmatch(pattern.c_str(), record.value("destination", "").c_str(), 0) != 0) return false;
  }
  if (rule.contains("part")) {
    if (!record.contains("concat") || !record["concat"].is_object()) return false;
    if (record["concat"].value("part", -1) != rule["part"]) return false;
  }
  return true;
}

Outcome ReportOutcome(const PhoneState &state, const json &record) {
  const json &root = state.Json();
  const auto network = root.find("network");
  if (network == root.end() || !network->is_object()) return {};
  const auto rules = network->find("report_rules");
  if (rules == network->end() || !rules->is_array()) return {};
  for (const json &rule : *rules) {
    if (!rule.is_object() || !RuleMatches(rule, record)) continue;
    const auto status = rule.contains("status") ? StatusByte(rule["status"]) : std::optional<uint8_t>(0x00);
    if (!status) continue;
    Outcome outcome;
    outcome.status = *status;
    if (rule.contains("then") && rule["then"].is_object()) {
      const json &then = rule["then"];
      outcome.finalStatus = then.contains("status") ? StatusByte(then["status"]) : std::optional<uint8_t>(0x00);
      if (then.contains("after_ms") && then["after_ms"].is_number())
        outcome.finalAfter = milliseconds(std::clamp(then["after_ms"].get<long long>(), 0LL, 1LL * kMaxDelayMs));
    }
    return outcome;
  }
  return {};
}

milliseconds DelayOf(const PhoneState &state, const char *pointer) {
  return milliseconds(state.Integer(pointer, 0, 0, kMaxDelayMs));
}

// A report for `record` with `status`, discharged now.
void Report(const json &record, const json &submitted, uint8_t status, PhoneState &state, Replies &replies) {
  state.Append(kHeldReports, {{"kind", "report"},
                              {"read", false},
                              {"reference", record.value("message_reference", 0)},
                              {"recipient", record.value("destination", "")},
                              {"time", submitted},
                              {"discharge_time", PhoneClockNow(state)},
                              {"status", status}});
  StoreHeldReports(state, replies);
}

// The confirmation has gone out: the report, if one was asked for, is on its way.
void Confirmed(const json &record, PhoneState &state, Replies &replies) {
  if (!record.value("status_report", false)) return;
  const json submitted = PhoneClockNow(state);
  replies.Later(DelayOf(state, kReportDelay), [record, submitted](PhoneState &s, Replies &r) {
    const Outcome outcome = ReportOutcome(s, record);
    Report(record, submitted, outcome.status, s, r);
    if (!outcome.finalStatus) return;
    const uint8_t finalStatus = *outcome.finalStatus;
    r.Later(outcome.finalAfter, [record, submitted, finalStatus](PhoneState &s2, Replies &r2) {
      Report(record, submitted, finalStatus, s2, r2);
    });
  });
}

}  // namespace

void NetworkSubmit(const json &record, std::vector<uint8_t> verdict, PhoneState &state, Replies &replies) {
  const bool sent = record.value("outcome", "") == "sent";
  auto answer = [record, verdict = std::move(verdict), sent](PhoneState &s, Replies &r) {
    r.Send(0x02, verdict);
    if (sent) Confirmed(record, s, r);
  };
  const milliseconds delay = DelayOf(state, kSubmitDelay);
  if (delay.count() == 0)
    answer(state, replies);
  else
    replies.Later(delay, std::move(answer));
}

void StoreHeldReports(PhoneState &state, Replies &replies) {
  json &root = state.Json();
  if (!root.contains("network") || !root["network"].is_object()) return;
  json &held = root["network"]["held_reports"];
  if (!held.is_array() || held.empty()) return;
  if (!root.contains("sms") || !root["sms"].is_object()) root["sms"] = json::object();
  json &messages = root["sms"]["messages"];
  if (!messages.is_array()) messages = json::array();
  const int capacity = state.Integer(kCapacity, 15, 0, 255);
  int location = 1;
  size_t stored = 0;
  for (; stored < held.size(); ++stored) {
    for (;; ++location) {
      if (location > capacity) break;
      bool taken = false;
      for (const json &m : messages)
        if (m.is_object() && m.contains("location") && m["location"] == location) taken = true;
      if (!taken) break;
    }
    if (location > capacity) break;  // full: the rest wait for a delete
    json message = held[stored];
    message["location"] = location;
    messages.push_back(std::move(message));
    replies.Send(0x02, {0x01, 0x08, 0x00, 0x10, 0x02, static_cast<uint8_t>(location), 0x00});
  }
  held.erase(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(stored));
}

void RegisterSmsNetworkHandlers(HandlerTable &table) {
  table.AddDefaults({{"network",
                      {{"submit_delay_ms", 0},
                       {"report_delay_ms", 0},
                       {"report_rules", json::array()},
                       {"held_reports", json::array()}}}});
}

}  // namespace phonesim
