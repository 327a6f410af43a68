// The run-on-receive and run-on-report commands, beside the daemon's loop: one at a time, in the order
// the rows came, each in a process group of its own that is ended whole at its limit
// or when the daemon stops.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace smsd {

class HookRunner {
 public:
  // `command` runs through /bin/sh -c; `timeoutSeconds` is its limit. The log names it
  // `setting` ("run_on_receive") and its rows `rows` ("inbox row").
  HookRunner(std::string command, int timeoutSeconds, std::string setting = "run_on_receive",
             std::string rows = "inbox row");
  // Ends a command still running (SIGTERM to its group, SIGKILL after a grace) and
  // drops the ones waiting.
  ~HookRunner();
  HookRunner(const HookRunner &) = delete;
  HookRunner &operator=(const HookRunner &) = delete;

  // Queues the command for row `id`, with `variables` ("SMS_ID=...") added to the
  // daemon's environment.
  void Enqueue(int64_t id, std::vector<std::string> variables);
  // Waits until every queued command has run, or the daemon is asked to stop.
  void Drain();

 private:
  struct Job {
    int64_t id;
    std::vector<std::string> variables;
  };
  void Loop();
  void Run(Job &job);

  const std::string command_;
  const int timeoutSeconds_;
  const std::string setting_, rows_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> queue_;
  bool busy_ = false;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace smsd
