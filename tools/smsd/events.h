// The events the store raises: for each change an application may want to hear of (a
// message received, sent, failed, delivered or not), one webhook_deliveries row per
// webhook subscribed to it, and the Kannel-style delivery callbacks an outbox row asked
// for. Always called inside the transaction of the change itself, so that an event is
// committed with its cause or not at all; the serve processes deliver them later.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace smsd {

class Sql;

// What happened to an outbox row.
enum class OutboxEvent {
  kSent,            // the phone accepted every part
  kFailed,          // refused for good
  kDelivered,       // the report says kDelivered
  kDeliveryFailed,  // the report says kFailed, or no final report came in time
  kDeliveryPending  // a report says the centre is still trying (Kannel callbacks only)
};

// The webhook events, as subscribers name them.
const std::vector<std::string> &WebhookEventNames();
bool IsWebhookEventName(const std::string &name);

// Raises `event` for outbox row `outboxId`, inside the caller's transaction on `sql`.
void RaiseOutboxEvent(Sql &sql, OutboxEvent event, int64_t outboxId, const std::string &reportText = "");
// The delivery event of a row whose delivery state settled as `state` (delivered,
// failed, expired).
void RaiseDeliverySettled(Sql &sql, int64_t outboxId, const std::string &state, const std::string &error);
// Raises message.received for a new inbox row: for a part of a concatenated message
// only once the message is complete, and once only (a part read again is not news).
void RaiseMessageReceived(Sql &sql, int64_t inboxId);

// The dlr-url of a row with its placeholders substituted, each value URL-encoded: %d the
// report type, %p the recipient, %T the Unix time, %I the message id, %A the report's text.
std::string ExpandDlrUrl(const std::string &pattern, int type, const std::string &recipient, int64_t unixTime,
                         int64_t messageId, const std::string &text);

}  // namespace smsd
