// Webhooks as the API and the CLI manage them: a URL, the events it hears of, and the
// secret its deliveries are signed with. A removed hook is kept (revoked) so that its
// past deliveries still name it; what was still waiting for it is not sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace smsd {

class Sql;

struct WebhookInfo {
  int64_t id = 0;
  std::string url;
  std::vector<std::string> events;
  std::string secret;  // filled in only by CreateWebhook's answer
  int64_t createdAt = 0;
  int64_t pending = 0, failed = 0;  // deliveries waiting, and given up on
  int64_t lastDeliveryAt = 0;       // 0: none delivered yet
};

// A refused field of a new hook: which one and why.
struct WebhookFieldError {
  std::string field, detail;
};

// Whether `url` is one a delivery may go to: http or https, a host, no spaces or
// control characters, at most 2000 bytes. Empty when it is; else why not.
std::string WebhookUrlFault(const std::string &url);

// Checks and stores a hook; a secret is generated (32 random bytes as hex) when
// `secret` is empty. Returns the hook with its secret, or the fault in `error`.
bool CreateWebhook(Sql &sql, const std::string &url, const std::vector<std::string> &events, const std::string &secret,
                   WebhookInfo &created, WebhookFieldError &error);
// The hooks in force, with their delivery counts.
std::vector<WebhookInfo> ListWebhooks(Sql &sql);
// Revokes the hook and fails the deliveries still waiting for it; false when there is
// no such hook in force.
bool RemoveWebhook(Sql &sql, int64_t id);

// "a,b" as {"a", "b"}, empty entries dropped.
std::vector<std::string> SplitCommaList(const std::string &text);

}  // namespace smsd
