#include "report_wait.h"

#include <pelkor16.h>

#include <chrono>
#include <map>
#include <thread>

#include "exit_status.h"
#include "sms_messages.h"

namespace pelkor_tool {
namespace {

constexpr int32_t kReportKind = 12;
constexpr int kPollMs = 250;
// The store is read afresh this often even without an arrival notice: a notice the
// phone never sent must not leave the wait hanging until its limit.
constexpr int kRescanMs = 30000;

bool Final(const StoredMessage &m) { return m.report.status < 0x20 || m.report.status >= 0x40; }

// Of two reports with one reference (references wrap after 256 sends), the later one.
// On equal stamps a final report wins over one that says the centre is still trying.
bool Later(const StoredMessage &a, const StoredMessage &b) {
  if (a.report.submitted != b.report.submitted) return a.report.submitted > b.report.submitted;
  if (a.report.discharged != b.report.discharged) return a.report.discharged > b.report.discharged;
  return Final(a) && !Final(b);
}

// The newest report for each reference asked for, among those the store holds now.
void ReadReports(const ReportWait &wait, std::map<int32_t, StoredMessage> &found) {
  updatesmslist();
  for (const StoredMessage &m : ListedMessages({kReportKind})) {
    if (!wait.to.empty() && m.to != wait.to) continue;
    bool asked = false;
    for (int32_t reference : wait.references) asked = asked || reference == m.report.reference;
    if (!asked) continue;
    auto [at, added] = found.try_emplace(m.report.reference, m);
    if (!added && Later(m, at->second)) at->second = m;
  }
}

}  // namespace

int WaitForReports(Report &r, const ReportWait &wait) {
  std::map<int32_t, StoredMessage> found;
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::seconds(wait.timeoutSeconds);
  auto lastScan = start;
  int32_t notices = smsreceivedcount();
  ReadReports(wait, found);
  const auto settled = [&] {
    for (int32_t reference : wait.references) {
      const auto it = found.find(reference);
      if (it == found.end() || !Final(it->second)) return false;
    }
    return true;
  };
  while (!settled() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    const int32_t now = smsreceivedcount();
    const auto sinceScan = std::chrono::steady_clock::now() - lastScan;
    if (now != notices || sinceScan >= std::chrono::milliseconds(kRescanMs)) {
      notices = now;
      lastScan = std::chrono::steady_clock::now();
      ReadReports(wait, found);
    }
  }

  nlohmann::json reports = nlohmann::json::array(), waiting = nlohmann::json::array();
  bool failed = false;
  for (int32_t reference : wait.references) {
    const auto it = found.find(reference);
    if (it == found.end() || !Final(it->second)) {
      waiting.push_back(reference);
      r.Line("reference " + std::to_string(reference) + ": " +
             (it == found.end() ? "no report yet" : "pending (the centre is still trying)"));
      continue;
    }
    const StoredMessage &m = it->second;
    failed = failed || m.report.status >= 0x40;
    reports.push_back(m.ToJson());
    r.Line("reference " + std::to_string(reference) + ": " + ReportStatusWord(m.report.status) + " to " + m.to +
           (m.report.discharged.empty() ? "" : " at " + m.report.discharged));
  }
  r.Json()["reports"] = reports;
  r.Json()["waiting"] = waiting;
  if (!waiting.empty())
    return r.FailStatus(kExitNoAnswer, "no final report within " + std::to_string(wait.timeoutSeconds) + " s for " +
                                           std::to_string(waiting.size()) + " of " +
                                           std::to_string(wait.references.size()) + " references");
  if (failed) return r.FailStatus(kExitRefused, "the network could not deliver every message");
  return r.Finish();
}

}  // namespace pelkor_tool
