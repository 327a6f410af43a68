#include "message_request.h"

#include <pelkor16.h>

#include "api_params.h"
#include "sql.h"
#include "store.h"

namespace smsd {
namespace {

constexpr int kPriorityBound = 100;

int Parts(const std::string &text, int32_t *ucs2 = nullptr) {
  int32_t parts = 0;
  return pelkor_smsparts_utf8(text.c_str(), &parts, ucs2) == PELKOR_OK ? parts : -1;
}

int CodePoints(const std::string &text) {
  int n = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// Whether the value is a whole number from `low` to `high` (a number too large for a
// signed 64-bit one is out of range, not wrapped round).
bool IntegerIn(const nlohmann::json &value, int64_t low, int64_t high) {
  if (value.is_number_unsigned()) return value.get<uint64_t>() <= static_cast<uint64_t>(high);
  return value.is_number_integer() && value.get<int64_t>() >= low && value.get<int64_t>() <= high;
}

bool Fault(RequestFault &fault, const std::string &field, const std::string &detail) {
  fault = {field, detail};
  return false;
}

bool ReadNumbers(const nlohmann::json &to, std::vector<std::string> &numbers, RequestFault &fault) {
  if (to.is_string()) {
    const std::string why = NumberFault(to.get<std::string>());
    if (!why.empty()) return Fault(fault, "to", why);
    numbers.push_back(to.get<std::string>());
    return true;
  }
  if (!to.is_array()) return Fault(fault, "to", "must be a phone number or a list of them");
  if (to.empty() || to.size() > kMaxRecipients)
    return Fault(fault, "to", "must list 1 to " + std::to_string(kMaxRecipients) + " numbers");
  for (size_t i = 0; i < to.size(); ++i) {
    const std::string field = "to[" + std::to_string(i) + "]";
    if (!to[i].is_string()) return Fault(fault, field, "must be a phone number as a string");
    const std::string why = NumberFault(to[i].get<std::string>());
    if (!why.empty()) return Fault(fault, field, why);
    numbers.push_back(to[i].get<std::string>());
  }
  return true;
}

bool ReadText(const nlohmann::json &body, MessageRequest &request, RequestFault &fault) {
  if (!body.contains("text")) return Fault(fault, "text", "is required");
  if (!body["text"].is_string()) return Fault(fault, "text", "must be a string");
  request.text = body["text"].get<std::string>();
  if (request.text.empty()) return Fault(fault, "text", "is empty");
  // The destination is checked on its own; a plain number lets the text's checks speak.
  const std::string why = OutboxFault("0", request.text);
  if (!why.empty()) return Fault(fault, "text", why);
  const auto plan = PlanText(request.text);
  if (!plan) return Fault(fault, "text", "the text needs more than 255 parts");
  request.plan = *plan;
  return true;
}

bool ReadOptions(const nlohmann::json &body, MessageRequest &request, RequestFault &fault) {
  if (body.contains("class") && !body["class"].is_null()) {
    const auto &c = body["class"];
    if (!IntegerIn(c, 0, 3)) return Fault(fault, "class", "must be 0, 1, 2, 3 or null");
    request.messageClass = c.get<int>();
  }
  if (body.contains("report") && !body["report"].is_null()) {
    if (!body["report"].is_boolean()) return Fault(fault, "report", "must be true or false");
    request.report = body["report"].get<bool>();
  }
  if (body.contains("priority") && !body["priority"].is_null()) {
    const auto &p = body["priority"];
    if (!IntegerIn(p, -kPriorityBound, kPriorityBound))
      return Fault(fault, "priority", "must be a whole number from -100 to 100");
    request.priority = p.get<int>();
  }
  if (body.contains("not_before") && !body["not_before"].is_null()) {
    const auto &t = body["not_before"];
    const auto utc = t.is_string() ? ParseUtcTime(t.get<std::string>()) : std::nullopt;
    if (!utc) return Fault(fault, "not_before", "must be an ISO 8601 UTC time (2026-12-10T13:47:25Z) or null");
    request.notBefore = *utc;
  }
  return true;
}

}  // namespace

std::optional<TextPlan> PlanText(const std::string &text) {
  int32_t ucs2 = 0;
  TextPlan plan;
  plan.parts = Parts(text, &ucs2);
  if (plan.parts < 1) return std::nullopt;
  plan.coding = ucs2 ? "ucs2" : "gsm";
  plan.characters = CodePoints(text);
  // How far the text can grow before it needs another part, as the library counts: a
  // plain letter costs one septet in the GSM alphabet and one unit in UCS-2 alike, so
  // the letters that still fit are the room left in the last part. No part holds more
  // than 160 of them.
  int fits = 0, fails = 161;
  while (fails - fits > 1) {
    const int n = (fits + fails) / 2;
    (Parts(text + std::string(static_cast<size_t>(n), 'a')) == plan.parts ? fits : fails) = n;
  }
  plan.charactersLeft = fits;
  return plan;
}

std::optional<MessageRequest> ReadMessageRequest(const nlohmann::json &body, RequestFault &fault) {
  static const char *kFields[] = {"to", "text", "class", "report", "priority", "not_before"};
  for (const auto &item : body.items()) {
    bool known = false;
    for (const char *f : kFields) known = known || item.key() == f;
    if (!known) {
      Fault(fault, item.key().substr(0, 64), "is not a field of a message");
      return std::nullopt;
    }
  }
  MessageRequest request;
  if (!body.contains("to")) {
    Fault(fault, "to", "is required");
    return std::nullopt;
  }
  if (!ReadNumbers(body["to"], request.to, fault) || !ReadText(body, request, fault) ||
      !ReadOptions(body, request, fault))
    return std::nullopt;
  return request;
}

nlohmann::json QueueMessages(Sql &sql, const MessageRequest &request) {
  nlohmann::json rows = nlohmann::json::array();
  SqlParams params;
  params.Add(request.text);
  if (request.messageClass)
    params.Add(*request.messageClass);
  else
    params.Null();
  params.Add(request.report ? "1" : "0").Add(request.priority);
  if (request.notBefore)
    params.Add(TimeParam(sql, *request.notBefore));
  else
    params.Null();
  params.Add(request.plan.coding).Null();
  for (const std::string &to : request.to) {
    params.values.back() = to;
    const SqlRows r = sql.Query(
        "INSERT INTO outbox (destination, text, class, status_report, priority, not_before, coding) "
        "VALUES ($7, $1, $2, $3, $4, $5, $6) RETURNING id",
        params);
    if (r.empty()) throw StoreError("the outbox row was not stored");
    rows.push_back(
        {{"id", r[0].Int(0)}, {"status", "queued"}, {"parts", request.plan.parts}, {"coding", request.plan.coding}});
  }
  return rows;
}

}  // namespace smsd
