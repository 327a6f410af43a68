#include "idempotency.h"

#include <atomic>

#include "crypto.h"
#include "sql.h"

namespace smsd {
namespace {

constexpr size_t kMaxKey = 200;
constexpr int64_t kPurgeEverySeconds = 60;

bool PrintableKey(const std::string &key) {
  if (key.empty() || key.size() > kMaxKey) return false;
  for (unsigned char c : key)
    if (c < 0x20 || c > 0x7E) return false;
  return true;
}

// Keys are the caller's own: one client's key never replays another's answer.
std::string ScopeOf(const Call &call) {
  if (!call.who) return "anyone";
  return call.who->userId != 0 ? "user:" + std::to_string(call.who->userId)
                               : "token:" + std::to_string(call.who->tokenId);
}

// Keys past their time are deleted now and then (at most once a minute in a process):
// the table holds a day's keys, not every key ever used.
void PurgeExpired(Sql &sql, int64_t now) {
  static std::atomic<int64_t> lastPurge{0};
  int64_t last = lastPurge.load();
  if (now - last < kPurgeEverySeconds || !lastPurge.compare_exchange_strong(last, now)) return;
  sql.Query("DELETE FROM idempotency_keys WHERE created_at < CAST($1 AS BIGINT)",
            SqlParams().Add(now - kIdempotencySeconds));
}

void Send(Call &call, const StoredAnswer &answer) {
  call.response.status = answer.status;
  call.response.set_content(answer.body, answer.status >= 400 ? "application/problem+json" : "application/json");
}

}  // namespace

void AnswerOnce(Call &call, const std::function<StoredAnswer()> &work) {
  Sql &sql = call.db.sql();
  if (!call.request.has_header("Idempotency-Key")) {
    StoredAnswer answer;
    sql.InTransaction([&] { answer = work(); });
    return Send(call, answer);
  }
  const std::string key = call.request.get_header_value("Idempotency-Key");
  if (!PrintableKey(key))
    return SendProblem(call.response, 400, "Bad Request", "Idempotency-Key must be 1 to 200 printable ASCII characters",
                       "Idempotency-Key");
  const std::string scope = ScopeOf(call), hash = Sha256Hex(call.request.body);
  const int64_t now = UnixNow();
  PurgeExpired(sql, now);
  StoredAnswer answer;
  bool replayed = false, otherBody = false;
  sql.InTransaction([&] {
    // The key's row goes in first (in place of one past its time): a second request
    // with the key waits here for the first one's transaction (PostgreSQL's unique
    // index; SQLite's write lock) and then finds its answer.
    sql.Query("DELETE FROM idempotency_keys WHERE scope = $1 AND key = $2 AND created_at < CAST($3 AS BIGINT)",
              SqlParams().Add(scope).Add(key).Add(now - kIdempotencySeconds));
    const SqlRows claimed = sql.Query(
        "INSERT INTO idempotency_keys (scope, key, request_hash, status, body, created_at) "
        "VALUES ($1, $2, $3, 0, '', CAST($4 AS BIGINT)) ON CONFLICT DO NOTHING RETURNING 1",
        SqlParams().Add(scope).Add(key).Add(hash).Add(now));
    if (claimed.empty()) {
      const SqlRows kept =
          sql.Query("SELECT request_hash, status, body FROM idempotency_keys WHERE scope = $1 AND key = $2",
                    SqlParams().Add(scope).Add(key));
      if (kept.empty()) throw StoreError("the idempotency key was neither stored nor found stored");
      otherBody = !ConstantTimeEquals(kept[0].Text(0), hash);
      answer = {static_cast<int>(kept[0].Int(1)), kept[0].Text(2)};
      replayed = true;
      return;
    }
    answer = work();
    sql.Query("UPDATE idempotency_keys SET status = CAST($3 AS BIGINT), body = $4 WHERE scope = $1 AND key = $2",
              SqlParams().Add(scope).Add(key).Add(answer.status).Add(answer.body));
  });
  if (otherBody)
    return SendProblem(call.response, 422, "Unprocessable Content",
                       "this Idempotency-Key was used with another request body", "Idempotency-Key");
  if (replayed) call.response.set_header("Idempotent-Replayed", "true");
  Send(call, answer);
}

}  // namespace smsd
