// Delivers the events waiting in webhook_deliveries: every serve process runs a few of
// these threads, and each event is claimed by one of them at a time (SKIP LOCKED on
// PostgreSQL, the write lock on SQLite) for a limited time, so that the claim of a
// process that died is taken again. An event is retried with a growing delay until a
// 2xx answer, or failed once it is webhook_retry_hours old. Delivered events are kept a
// week and failed ones a month (the dashboard and the metrics show them), then removed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace smsd {

class Gateway;

// The delay before the next attempt of an event tried `attempts` times: `first`
// seconds, doubled each time, at most an hour.
int64_t WebhookRetryDelay(int64_t first, int attempts);
// X-Pelkor-Signature for `body` sent at `unixTime`: "t=TIME,v1=HEX" where HEX is the
// HMAC-SHA256 under `secret` of the decimal time, a dot and the body's bytes.
std::string WebhookSignature(const std::string &secret, int64_t unixTime, const std::string &body);

class WebhookWorker {
 public:
  // Starts `threads` delivery threads.
  WebhookWorker(Gateway &gateway, int threads);
  // Stops them: a delivery in progress is abandoned (its claim runs out and it is sent again).
  ~WebhookWorker();
  WebhookWorker(const WebhookWorker &) = delete;
  WebhookWorker &operator=(const WebhookWorker &) = delete;

  struct Claimed {
    int64_t id = 0, webhookId = 0, createdAt = 0;
    int attempts = 0;
    std::string event, method, url, body;
  };
  struct Outcome {
    long status = 0;  // the HTTP status; 0: no answer
    std::string error, response;
  };

 private:
  void Run();
  // Once an hour: deliveries done with (delivered a week ago, failed a month ago) go.
  void PurgeOldDeliveries();
  // Claims the next due event; false when none is due.
  bool ClaimOne(Claimed &claimed);
  void Deliver(const Claimed &claimed);
  Outcome Send(const Claimed &claimed, const std::string &secret);
  void Record(const Claimed &claimed, const Outcome &outcome);

  Gateway &gateway_;
  int64_t firstDelay_, claimSeconds_;
  std::atomic<int64_t> nextPurge_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::thread> threads_;
};

}  // namespace smsd
