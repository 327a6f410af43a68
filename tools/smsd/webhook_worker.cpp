#include "webhook_worker.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "crypto.h"
#include "gateway.h"
#include "log.h"
#include "sql.h"
#include "webhooks.h"

namespace smsd {
namespace {

constexpr int64_t kFirstDelay = 10;       // seconds before the first retry
constexpr int64_t kMaxDelay = 3600;       // the longest wait between two attempts
constexpr size_t kMaxAnswer = 64 * 1024;  // of a receiver's answer, read at most
constexpr size_t kKeptAnswer = 1024;      // of it, kept with the delivery
constexpr auto kIdlePoll = std::chrono::milliseconds(500);
constexpr auto kPauseAfterError = std::chrono::seconds(5);
constexpr int64_t kPurgeEvery = 3600;              // seconds between two purges of old deliveries
constexpr int64_t kKeepDelivered = 7 * 24 * 3600;  // how long a delivered event is kept
constexpr int64_t kKeepFailed = 30 * 24 * 3600;    // and a failed one

// A positive number of seconds from the environment (the test knobs), else `fallback`.
int64_t SecondsFromEnvironment(const char *name, int64_t fallback) {
  const char *text = std::getenv(name);
  if (text == nullptr) return fallback;
  char *end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0' && value > 0 && value <= 86400 ? value : fallback;
}

struct Answer {
  std::string body;
  bool cut = false;
};

size_t Collect(char *data, size_t size, size_t count, void *user) {
  auto *answer = static_cast<Answer *>(user);
  const size_t bytes = size * count;
  if (answer->body.size() + bytes > kMaxAnswer) {
    answer->body.append(data, kMaxAnswer - answer->body.size());
    answer->cut = true;
    return 0;  // enough: the transfer ends here
  }
  answer->body.append(data, bytes);
  return bytes;
}

int AbortWhenStopping(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<std::atomic<bool> *>(user)->load() ? 1 : 0;
}

}  // namespace

int64_t WebhookRetryDelay(int64_t first, int attempts) {
  int64_t delay = std::max<int64_t>(first, 1);
  for (int i = 1; i < attempts && delay < kMaxDelay; ++i) delay *= 2;
  return std::min(delay, kMaxDelay);
}

std::string WebhookSignature(const std::string &secret, int64_t unixTime, const std::string &body) {
  const std::string t = std::to_string(unixTime);
  return "t=" + t + ",v1=" + HmacSha256Hex(secret, t + "." + body);
}

WebhookWorker::WebhookWorker(Gateway &gateway, int threads)
    : gateway_(gateway),
      // Test knobs: a faster retry schedule, and a shorter claim.
      firstDelay_(SecondsFromEnvironment("PELKOR_SMSD_WEBHOOK_BACKOFF", kFirstDelay)),
      claimSeconds_(SecondsFromEnvironment("PELKOR_SMSD_WEBHOOK_CLAIM",
                                           std::max<int64_t>(60, gateway.config().webhookTimeout + 10))) {
  // A claim must outlast one attempt, or a second process would send the event too.
  claimSeconds_ = std::max<int64_t>(claimSeconds_, gateway.config().webhookTimeout + 2);
  curl_global_init(CURL_GLOBAL_DEFAULT);
  for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Run(); });
}

WebhookWorker::~WebhookWorker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_.store(true);
  }
  wake_.notify_all();
  for (std::thread &t : threads_) t.join();
}

void WebhookWorker::PurgeOldDeliveries() {
  int64_t due = nextPurge_.load();
  const int64_t now = UnixNow();
  // One thread of the process purges; the others go on delivering.
  if (now < due || !nextPurge_.compare_exchange_strong(due, now + kPurgeEvery)) return;
  StorePool::Lease lease = gateway_.pool().Take();
  try {
    Sql &sql = lease.sql();
    sql.Query(
        "DELETE FROM webhook_deliveries WHERE (status = 'delivered' AND delivered_at < CAST($1 AS BIGINT)) "
        "OR (status = 'failed' AND created_at < CAST($2 AS BIGINT))",
        SqlParams().Add(now - kKeepDelivered).Add(now - kKeepFailed));
    if (sql.Changes() > 0) Log(Level::kInfo, "webhooks: " + std::to_string(sql.Changes()) + " old deliveries removed");
  } catch (const StoreError &) {
    lease.Broken();
    nextPurge_.store(now);  // tried again after the pause
    throw;
  }
}

