#include "webhooks.h"

#include <algorithm>

#include "crypto.h"
#include "events.h"
#include "sql.h"
#include "store.h"

namespace smsd {

constexpr size_t kMaxUrl = 2000;
constexpr size_t kMinSecret = 16, kMaxSecret = 200;

std::string WebhookUrlFault(const std::string &url) {
  if (url.empty()) return "a URL is needed";
  if (url.size() > kMaxUrl) return "the URL is longer than 2000 bytes";
  for (unsigned char c : url)
    if (c <= ' ' || c == 0x7F) return "the URL holds a space or a control character";
  std::string lower = url.substr(0, 8);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  size_t hostAt = 0;
  if (lower.rfind("http://", 0) == 0)
    hostAt = 7;
  else if (lower.rfind("https://", 0) == 0)
    hostAt = 8;
  else
    return "the URL must start with http:// or https://";
  if (hostAt >= url.size() || url[hostAt] == '/' || url[hostAt] == '?' || url[hostAt] == '#')
    return "the URL has no host";
  return "";
}

std::vector<std::string> SplitCommaList(const std::string &text) {
  std::vector<std::string> items;
  size_t at = 0;
  while (at <= text.size()) {
    const size_t end = std::min(text.find(',', at), text.size());
    std::string item = text.substr(at, end - at);
    const size_t first = item.find_first_not_of(' '), last = item.find_last_not_of(' ');
    if (first != std::string::npos) items.push_back(item.substr(first, last - first + 1));
    at = end + 1;
  }
  return items;
}

bool CreateWebhook(Sql &sql, const std::string &url, const std::vector<std::string> &events, const std::string &secret,
                   WebhookInfo &created, WebhookFieldError &error) {
  if (std::string fault = WebhookUrlFault(url); !fault.empty()) {
    error = {"url", fault};
    return false;
  }
  if (events.empty()) {
    error = {"events", "at least one event is needed"};
    return false;
  }
  std::vector<std::string> chosen;
  for (const std::string &e : events) {
    if (!IsWebhookEventName(e)) {
      error = {"events",
               "unknown event (not message.received, message.sent, message.failed, message.delivered or "
               "message.delivery_failed)"};
      return false;
    }
    if (std::find(chosen.begin(), chosen.end(), e) == chosen.end()) chosen.push_back(e);
  }
  if (!secret.empty()) {
    if (secret.size() < kMinSecret || secret.size() > kMaxSecret) {
      error = {"secret", "the secret must be 16 to 200 characters"};
      return false;
    }
    for (unsigned char c : secret)
      if (c < ' ' || c == 0x7F) {
        error = {"secret", "the secret holds a control character"};
        return false;
      }
  }
  created.url = url;
  created.events = chosen;
  created.secret = secret.empty() ? RandomHex(32) : secret;
  created.createdAt = UnixNow();
  std::string list;
  for (const std::string &e : chosen) list += (list.empty() ? "" : ",") + e;
  const SqlRows rows =
      sql.Query("INSERT INTO webhooks (url, events, secret, created_at) VALUES ($1, $2, $3, $4) RETURNING id",
                SqlParams().Add(url).Add(list).Add(created.secret).Add(created.createdAt));
  if (rows.empty()) throw StoreError("the webhook was not stored");
  created.id = rows[0].Int(0);
  return true;
}

std::vector<WebhookInfo> ListWebhooks(Sql &sql) {
  std::vector<WebhookInfo> hooks;
  for (const SqlRow &r :
       sql.Query("SELECT w.id, w.url, w.events, w.created_at, "
                 "(SELECT COUNT(*) FROM webhook_deliveries d WHERE d.webhook_id = w.id AND d.status = 'pending'), "
                 "(SELECT COUNT(*) FROM webhook_deliveries d WHERE d.webhook_id = w.id AND d.status = 'failed'), "
                 "(SELECT MAX(delivered_at) FROM webhook_deliveries d WHERE d.webhook_id = w.id) "
                 "FROM webhooks w WHERE w.revoked_at IS NULL ORDER BY w.id")) {
    WebhookInfo w;
    w.id = r.Int(0);
    w.url = r.Text(1);
    w.events = SplitCommaList(r.Text(2));
    w.createdAt = r.Int(3);
    w.pending = r.Int(4);
    w.failed = r.Int(5);
    w.lastDeliveryAt = r.Int(6);
    hooks.push_back(w);
  }
  return hooks;
}

bool RemoveWebhook(Sql &sql, int64_t id) {
  bool removed = false;
  sql.InTransaction([&] {
    const int64_t now = UnixNow();
    sql.Query("UPDATE webhooks SET revoked_at = $1 WHERE id = $2 AND revoked_at IS NULL", SqlParams().Add(now).Add(id));
    removed = sql.Changes() > 0;
    if (removed)
      sql.Query(
          "UPDATE webhook_deliveries SET status = 'failed', last_error = 'the webhook was removed', "
          "claimed_by = NULL, claimed_until = NULL WHERE webhook_id = $1 AND status = 'pending'",
          SqlParams().Add(id));
  });
  return removed;
}

}  // namespace smsd
