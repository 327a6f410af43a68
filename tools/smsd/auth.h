// Who may use the gateway: API tokens (Authorization: Bearer), dashboard users and the
// sessions they sign in to. Tokens and session ids are random and kept only as their
// SHA-256; passwords as PBKDF2 hashes. Every comparison of a secret is constant-time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace smsd {

class Sql;

// Who made a request.
struct Principal {
  int64_t tokenId = 0;  // the API token, or the token signed in with (0: a user's password)
  int64_t userId = 0;   // the dashboard user (0: a token)
  std::string name;     // the token's or the user's name
};

struct TokenInfo {
  int64_t id = 0;
  std::string name;
  int64_t createdAt = 0, lastUsedAt = 0, revokedAt = 0;  // Unix seconds; 0: never
};

// Creates a token named `name` (1 to 64 printable characters, unique among tokens not
// revoked) and returns it: "pk_<id>_<64 hex digits>". Only its hash is stored, so this is
// the one time it is seen. Throws std::invalid_argument for a bad or taken name.
std::string CreateToken(Sql &sql, const std::string &name);
// The token's holder, or nothing for a token that is malformed, unknown or revoked.
std::optional<Principal> CheckToken(Sql &sql, const std::string &token);
// The value of an "Authorization: Bearer <token>" header checked as a token.
std::optional<Principal> CheckBearer(Sql &sql, const std::string &authorization);
// Revokes the token of this name or id; false when there is no such token in force.
bool RevokeToken(Sql &sql, const std::string &nameOrId);
std::vector<TokenInfo> ListTokens(Sql &sql);

// Adds a dashboard user, or sets the password of the one of that name. Throws
// std::invalid_argument for a bad name or a password under 8 characters.
void SetUser(Sql &sql, const std::string &name, const std::string &password);
std::optional<Principal> CheckPassword(Sql &sql, const std::string &name, const std::string &password);
bool RemoveUser(Sql &sql, const std::string &name);

struct Session {
  std::string id;    // the cookie's value: shown once, stored as its hash
  std::string csrf;  // the token forms and scripts send back (X-CSRF-Token or _csrf)
  Principal who;
};

constexpr int64_t kSessionSeconds = 12 * 3600;

// A new session for `who`, valid for kSessionSeconds.
Session CreateSession(Sql &sql, const Principal &who);
// The session of this cookie value, or nothing when it is unknown or expired (an
// expired one, and those of revoked tokens, are not honoured).
std::optional<Session> FindSession(Sql &sql, const std::string &id);
void EndSession(Sql &sql, const std::string &id);

}  // namespace smsd
