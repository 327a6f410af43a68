#include "events.h"

#include <nlohmann/json.hpp>

#include "log.h"
#include "message_json.h"
#include "sql.h"
#include "store.h"

namespace smsd {
namespace {

struct Subscriber {
  int64_t id = 0;
  std::string url;
};

// The active webhooks subscribed to `event`. Their events column is a comma list of
// names checked when the hook was made; matched here exactly, name by name.
std::vector<Subscriber> SubscribersOf(Sql &sql, const std::string &event) {
  std::vector<Subscriber> found;
  for (const SqlRow &r : sql.Query("SELECT id, url, events FROM webhooks WHERE revoked_at IS NULL ORDER BY id")) {
    const std::string events = "," + r.Text(2) + ",";
    if (events.find("," + event + ",") != std::string::npos) found.push_back({r.Int(0), r.Text(1)});
  }
  return found;
}

// One delivery row per subscriber. The body names its own delivery id, so the row is
// written first and its body once the id is known.
void QueueForSubscribers(Sql &sql, const std::vector<Subscriber> &subscribers, const std::string &event,
                         const char *idColumn, int64_t rowId, const nlohmann::json &message) {
  const int64_t now = UnixNow();
  for (const Subscriber &s : subscribers) {
    const SqlRows inserted =
        sql.Query(std::string("INSERT INTO webhook_deliveries (webhook_id, event, ") + idColumn +
                      ", method, url, body, next_attempt_at, created_at) VALUES ($1, $2, $3, 'POST', $4, '', $5, $5) "
                      "RETURNING id",
                  SqlParams().Add(s.id).Add(event).Add(rowId).Add(s.url).Add(now));
    if (inserted.empty()) throw StoreError("the webhook delivery was not stored");
    const int64_t deliveryId = inserted[0].Int(0);
    const nlohmann::json body = {
        {"id", deliveryId}, {"event", event}, {"created_at", FormatUtc(now)}, {"data", {{"message", message}}}};
    sql.Query("UPDATE webhook_deliveries SET body = $1 WHERE id = $2",
              SqlParams().Add(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)).Add(deliveryId));
  }
}

const char *EventName(OutboxEvent event) {
  switch (event) {
    case OutboxEvent::kSent:
      return "message.sent";
    case OutboxEvent::kFailed:
      return "message.failed";
    case OutboxEvent::kDelivered:
      return "message.delivered";
    case OutboxEvent::kDeliveryFailed:
      return "message.delivery_failed";
    case OutboxEvent::kDeliveryPending:
      return "";
  }
  return "";
}

// The report type of Kannel's dlr-mask for the event.
int DlrType(OutboxEvent event) {
  switch (event) {
    case OutboxEvent::kDelivered:
      return 1;
    case OutboxEvent::kDeliveryFailed:
      return 2;
    case OutboxEvent::kDeliveryPending:
      return 4;
    case OutboxEvent::kSent:
      return 8;
    case OutboxEvent::kFailed:
      return 16;
  }
  return 0;
}

}  // namespace

const std::vector<std::string> &WebhookEventNames() {
  static const std::vector<std::string> names = {"message.received", "message.sent", "message.failed",
                                                 "message.delivered", "message.delivery_failed"};
  return names;
}

bool IsWebhookEventName(const std::string &name) {
  for (const std::string &n : WebhookEventNames())
    if (n == name) return true;
  return false;
}

std::string ExpandDlrUrl(const std::string &pattern, int type, const std::string &recipient, int64_t unixTime,
                         int64_t messageId, const std::string &text) {
  std::string url;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 >= pattern.size()) {
      url += pattern[i];
      continue;
    }
    switch (pattern[i + 1]) {
      case 'd':
        url += std::to_string(type);
        break;
      case 'p':
        url += PercentEncoded(recipient);
        break;
      case 'T':
        url += std::to_string(unixTime);
        break;
      case 'I':
        url += std::to_string(messageId);
        break;
      case 'A':
        url += PercentEncoded(text);
        break;
      default:
        // Not a placeholder (an escape already in the URL, "%20"): kept as it is.
        url += pattern[i];
        continue;
    }
    ++i;
  }
  return url;
}

void RaiseOutboxEvent(Sql &sql, OutboxEvent event, int64_t outboxId, const std::string &reportText) {
  const std::string name = EventName(event);
  const std::vector<Subscriber> subscribers = name.empty() ? std::vector<Subscriber>() : SubscribersOf(sql, name);
  const SqlRows rows =
      sql.Query("SELECT destination, dlr_url, dlr_mask, last_error, delivery_error FROM outbox WHERE id = $1",
                SqlParams().Add(outboxId));
  if (rows.empty()) return;
  const SqlRow &row = rows[0];
  const int type = DlrType(event);
  const bool callback = !row.Text(1).empty() && (row.Int(2) & type) != 0;
  if (!subscribers.empty()) {
    if (auto message = OutboxMessageJson(sql, outboxId))
      QueueForSubscribers(sql, subscribers, name, "outbox_id", outboxId, *message);
  }
  if (!callback) return;
  std::string text = reportText;
  if (text.empty()) {
    switch (event) {
      case OutboxEvent::kSent:
        text = "accepted by the phone";
        break;
      case OutboxEvent::kFailed:
        text = row.IsNull(3) ? "refused" : row.Text(3);
        break;
      case OutboxEvent::kDelivered:
        text = "delivered";
        break;
      case OutboxEvent::kDeliveryFailed:
        text = row.IsNull(4) ? "not delivered" : row.Text(4);
        break;
      case OutboxEvent::kDeliveryPending:
        text = "pending";
        break;
    }
  }
  const int64_t now = UnixNow();
  sql.Query(
      "INSERT INTO webhook_deliveries (webhook_id, event, outbox_id, method, url, body, next_attempt_at, created_at) "
      "VALUES (NULL, 'kannel.dlr', $1, 'GET', $2, '', $3, $3)",
      SqlParams().Add(outboxId).Add(ExpandDlrUrl(row.Text(1), type, row.Text(0), now, outboxId, text)).Add(now));
}

void RaiseDeliverySettled(Sql &sql, int64_t outboxId, const std::string &state, const std::string &error) {
  if (state == "delivered")
    RaiseOutboxEvent(sql, OutboxEvent::kDelivered, outboxId);
  else if (state == "failed" || state == "expired")
    RaiseOutboxEvent(sql, OutboxEvent::kDeliveryFailed, outboxId, error.empty() ? state : error);
}

void RaiseMessageReceived(Sql &sql, int64_t inboxId) {
  // A part whose number an earlier row of the same message has already (the message
  // read again from another location) completes nothing new.
  const SqlRows earlier = sql.Query(
      "SELECT COUNT(*) FROM inbox i JOIN inbox j ON j.phone_id = i.phone_id AND j.sender = i.sender "
      "AND j.concat_reference = i.concat_reference AND j.concat_total = i.concat_total "
      "AND j.concat_part = i.concat_part AND j.id < i.id WHERE i.id = $1",
      SqlParams().Add(inboxId));
  if (!earlier.empty() && earlier[0].Int(0) > 0) return;
  const std::vector<Subscriber> subscribers = SubscribersOf(sql, "message.received");
  if (subscribers.empty()) return;
  const std::optional<nlohmann::json> message = InboxMessageJson(sql, inboxId);
  if (!message || !message->value("complete", false)) return;
  QueueForSubscribers(sql, subscribers, "message.received", "inbox_id", message->at("id").get<int64_t>(), *message);
}

}  // namespace smsd
