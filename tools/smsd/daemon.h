// The receive-and-send loop over one phone and one store.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include "config.h"
#include "hook.h"
#include "store.h"

namespace smsd {

// Set by SIGTERM/SIGINT: the daemon finishes its current step and stops.
extern std::atomic<bool> stopRequested;

class Daemon {
 public:
  Daemon(const Config &config, Store &store);
  // Opens the phone, then runs passes until stopped (or once). The exit status.
  int Run(bool once);

 private:
  bool OpenPhone(bool once);
  void Heartbeat();
  // The phone's absence in words: `reason` once when it goes, then "still waiting for
  // the phone (N min)" after 1, 2, 4, ... minutes (at most hourly), and "phone is back"
  // when it answers again.
  void PhoneDown(const std::string &reason);
  void PhoneUp();
  bool ReceivePass();
  // Stores and pairs the status reports of the list ReceivePass read, then, when the
  // phone's whole list was read (`wholeList`) and every report is in, expires the parts
  // whose final report is overdue; false when a report stays on the phone.
  bool ReportPass(bool wholeList);
  // Queues the run-on-report command for a row whose delivery state settled.
  void RunReportHook(const DeliverySettled &settled);
  int ExpirySeconds() const;
  void SendPass();
  void SendRow(OutboxRow row);
  // Queues the run-on-receive command for a new row; it runs beside the loop.
  void RunHook(int64_t id, const InboxMessage &message);
  // Sleeps up to `seconds`, watching for arrival notices and a stop; true when a
  // notice came.
  bool WaitForWork(double seconds);

  const Config &config_;
  Store &store_;
  std::string phoneId_;
  int notices_ = 0;
  bool down_ = false;
  std::chrono::steady_clock::time_point downSince_;
  int nextReportMinutes_ = 1;
  std::unique_ptr<HookRunner> hooks_, reportHooks_;
};

}  // namespace smsd