void WebhookWorker::Run() {
  while (!stop_.load()) {
    bool claimed = false, failed = false;
    try {
      PurgeOldDeliveries();
      Claimed event;
      claimed = ClaimOne(event);
      if (claimed) Deliver(event);
    } catch (const std::exception &e) {
      // The database is away: said once a pause, not at every poll.
      Log(Level::kError, std::string("webhooks: ") + RedactSecrets(e.what()));
      failed = true;
    }
    if (!claimed || failed) {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait_for(lock, failed ? kPauseAfterError : kIdlePoll, [this] { return stop_.load(); });
    }
  }
}

bool WebhookWorker::ClaimOne(Claimed &claimed) {
  StorePool::Lease lease = gateway_.pool().Take();
  try {
    Sql &sql = lease.sql();
    const int64_t now = UnixNow();
    // One statement: on PostgreSQL the due row is locked as it is chosen, and skipped by
    // the other processes choosing at the same time; on SQLite the write lock is taken
    // up front.
    const std::string pick =
        std::string(
            "SELECT id FROM webhook_deliveries WHERE status = 'pending' AND next_attempt_at <= $2 "
            "AND (claimed_until IS NULL OR claimed_until < $2) ORDER BY next_attempt_at, id LIMIT 1") +
        (sql.IsPostgres() ? " FOR UPDATE SKIP LOCKED" : "");
    // A read first: an idle poll takes no write lock (on SQLite the daemon's).
    if (sql.Query("SELECT id FROM webhook_deliveries WHERE status = 'pending' AND next_attempt_at <= $1 "
                  "AND (claimed_until IS NULL OR claimed_until < $1) LIMIT 1",
                  SqlParams().Add(now))
            .empty())
      return false;
    SqlRows rows;
    sql.InTransaction([&] {
      rows = sql.Query("UPDATE webhook_deliveries SET claimed_by = $1, claimed_until = $3 WHERE id IN (" + pick +
                           ") RETURNING id, webhook_id, event, method, url, body, attempts, created_at",
                       SqlParams().Add(gateway_.serverId()).Add(now).Add(now + claimSeconds_));
    });
    if (rows.empty()) return false;
    const SqlRow &r = rows[0];
    claimed.id = r.Int(0);
    claimed.webhookId = r.Int(1);
    claimed.event = r.Text(2);
    claimed.method = r.Text(3);
    claimed.url = r.Text(4);
    claimed.body = r.Text(5);
    claimed.attempts = static_cast<int>(r.Int(6));
    claimed.createdAt = r.Int(7);
    return true;
  } catch (const StoreError &) {
    lease.Broken();
    throw;
  }
}

void WebhookWorker::Deliver(const Claimed &claimed) {
  std::string secret;
  if (claimed.webhookId != 0) {
    StorePool::Lease lease = gateway_.pool().Take();
    try {
      const SqlRows rows = lease.sql().Query("SELECT secret, revoked_at FROM webhooks WHERE id = $1",
                                             SqlParams().Add(claimed.webhookId));
      if (rows.empty() || !rows[0].IsNull(1)) {
        lease.sql().Query(
            "UPDATE webhook_deliveries SET status = 'failed', last_error = 'the webhook was removed', "
            "claimed_by = NULL, claimed_until = NULL WHERE id = $1 AND status = 'pending'",
            SqlParams().Add(claimed.id));
        return;
      }
      secret = rows[0].Text(0);
    } catch (const StoreError &) {
      lease.Broken();
      throw;
    }
  }
  Record(claimed, Send(claimed, secret));
}

