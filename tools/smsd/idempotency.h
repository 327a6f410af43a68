// Idempotency-Key: a client that retries a request with the same key gets the first
// answer again instead of a second effect. The key is kept per caller with the hash of
// the request's body and the answer given, written in the transaction of the effect.
#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "gateway.h"

namespace smsd {

// How long a key is kept: a retry after that is a new request.
constexpr int64_t kIdempotencySeconds = 24 * 3600;

// The answer of a request: its status and JSON body.
struct StoredAnswer {
  int status = 0;
  std::string body;
};

// Runs `work` (which makes the effect and returns its answer) once per key: in one
// transaction with the key's row, which is written first, so a concurrent request with
// the same key waits for this one and then replays its answer. Answers the call itself:
// the work's answer, the stored one (with Idempotent-Replayed: true), 422 for the key
// used with another body, 400 for a malformed key. Without the header, `work` runs in
// a transaction of its own.
void AnswerOnce(Call &call, const std::function<StoredAnswer()> &work);

}  // namespace smsd
