#include "auth.h"

#include <stdexcept>

#include "crypto.h"
#include "sql.h"

namespace smsd {
namespace {

constexpr size_t kSecretBytes = 32;

void CheckName(const std::string &name, const char *what) {
  if (name.empty() || name.size() > 64)
    throw std::invalid_argument(std::string(what) + " name must be 1 to 64 characters");
  for (unsigned char c : name)
    if (c < 0x21 || c == 0x7F)
      throw std::invalid_argument(std::string(what) + " name must be printable characters without spaces");
}

// "pk_<id>_<secret>" into its id; 0 for anything else.
int64_t TokenId(const std::string &token) {
  if (token.rfind("pk_", 0) != 0) return 0;
  const size_t underscore = token.find('_', 3);
  if (underscore == std::string::npos || underscore == 3 || underscore > 3 + 18) return 0;
  int64_t id = 0;
  for (size_t i = 3; i < underscore; ++i) {
    if (token[i] < '0' || token[i] > '9') return 0;
    id = id * 10 + (token[i] - '0');
  }
  return token.size() == underscore + 1 + 2 * kSecretBytes ? id : 0;
}

}  // namespace

std::string CreateToken(Sql &sql, const std::string &name) {
  CheckName(name, "a token's");
  std::string token;
  sql.InTransaction([&] {
    if (!sql.Query("SELECT 1 FROM api_tokens WHERE name = $1", SqlParams().Add(name)).empty())
      throw std::invalid_argument("there is a token named " + name + " already");
    // The row first, for its id; the hash of the whole token then.
    const SqlRows rows =
        sql.Query("INSERT INTO api_tokens (name, token_hash, created_at) VALUES ($1, '', $2) RETURNING id",
                  SqlParams().Add(name).Add(UnixNow()));
    token = "pk_" + rows.at(0).Text(0) + "_" + RandomHex(kSecretBytes);
    sql.Query("UPDATE api_tokens SET token_hash = $1 WHERE id = $2",
              SqlParams().Add(Sha256Hex(token)).Add(rows.at(0).Int(0)));
  });
  return token;
}

std::optional<Principal> CheckToken(Sql &sql, const std::string &token) {
  const int64_t id = TokenId(token);
  if (id == 0) return std::nullopt;
  const SqlRows rows =
      sql.Query("SELECT name, token_hash FROM api_tokens WHERE id = $1 AND revoked_at IS NULL", SqlParams().Add(id));
  if (rows.empty() || !ConstantTimeEquals(Sha256Hex(token), rows[0].Text(1))) return std::nullopt;
  // Written at most once a minute, so that a busy client does not write on every call.
  sql.Query("UPDATE api_tokens SET last_used_at = $1 WHERE id = $2 AND (last_used_at IS NULL OR last_used_at < $3)",
            SqlParams().Add(UnixNow()).Add(id).Add(UnixNow() - 60));
  Principal who;
  who.tokenId = id;
  who.name = rows[0].Text(0);
  return who;
}

std::optional<Principal> CheckBearer(Sql &sql, const std::string &authorization) {
  const std::string scheme = "Bearer ";
  if (authorization.size() <= scheme.size()) return std::nullopt;
  for (size_t i = 0; i < scheme.size() - 1; ++i)
    if (std::tolower(static_cast<unsigned char>(authorization[i])) !=
        std::tolower(static_cast<unsigned char>(scheme[i])))
      return std::nullopt;
  if (authorization[scheme.size() - 1] != ' ') return std::nullopt;
  return CheckToken(sql, authorization.substr(scheme.size()));
}

bool RevokeToken(Sql &sql, const std::string &nameOrId) {
  bool numeric = !nameOrId.empty() && nameOrId.size() < 18;
  for (char c : nameOrId) numeric = numeric && c >= '0' && c <= '9';
  bool revoked = false;
  sql.InTransaction([&] {
    if (numeric)
      sql.Query("UPDATE api_tokens SET revoked_at = $1 WHERE id = $2 AND revoked_at IS NULL",
                SqlParams().Add(UnixNow()).Add(nameOrId));
    if (!numeric || sql.Changes() == 0)
      sql.Query("UPDATE api_tokens SET revoked_at = $1 WHERE name = $2 AND revoked_at IS NULL",
                SqlParams().Add(UnixNow()).Add(nameOrId));
    revoked = sql.Changes() > 0;
    // Sessions signed in with a revoked token end with it.
    sql.Query("DELETE FROM sessions WHERE token_id IN (SELECT id FROM api_tokens WHERE revoked_at IS NOT NULL)");
  });
  return revoked;
}

std::vector<TokenInfo> ListTokens(Sql &sql) {
  std::vector<TokenInfo> tokens;
  for (const SqlRow &r : sql.Query("SELECT id, name, created_at, last_used_at, revoked_at FROM api_tokens ORDER BY id"))
    tokens.push_back({r.Int(0), r.Text(1), r.Int(2), r.Int(3), r.Int(4)});
  return tokens;
}

void SetUser(Sql &sql, const std::string &name, const std::string &password) {
  CheckName(name, "a user's");
  if (password.size() < 8) throw std::invalid_argument("a password must have 8 characters or more");
  const std::string hash = HashPassword(password);
  sql.InTransaction([&] {
    sql.Query("UPDATE users SET password_hash = $1 WHERE name = $2", SqlParams().Add(hash).Add(name));
    if (sql.Changes() == 0)
      sql.Query("INSERT INTO users (name, password_hash, created_at) VALUES ($1, $2, $3)",
                SqlParams().Add(name).Add(hash).Add(UnixNow()));
    // A new password ends the sessions signed in with the old one.
    sql.Query("DELETE FROM sessions WHERE user_id IN (SELECT id FROM users WHERE name = $1)", SqlParams().Add(name));
  });
}

std::optional<Principal> CheckPassword(Sql &sql, const std::string &name, const std::string &password) {
  const SqlRows rows = sql.Query("SELECT id, password_hash FROM users WHERE name = $1", SqlParams().Add(name));
  // An unknown name costs as much as a wrong password, so that names cannot be probed.
  static const std::string decoy = HashPassword("no such user");
  const bool ok = VerifyPassword(password, rows.empty() ? decoy : rows[0].Text(1));
  if (rows.empty() || !ok) return std::nullopt;
  Principal who;
  who.userId = rows[0].Int(0);
  who.name = name;
  return who;
}

bool RemoveUser(Sql &sql, const std::string &name) {
  bool removed = false;
  sql.InTransaction([&] {
    sql.Query("DELETE FROM sessions WHERE user_id IN (SELECT id FROM users WHERE name = $1)", SqlParams().Add(name));
    sql.Query("DELETE FROM users WHERE name = $1", SqlParams().Add(name));
    removed = sql.Changes() > 0;
  });
  return removed;
}

Session CreateSession(Sql &sql, const Principal &who) {
  Session session;
  session.id = RandomHex(kSecretBytes);
  session.csrf = RandomHex(kSecretBytes);
  session.who = who;
  const int64_t now = UnixNow();
  sql.Query("DELETE FROM sessions WHERE expires_at < $1", SqlParams().Add(now));
  SqlParams p;
  p.Add(Sha256Hex(session.id));
  if (who.userId)
    p.Add(who.userId);
  else
    p.Null();
  if (who.tokenId)
    p.Add(who.tokenId);
  else
    p.Null();
  p.Add(session.csrf).Add(now).Add(now + kSessionSeconds);
  sql.Query(
      "INSERT INTO sessions (id_hash, user_id, token_id, csrf, created_at, expires_at) "
      "VALUES ($1, $2, $3, $4, $5, $6)",
      p);
  return session;
}

std::optional<Session> FindSession(Sql &sql, const std::string &id) {
  if (id.size() != 2 * kSecretBytes) return std::nullopt;
  const SqlRows rows = sql.Query(
      "SELECT s.csrf, s.user_id, s.token_id, coalesce(u.name, t.name) FROM sessions s "
      "LEFT JOIN users u ON u.id = s.user_id LEFT JOIN api_tokens t ON t.id = s.token_id AND t.revoked_at IS NULL "
      "WHERE s.id_hash = $1 AND s.expires_at > $2",
      SqlParams().Add(Sha256Hex(id)).Add(UnixNow()));
  // The lookup is by the hash of a 256-bit random value: nothing to learn from its time.
  if (rows.empty() || rows[0].IsNull(3)) return std::nullopt;
  Session session;
  session.id = id;
  session.csrf = rows[0].Text(0);
  session.who.userId = rows[0].Int(1);
  session.who.tokenId = rows[0].Int(2);
  session.who.name = rows[0].Text(3);
  return session;
}

void EndSession(Sql &sql, const std::string &id) {
  sql.Query("DELETE FROM sessions WHERE id_hash = $1", SqlParams().Add(Sha256Hex(id)));
}

}  // namespace smsd
