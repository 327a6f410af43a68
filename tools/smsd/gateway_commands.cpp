#include "gateway_commands.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "auth.h"
#include "log.h"
#include "sql.h"
#include "store.h"
#include "webhooks.h"

namespace smsd {
namespace {

std::string Stamp(int64_t unixTime) { return unixTime <= 0 ? "-" : FormatUtc(unixTime, "%Y-%m-%d %H:%M:%S"); }

// One line from standard input, not echoed on a terminal.
std::string ReadSecretLine(const char *prompt) {
  termios saved{};
  const bool terminal = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    std::fprintf(stderr, "%s", prompt);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string line;
  std::getline(std::cin, line);
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fprintf(stderr, "\n");
  }
  return line;
}

}  // namespace

int CreateTokenCommand(Store &store, const std::string &name) {
  try {
    const std::string token = CreateToken(store.Database(), name);
    std::fprintf(stderr, "token %s created; it is shown this once, keep it safe:\n", EscapeControls(name).c_str());
    std::printf("%s\n", token.c_str());
    return 0;
  } catch (const std::invalid_argument &e) {
    std::cerr << "pelkor-smsd: token create: " << EscapeControls(e.what()) << '\n';
    return 2;
  }
}

int ListTokensCommand(Store &store) {
  std::printf("%-6s %-24s %-19s %-19s %s\n", "id", "name", "created (UTC)", "last used", "revoked");
  for (const TokenInfo &t : ListTokens(store.Database()))
    std::printf("%-6lld %-24s %-19s %-19s %s\n", static_cast<long long>(t.id), EscapeControls(t.name).c_str(),
                Stamp(t.createdAt).c_str(), Stamp(t.lastUsedAt).c_str(), Stamp(t.revokedAt).c_str());
  return 0;
}

int RevokeTokenCommand(Store &store, const std::string &nameOrId) {
  if (RevokeToken(store.Database(), nameOrId)) return 0;
  std::cerr << "pelkor-smsd: token revoke: no token " << EscapeControls(nameOrId) << " in force\n";
  return 2;
}

int AddUserCommand(Store &store, const std::string &name, const std::string &passwordFile) {
  std::string password;
  if (passwordFile == "-") {
    password = ReadSecretLine("password: ");
  } else {
    std::ifstream in(passwordFile);
    if (!in || !std::getline(in, password)) {
      std::cerr << "pelkor-smsd: user add: cannot read " << EscapeControls(passwordFile) << '\n';
      return 2;
    }
  }
  if (!password.empty() && password.back() == '\r') password.pop_back();
  try {
    SetUser(store.Database(), name, password);
    std::fprintf(stderr, "user %s can sign in to the dashboard\n", EscapeControls(name).c_str());
    return 0;
  } catch (const std::invalid_argument &e) {
    std::cerr << "pelkor-smsd: user add: " << EscapeControls(e.what()) << '\n';
    return 2;
  }
}

int RemoveUserCommand(Store &store, const std::string &name) {
  if (RemoveUser(store.Database(), name)) return 0;
  std::cerr << "pelkor-smsd: user remove: no user " << EscapeControls(name) << '\n';
  return 2;
}

int AddWebhookCommand(Store &store, const std::string &url, const std::string &events, const std::string &secret) {
  WebhookInfo created;
  WebhookFieldError error;
  if (!CreateWebhook(store.Database(), url, SplitCommaList(events), secret, created, error)) {
    std::cerr << "pelkor-smsd: webhook add: " << error.field << ": " << EscapeControls(error.detail) << '\n';
    return 2;
  }
  std::fprintf(stderr, "webhook %lld added; its deliveries are signed with this secret:\n",
               static_cast<long long>(created.id));
  std::printf("%lld %s\n", static_cast<long long>(created.id), created.secret.c_str());
  return 0;
}

int ListWebhooksCommand(Store &store) {
  std::printf("%-6s %-19s %-8s %-7s %-19s %s\n", "id", "created (UTC)", "pending", "failed", "last delivery",
              "url and events");
  for (const WebhookInfo &w : ListWebhooks(store.Database())) {
    std::string events;
    for (const std::string &e : w.events) events += (events.empty() ? "" : ",") + e;
    std::printf("%-6lld %-19s %-8lld %-7lld %-19s %s %s\n", static_cast<long long>(w.id), Stamp(w.createdAt).c_str(),
                static_cast<long long>(w.pending), static_cast<long long>(w.failed), Stamp(w.lastDeliveryAt).c_str(),
                EscapeControls(RedactSecrets(w.url)).c_str(), EscapeControls(events).c_str());
  }
  return 0;
}

int RemoveWebhookCommand(Store &store, int64_t id) {
  if (RemoveWebhook(store.Database(), id)) return 0;
  std::cerr << "pelkor-smsd: webhook remove: no webhook " << id << " in force\n";
  return 2;
}

}  // namespace smsd
