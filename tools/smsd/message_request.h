// A request to send, as POST /v1/messages takes it: every field checked before anything
// is written, and how the library will send the text (its coding and parts).
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace smsd {

class Sql;

// How the library sends a text: "gsm" or "ucs2", and in how many parts.
struct TextPlan {
  std::string coding;
  int parts = 0;
  int characters = 0;      // Unicode characters of the text
  int charactersLeft = 0;  // characters that still fit in the last part
};

// The plan of a text that is UTF-8 without NUL; nothing when the library refuses it
// (over 255 parts).
std::optional<TextPlan> PlanText(const std::string &text);

struct MessageRequest {
  std::vector<std::string> to;  // 1 to kMaxRecipients numbers, one row each
  std::string text;
  std::optional<int> messageClass;
  bool report = false;
  int priority = 0;
  std::optional<std::string> notBefore;  // "YYYY-MM-DD hh:mm:ss" UTC
  TextPlan plan;
};

constexpr size_t kMaxRecipients = 100;

// What is wrong with a request body, naming the field ("to[2]", "text") and why.
struct RequestFault {
  std::string field, detail;
};

// The request read from a JSON object, or the first fault found in it.
std::optional<MessageRequest> ReadMessageRequest(const nlohmann::json &body, RequestFault &fault);

// The rows of a request, queued in the caller's transaction: {id, status, parts,
// coding} for each recipient, in order.
nlohmann::json QueueMessages(Sql &sql, const MessageRequest &request);

}  // namespace smsd
