// The JSON the dashboard needs beside the API's messages: who is signed in (and the
// CSRF token its writes send back), messages sent and received per hour, and the API
// tokens.
#include <stdexcept>

#include "dashboard.h"
#include "log.h"
#include "message_json.h"
#include "sql.h"

namespace smsd {
namespace {

constexpr int64_t kHour = 3600;
constexpr int kMaxHours = 7 * 24;

// A count per hour (the hour's first Unix second) from `select`, which returns
// (hour number, count) rows for the times from `since` on.
std::map<int64_t, int64_t> CountsByHour(Sql &sql, const std::string &select, int64_t since) {
  std::map<int64_t, int64_t> counts;
  for (const SqlRow &r : sql.Query(select, SqlParams().Add(since))) counts[r.Int(0) * kHour] = r.Int(1);
  return counts;
}

// ?hours=: 1 to kMaxHours, 48 when not given; nothing (the problem sent) otherwise.
std::optional<int> HoursOf(Call &call) {
  if (!call.request.has_param("hours")) return 48;
  const std::string text = call.request.get_param_value("hours");
  int hours = 0;
  bool ok = !text.empty() && text.size() <= 3;
  for (char c : text) {
    ok = ok && c >= '0' && c <= '9';
    if (ok) hours = hours * 10 + (c - '0');
  }
  if (ok && hours >= 1 && hours <= kMaxHours) return hours;
  SendProblem(call.response, 400, "Bad Request", "hours must be a whole number from 1 to 168", "hours");
  return std::nullopt;
}

void HourlyStats(Call &call) {
  const std::optional<int> hours = HoursOf(call);
  if (!hours) return;
  Sql &sql = call.db.sql();
  // The current hour is the last; every hour is listed, those without messages as 0.
  const int64_t last = UnixNow() / kHour * kHour;
  const int64_t first = last - (*hours - 1) * kHour;
  const std::string sentAt = sql.EpochOf("sent_at"), receivedAt = sql.EpochOf("received_at");
  const auto sent = CountsByHour(
      sql, "SELECT " + sentAt + " / 3600, COUNT(*) FROM sent WHERE " + sentAt + " >= CAST($1 AS BIGINT) GROUP BY 1",
      first);
  // Whole messages: a long one counts once, in the hour its last part came.
  const auto received = CountsByHour(sql,
                                     "SELECT " + receivedAt + " / 3600, COUNT(*) FROM inbox_messages WHERE " +
                                         receivedAt + " >= CAST($1 AS BIGINT) GROUP BY 1",
                                     first);
  nlohmann::json list = nlohmann::json::array();
  for (int64_t hour = first; hour <= last; hour += kHour) {
    const auto s = sent.find(hour), r = received.find(hour);
    list.push_back({{"hour", IsoOrNull(hour)},
                    {"sent", s == sent.end() ? 0 : s->second},
                    {"received", r == received.end() ? 0 : r->second}});
  }
  SendJson(call.response, 200, {{"hours", list}});
}

void ListTokensRoute(Call &call) {
  nlohmann::json list = nlohmann::json::array();
  for (const TokenInfo &t : ListTokens(call.db.sql()))
    list.push_back({{"id", t.id},
                    {"name", t.name},
                    {"created_at", IsoOrNull(t.createdAt)},
                    {"last_used_at", IsoOrNull(t.lastUsedAt)},
                    {"revoked_at", IsoOrNull(t.revokedAt)}});
  SendJson(call.response, 200, {{"tokens", list}, {"next_cursor", nullptr}});
}

void CreateTokenRoute(Call &call) {
  std::optional<nlohmann::json> body = JsonBody(call);
  if (!body) return;
  const auto name = body->find("name");
  if (name == body->end() || !name->is_string())
    return SendProblem(call.response, 400, "Bad Request", "name must be a string", "name");
  Sql &sql = call.db.sql();
  const std::string text = name->get<std::string>();
  if (!sql.Query("SELECT 1 FROM api_tokens WHERE name = $1", SqlParams().Add(text)).empty())
    return SendProblem(call.response, 409, "Conflict", "there is a token of this name already", "name");
  std::string token;
  try {
    token = CreateToken(sql, text);
  } catch (const std::invalid_argument &e) {
    return SendProblem(call.response, 400, "Bad Request", e.what(), "name");
  }
  // "pk_<id>_<secret>"
  const int64_t id = std::stoll(token.substr(3, token.find('_', 3) - 3));
  Log(Level::kInfo, "serve: " + EscapeControls(call.who->name) + " created token " + std::to_string(id) + " (" +
                        EscapeControls(text) + ")");
  SendJson(call.response, 201, {{"id", id}, {"name", text}, {"token", token}});
}

void RevokeTokenRoute(Call &call) {
  Sql &sql = call.db.sql();
  const std::string id = call.request.matches[1].str();
  // By id only: RevokeToken would take a name as well, and a token may be named "7".
  if (id.size() > 18 ||
      sql.Query("SELECT 1 FROM api_tokens WHERE id = $1 AND revoked_at IS NULL", SqlParams().Add(id)).empty() ||
      !RevokeToken(sql, id))
    return SendProblem(call.response, 404, "Not Found", "there is no token in force with this id", "id");
  Log(Level::kInfo, "serve: " + EscapeControls(call.who->name) + " revoked token " + id);
  call.response.status = 204;
}

}  // namespace

void AddDashboardApiRoutes(Gateway &gateway) {
  gateway.Route("GET", "/v1/session", "/v1/session", Allow::kApi, [](Call &call) {
    SendJson(call.response, 200,
             {{"name", call.who->name},
              {"csrf", call.session ? nlohmann::json(call.session->csrf) : nlohmann::json(nullptr)}});
  });
  gateway.Route("GET", "/v1/stats/hourly", "/v1/stats/hourly", Allow::kApi, HourlyStats);
  gateway.Route("GET", "/v1/tokens", "/v1/tokens", Allow::kApi, ListTokensRoute);
  gateway.Route("POST", "/v1/tokens", "/v1/tokens", Allow::kApi, CreateTokenRoute);
  gateway.Route("DELETE", R"(/v1/tokens/(\d+))", "/v1/tokens/{id}", Allow::kApi, RevokeTokenRoute);
}

}  // namespace smsd
