// The outbox through the API: queue messages (one row per recipient, an
// Idempotency-Key making a retried request harmless), preview how a text is sent, look
// rows up and list them, cancel a row still queued, and queue a failed one again.
#include "api_params.h"
#include "events.h"
#include "gateway.h"
#include "idempotency.h"
#include "message_json.h"
#include "message_request.h"
#include "sql.h"

namespace smsd {
namespace {

constexpr int64_t kDefaultLimit = 50, kMostLimit = 500;
const char *const kStatuses[] = {"queued", "sending", "sent", "failed", "unknown"};

void Queue(Call &call) {
  const auto body = JsonBody(call);
  if (!body) return;
  RequestFault fault;
  const auto request = ReadMessageRequest(*body, fault);
  if (!request) return SendProblem(call.response, 400, "Bad Request", fault.field + " " + fault.detail, fault.field);
  const bool list = (*body)["to"].is_array();
  AnswerOnce(call, [&] {
    const nlohmann::json rows = QueueMessages(call.db.sql(), *request);
    const nlohmann::json answer = list ? nlohmann::json{{"messages", rows}} : rows[0];
    return StoredAnswer{201, answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)};
  });
}

void Preview(Call &call) {
  const auto body = JsonBody(call);
  if (!body) return;
  if (!body->contains("text") || !(*body)["text"].is_string())
    return SendProblem(call.response, 400, "Bad Request", "text must be a string", "text");
  const std::string text = (*body)["text"].get<std::string>();
  const std::string why = OutboxFault("0", text);
  const auto plan = why.empty() ? PlanText(text) : std::nullopt;
  if (!plan)
    return SendProblem(call.response, 400, "Bad Request",
                       "text: " + (why.empty() ? std::string("the text needs more than 255 parts") : why), "text");
  SendJson(call.response, 200,
           {{"coding", plan->coding},
            {"parts", plan->parts},
            {"characters", plan->characters},
            {"characters_left", plan->charactersLeft}});
}

void Show(Call &call) {
  const auto id = PathId(call);
  const auto message = id ? OutboxMessageJson(call.db.sql(), *id) : std::nullopt;
  if (!message) return SendProblem(call.response, 404, "Not Found", "there is no message with this id");
  SendJson(call.response, 200, *message);
}

void List(Call &call) {
  const auto limit = LimitParam(call, kDefaultLimit, kMostLimit);
  if (!limit) return;
  const auto before = CursorParam(call, "messages");
  if (!before) return;
  Sql &sql = call.db.sql();
  std::string where = " WHERE 1 = 1";
  SqlParams params;
  auto bind = [&](const std::string &before, const std::string &value, const std::string &after = "") {
    params.Add(value);
    where += " AND " + before + "$" + std::to_string(params.values.size()) + after;
  };
  if (call.request.has_param("status")) {
    const std::string status = call.request.get_param_value("status");
    bool known = false;
    for (const char *s : kStatuses) known = known || status == s;
    if (!known)
      return SendProblem(call.response, 400, "Bad Request", "status must be queued, sending, sent, failed or unknown",
                         "status");
    bind("o.status = ", status);
  }
  if (call.request.has_param("to")) {
    const std::string to = call.request.get_param_value("to");
    const std::string why = NumberFault(to);
    if (!why.empty()) return SendProblem(call.response, 400, "Bad Request", "to: " + why, "to");
    bind("ltrim(o.destination, '+') = ltrim(", to, ", '+')");  // with or without its +
  }
  if (call.request.has_param("since")) {
    const auto since = ParseUtcTime(call.request.get_param_value("since"));
    if (!since)
      return SendProblem(call.response, 400, "Bad Request", "since must be an ISO 8601 UTC time (2026-12-10T13:47:25Z)",
                         "since");
    bind("o.created_at >= ", TimeParam(sql, *since));
  }
  if (*before > 0) bind("o.id < CAST(", std::to_string(*before), " AS BIGINT)");
  params.Add(*limit);
  const SqlRows rows =
      sql.Query("SELECT " + OutboxColumns(sql) + " FROM outbox o" + where + " ORDER BY o.id DESC LIMIT CAST($" +
                    std::to_string(params.values.size()) + " AS BIGINT)",
                params);
  nlohmann::json messages = nlohmann::json::array();
  for (const SqlRow &row : rows) {
    nlohmann::json message = OutboxJsonOf(row);
    message["parts"] = SentPartsJson(sql, row.Int(0));
    messages.push_back(std::move(message));
  }
  const bool more = static_cast<int64_t>(rows.size()) == *limit;
  SendJson(call.response, 200,
           {{"messages", messages},
            {"next_cursor", more ? nlohmann::json(EncodeCursor("messages", rows.back().Int(0))) : nlohmann::json()}});
}

// Moves row `id` from one of the statuses of `from` to its next state with `set`,
// raising `event` (if any) in the same transaction; answers the row, 404 for no row,
// 409 for a row in another status.
void Move(Call &call, const std::string &set, const std::string &from, const std::string &what,
          std::optional<OutboxEvent> event = std::nullopt) {
  const auto id = PathId(call);
  Sql &sql = call.db.sql();
  bool moved = false;
  std::string status;
  if (id)
    sql.InTransaction([&] {
      moved = !sql.Query("UPDATE outbox SET " + set + " WHERE id = $1 AND status IN (" + from + ") RETURNING id",
                         SqlParams().Add(*id))
                   .empty();
      if (moved && event) RaiseOutboxEvent(sql, *event, *id);
      if (!moved)
        for (const SqlRow &r : sql.Query("SELECT status FROM outbox WHERE id = $1", SqlParams().Add(*id)))
          status = r.Text(0);
    });
  if (!moved && status.empty()) return SendProblem(call.response, 404, "Not Found", "there is no message with this id");
  if (!moved) return SendProblem(call.response, 409, "Conflict", "the message is " + status + ": only " + what);
  SendJson(call.response, 200, *OutboxMessageJson(sql, *id));
}

}  // namespace

void AddMessageRoutes(Gateway &gateway) {
  gateway.Route("POST", "/v1/messages", "/v1/messages", Allow::kApi, Queue);
  gateway.Route("POST", "/v1/messages/preview", "/v1/messages/preview", Allow::kApi, Preview);
  gateway.Route("GET", "/v1/messages", "/v1/messages", Allow::kApi, List);
  gateway.Route("GET", R"(/v1/messages/(\d+))", "/v1/messages/{id}", Allow::kApi, Show);
  // A cancelled row is failed, with "cancelled" for its error: no phone takes it, it
  // can be queued again like any failed row, and whoever follows the row hears of it as
  // of any other failure.
  gateway.Route("DELETE", R"(/v1/messages/(\d+))", "/v1/messages/{id}", Allow::kApi, [](Call &call) {
    Move(call, "status = 'failed', last_error = 'cancelled'", "'queued'", "a queued message can be cancelled",
         OutboxEvent::kFailed);
  });
  // Back to the queue, due at once; its attempts are kept, so the phone's limit of
  // refusals still ends a row that cannot be sent.
  gateway.Route("POST", R"(/v1/messages/(\d+)/retry)", "/v1/messages/{id}/retry", Allow::kApi, [](Call &call) {
    Move(call, "status = 'queued', not_before = NULL", "'failed', 'unknown'",
         "a failed or unknown message can be queued again");
  });
}

}  // namespace smsd
