#include "gateway_commands.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "auth.h"
#include "log.h"
#include "sql.h"
#include "store.h"

namespace smsd {
namespace {

std::string Stamp(int64_t unixTime) {
  if (unixTime <= 0) return "-";
  const std::time_t t = static_cast<std::time_t>(unixTime);
  std::tm utc{};
  ::gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
  return text;
}

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

}  // namespace smsd