WebhookWorker::Outcome WebhookWorker::Send(const Claimed &claimed, const std::string &secret) {
  Outcome outcome;
  // Checked again on the way out: a row written by hand is as untrusted as any other.
  if (std::string fault = WebhookUrlFault(claimed.url); !fault.empty()) {
    outcome.error = fault;
    return outcome;
  }
  CURL *curl = curl_easy_init();
  if (curl == nullptr) {
    outcome.error = "libcurl cannot start a transfer";
    return outcome;
  }
  curl_slist *headers = nullptr;
  const bool get = claimed.method == "GET";
  if (!get) {
    headers = curl_slist_append(headers, "Content-Type: application/json");
    headers = curl_slist_append(headers, ("X-Pelkor-Event: " + claimed.event).c_str());
    headers = curl_slist_append(headers, ("X-Pelkor-Delivery: " + std::to_string(claimed.id)).c_str());
    headers = curl_slist_append(headers,
                                ("X-Pelkor-Signature: " + WebhookSignature(secret, UnixNow(), claimed.body)).c_str());
  }
  headers = curl_slist_append(headers, "User-Agent: pelkor-smsd");
  headers = curl_slist_append(headers, "Expect:");
  Answer answer;
  char error[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(curl, CURLOPT_URL, claimed.url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(gateway_.config().webhookTimeout));
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, AbortWhenStopping);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &stop_);
  if (get) {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, claimed.body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(claimed.body.size()));
  }
  const CURLcode rc = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &outcome.status);
  // An answer cut short at its limit still answered: its status counts.
  if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && answer.cut))
    outcome.error = error[0] != '\0' ? error : curl_easy_strerror(rc);
  if (rc == CURLE_OPERATION_TIMEDOUT) outcome.status = 0;
  outcome.response = answer.body.substr(0, kKeptAnswer);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return outcome;
}

void WebhookWorker::Record(const Claimed &claimed, const Outcome &outcome) {
  if (stop_.load() && outcome.status == 0) return;  // abandoned: the claim runs out and it is sent again
  const bool delivered = outcome.error.empty() && outcome.status >= 200 && outcome.status < 300;
  // What the receiver said is kept as one safe line: any bytes may come back.
  const std::string response = EscapeControls(outcome.response);
  std::string error = outcome.error;
  if (error.empty() && !delivered) error = "the receiver answered " + std::to_string(outcome.status);
  const int64_t now = UnixNow();
  const int attempts = claimed.attempts + 1;
  const int64_t deadline = claimed.createdAt + static_cast<int64_t>(gateway_.config().webhookRetryHours * 3600);
  const int64_t next = now + WebhookRetryDelay(firstDelay_, attempts);
  const bool givenUp = !delivered && next > deadline;
  SqlParams p;
  p.Add(delivered ? "delivered" : givenUp ? "failed" : "pending").Add(static_cast<int64_t>(attempts));
  if (outcome.status > 0)
    p.Add(static_cast<int64_t>(outcome.status));
  else
    p.Null();
  if (error.empty())
    p.Null();
  else
    p.Add(EscapeControls(error));
  p.Add(response).Add(next).Add(now).Add(claimed.id);
  StorePool::Lease lease = gateway_.pool().Take();
  try {
    lease.sql().Query(
        "UPDATE webhook_deliveries SET status = $1, attempts = $2, last_status = $3, last_error = $4, "
        "last_response = $5, next_attempt_at = CASE WHEN $1 = 'pending' THEN CAST($6 AS BIGINT) ELSE next_attempt_at "
        "END, delivered_at = CASE WHEN $1 = 'delivered' THEN CAST($7 AS BIGINT) ELSE delivered_at END, "
        "claimed_by = NULL, claimed_until = NULL WHERE id = $8 AND status = 'pending'",
        p);
  } catch (const StoreError &) {
    lease.Broken();
    throw;
  }
  // Without its query: a receiver's URL may carry a secret there (a dlr-url's own token).
  const size_t query = claimed.url.find_first_of("?#");
  const std::string where = query == std::string::npos ? claimed.url : claimed.url.substr(0, query) + "?...";
  const std::string what = "webhooks: delivery " + std::to_string(claimed.id) + " (" + EscapeControls(claimed.event) +
                           ") to " + RedactSecrets(EscapeControls(where));
  if (delivered)
    Log(Level::kDebug, what + " answered " + std::to_string(outcome.status));
  else
    Log(givenUp ? Level::kError : Level::kWarning,
        what + " failed (attempt " + std::to_string(attempts) + "): " + RedactSecrets(EscapeControls(error)) +
            (response.empty() ? "" : "; answer: " + RedactSecrets(response.substr(0, 200))) +
            (givenUp ? "; given up" : "; next attempt in " + std::to_string(next - now) + " s"));
}

}  // namespace smsd
