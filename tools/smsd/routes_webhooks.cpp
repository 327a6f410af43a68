// /v1/webhooks: add, list and remove webhooks, and read a hook's last deliveries with
// the answers they got.

#include "gateway.h"
#include "message_json.h"
#include "sql.h"
#include "webhooks.h"

namespace smsd {
namespace {

constexpr int kDefaultDeliveries = 20, kMaxDeliveries = 200;

nlohmann::json TimeAt(const SqlRow &row, size_t column) {
  return row.IsNull(column) ? nlohmann::json() : IsoOrNull(row.Int(column));
}

// A path's id: digits only, within int64; 0 when it is not one.
int64_t IdOf(const std::string &text) {
  if (text.empty() || text.size() > 18) return 0;
  int64_t id = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    id = id * 10 + (c - '0');
  }
  return id;
}

void AddWebhook(Call &call) {
  const std::optional<nlohmann::json> body = JsonBody(call);
  if (!body) return;
  const nlohmann::json &b = *body;
  if (!b.contains("url") || !b["url"].is_string())
    return SendProblem(call.response, 400, "Bad Request", "url must be a string", "url");
  if (!b.contains("events") || !b["events"].is_array())
    return SendProblem(call.response, 400, "Bad Request", "events must be a list of event names", "events");
  std::vector<std::string> events;
  for (const nlohmann::json &e : b["events"]) {
    if (!e.is_string())
      return SendProblem(call.response, 400, "Bad Request", "events must be a list of event names", "events");
    events.push_back(e.get<std::string>());
  }
  std::string secret;
  if (b.contains("secret") && !b["secret"].is_null()) {
    if (!b["secret"].is_string())
      return SendProblem(call.response, 400, "Bad Request", "secret must be a string", "secret");
    secret = b["secret"].get<std::string>();
    if (secret.empty())
      return SendProblem(call.response, 400, "Bad Request", "the secret must be 16 to 200 characters", "secret");
  }
  WebhookInfo created;
  WebhookFieldError error;
  if (!CreateWebhook(call.db.sql(), b["url"].get<std::string>(), events, secret, created, error))
    return SendProblem(call.response, 400, "Bad Request", error.detail, error.field);
  SendJson(call.response, 201,
           {{"id", created.id},
            {"url", created.url},
            {"events", created.events},
            {"secret", created.secret},
            {"created_at", IsoOrNull(created.createdAt)}});
}

void ListHooks(Call &call) {
  nlohmann::json hooks = nlohmann::json::array();
  for (const WebhookInfo &w : ListWebhooks(call.db.sql()))
    hooks.push_back({{"id", w.id},
                     {"url", w.url},
                     {"events", w.events},
                     {"created_at", IsoOrNull(w.createdAt)},
                     {"pending", w.pending},
                     {"failed", w.failed},
                     {"last_delivery_at", IsoOrNull(w.lastDeliveryAt)}});
  SendJson(call.response, 200, {{"webhooks", hooks}, {"next_cursor", nullptr}});
}

void RemoveHook(Call &call) {
  const int64_t id = IdOf(call.request.matches[1].str());
  if (id == 0 || !RemoveWebhook(call.db.sql(), id))
    return SendProblem(call.response, 404, "Not Found", "there is no webhook " + std::to_string(id) + " in force");
  call.response.status = 204;
}

void ListDeliveries(Call &call) {
  Sql &sql = call.db.sql();
  const int64_t id = IdOf(call.request.matches[1].str());
  if (id == 0 || sql.Query("SELECT 1 FROM webhooks WHERE id = $1", SqlParams().Add(id)).empty())
    return SendProblem(call.response, 404, "Not Found", "there is no such webhook");
  int64_t limit = kDefaultDeliveries;
  if (call.request.has_param("limit")) {
    limit = IdOf(call.request.get_param_value("limit"));
    if (limit < 1 || limit > kMaxDeliveries)
      return SendProblem(call.response, 400, "Bad Request", "limit must be a whole number from 1 to 200", "limit");
  }
  nlohmann::json deliveries = nlohmann::json::array();
  for (const SqlRow &r : sql.Query(
           "SELECT id, event, status, attempts, last_status, last_error, last_response, created_at, delivered_at, "
           "next_attempt_at FROM webhook_deliveries WHERE webhook_id = $1 ORDER BY id DESC LIMIT CAST($2 AS BIGINT)",
           SqlParams().Add(id).Add(limit))) {
    const bool pending = r.Text(2) == "pending";
    deliveries.push_back({{"id", r.Int(0)},
                          {"event", r.Text(1)},
                          {"status", r.Text(2)},
                          {"attempts", r.Int(3)},
                          {"last_status", r.IsNull(4) ? nlohmann::json() : nlohmann::json(r.Int(4))},
                          {"last_error", r.IsNull(5) ? nlohmann::json() : nlohmann::json(r.Text(5))},
                          {"last_response", r.IsNull(6) ? nlohmann::json() : nlohmann::json(r.Text(6))},
                          {"created_at", TimeAt(r, 7)},
                          {"delivered_at", TimeAt(r, 8)},
                          {"next_attempt_at", pending ? TimeAt(r, 9) : nlohmann::json()}});
  }
  SendJson(call.response, 200, {{"deliveries", deliveries}, {"next_cursor", nullptr}});
}

}  // namespace

void AddWebhookRoutes(Gateway &gateway) {
  gateway.Route("POST", "/v1/webhooks", "/v1/webhooks", Allow::kApi, AddWebhook);
  gateway.Route("GET", "/v1/webhooks", "/v1/webhooks", Allow::kApi, ListHooks);
  gateway.Route("DELETE", R"(/v1/webhooks/([^/]+))", "/v1/webhooks/{id}", Allow::kApi, RemoveHook);
  gateway.Route("GET", R"(/v1/webhooks/([^/]+)/deliveries)", "/v1/webhooks/{id}/deliveries", Allow::kApi,
                ListDeliveries);
}

}  // namespace smsd
