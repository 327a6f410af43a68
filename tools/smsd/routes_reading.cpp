// What came in and who is talking: the inbox as whole messages, conversations by
// number (both directions), and the phones the daemons report on.
#include <algorithm>
#include <tuple>

#include "api_params.h"
#include "gateway.h"
#include "message_json.h"
#include "sql.h"

namespace smsd {
namespace {

constexpr int64_t kDefaultLimit = 50, kMostLimit = 500, kConversationLimit = 100;
constexpr int64_t kMostConversationOffset = 10000;
constexpr size_t kMaxNumber = 64;  // a sender may be a name ("Operator"), not only digits

// Both directions as rows of (k: the number without its "+", number, at, incoming).
std::string BothDirections() {
  return "(SELECT ltrim(sender, '+') AS k, sender AS number, text, received_at AS at, 1 AS incoming "
         "FROM inbox_messages UNION ALL SELECT ltrim(destination, '+'), destination, text, created_at, 0 "
         "FROM outbox) c";
}

void Inbox(Call &call) {
  const auto limit = LimitParam(call, kDefaultLimit, kMostLimit);
  if (!limit) return;
  const auto sinceId = CountParam(call, "since_id", 0);
  if (!sinceId) return;
  const auto cursor = CursorParam(call, "inbox");
  if (!cursor) return;
  Sql &sql = call.db.sql();
  const SqlRows rows = sql.Query("SELECT " + InboxColumns(sql) +
                                     " FROM inbox_messages m WHERE m.id > CAST($1 AS BIGINT) ORDER BY m.id "
                                     "LIMIT CAST($2 AS BIGINT)",
                                 SqlParams().Add(std::max(*sinceId, *cursor)).Add(*limit));
  nlohmann::json messages = nlohmann::json::array();
  for (const SqlRow &row : rows) messages.push_back(InboxJsonOf(row));
  const bool more = static_cast<int64_t>(rows.size()) == *limit;
  SendJson(call.response, 200,
           {{"messages", messages},
            {"next_cursor", more ? nlohmann::json(EncodeCursor("inbox", rows.back().Int(0))) : nlohmann::json()}});
}

void ReceivedMessage(Call &call) {
  const auto id = PathId(call);
  const auto message = id ? InboxMessageJson(call.db.sql(), *id) : std::nullopt;
  if (!message) return SendProblem(call.response, 404, "Not Found", "there is no received message with this id");
  SendJson(call.response, 200, *message);
}

void Conversations(Call &call) {
  const auto limit = LimitParam(call, kDefaultLimit, kMostLimit);
  if (!limit) return;
  const auto offset = CursorParam(call, "conversations");
  if (!offset) return;
  Sql &sql = call.db.sql();
  const SqlRows rows =
      sql.Query("SELECT c.k, MIN(c.number), " + sql.EpochOf("MAX(c.at)") + ", " + sql.IsoTime("MAX(c.at)") +
                    ", SUM(c.incoming), COUNT(*) - SUM(c.incoming) FROM " + BothDirections() +
                    " GROUP BY c.k ORDER BY 3 DESC, c.k LIMIT CAST($1 AS BIGINT) "
                    "OFFSET CAST($2 AS BIGINT)",
                SqlParams().Add(*limit).Add(*offset));
  nlohmann::json conversations = nlohmann::json::array();
  for (const SqlRow &r : rows) {
    const SqlRows last =
        sql.Query("SELECT c.text FROM " + BothDirections() + " WHERE c.k = $1 ORDER BY c.at DESC, c.incoming LIMIT 1",
                  SqlParams().Add(r.Text(0)));
    conversations.push_back({{"number", r.Text(1)},
                             {"last_at", r.IsNull(3) ? nlohmann::json() : nlohmann::json(r.Text(3))},
                             {"last_text", last.empty() ? "" : last[0].Text(0)},
                             {"received", r.Int(4)},
                             {"sent", r.Int(5)}});
  }
  const bool more = static_cast<int64_t>(rows.size()) == *limit;
  SendJson(
      call.response, 200,
      {{"conversations", conversations},
       {"next_cursor", more ? nlohmann::json(EncodeCursor("conversations", *offset + *limit)) : nlohmann::json()}});
}

// One message of a conversation, with what orders it: its time, then received before sent.
struct Item {
  int64_t at = 0;
  int incoming = 0;
  int64_t id = 0;
  nlohmann::json json;
};

void Conversation(Call &call) {
  const std::string number = call.request.matches[1].str();
  bool printable = !number.empty() && number.size() <= kMaxNumber;
  for (unsigned char c : number) printable = printable && c >= 0x20 && c != 0x7F;
  if (!printable)
    return SendProblem(call.response, 400, "Bad Request", "number must be 1 to 64 printable characters", "number");
  const auto limit = LimitParam(call, kConversationLimit, kMostLimit);
  if (!limit) return;
  const auto offset = CursorParam(call, "conversation");
  if (!offset) return;
  // Each page reads the newest `offset + limit` of both directions: far pages are refused.
  if (*offset > kMostConversationOffset)
    return SendProblem(call.response, 400, "Bad Request", "cursor goes further back than a conversation is paged",
                       "cursor");
  Sql &sql = call.db.sql();
  // The newest `offset + limit` of each direction hold the page; older ones cannot.
  const SqlParams params = SqlParams().Add(number).Add(*offset + *limit);
  std::vector<Item> items;
  for (const SqlRow &r : sql.Query("SELECT " + InboxColumns(sql) + ", " + sql.EpochOf("m.received_at") +
                                       " FROM inbox_messages m WHERE ltrim(m.sender, '+') = ltrim($1, '+') "
                                       "ORDER BY m.received_at DESC, m.id DESC LIMIT CAST($2 AS BIGINT)",
                                   params))
    items.push_back({r.Int(8), 1, r.Int(0), {{"direction", "in"}, {"message", InboxJsonOf(r)}}});
  for (const SqlRow &r : sql.Query("SELECT " + OutboxColumns(sql) + ", " + sql.EpochOf("o.created_at") +
                                       " FROM outbox o WHERE ltrim(o.destination, '+') = ltrim($1, '+') "
                                       "ORDER BY o.id DESC LIMIT CAST($2 AS BIGINT)",
                                   params)) {
    nlohmann::json message = OutboxJsonOf(r);
    message["parts"] = SentPartsJson(sql, r.Int(0));
    items.push_back({r.Int(17), 0, r.Int(0), {{"direction", "out"}, {"message", message}}});
  }
  if (items.empty() && *offset == 0)
    return SendProblem(call.response, 404, "Not Found", "no message came from or went to this number");
  std::sort(items.begin(), items.end(), [](const Item &a, const Item &b) {
    // Newest first; within one second a received message is taken as the older.
    return std::make_tuple(b.at, -b.incoming, b.id) < std::make_tuple(a.at, -a.incoming, a.id);
  });
  const size_t from = std::min(items.size(), static_cast<size_t>(*offset));
  const size_t to = std::min(items.size(), static_cast<size_t>(*offset + *limit));
  nlohmann::json page = nlohmann::json::array();
  for (size_t i = to; i > from; --i) page.push_back(std::move(items[i - 1].json));  // in time order
  const bool more = to - from == static_cast<size_t>(*limit);
  SendJson(call.response, 200,
           {{"number", number},
            {"items", page},
            {"next_cursor", more ? nlohmann::json(EncodeCursor("conversation", *offset + *limit)) : nlohmann::json()}});
}

}  // namespace

void AddReadingRoutes(Gateway &gateway) {
  gateway.Route("GET", "/v1/inbox", "/v1/inbox", Allow::kApi, Inbox);
  gateway.Route("GET", R"(/v1/inbox/(\d+))", "/v1/inbox/{id}", Allow::kApi, ReceivedMessage);
  gateway.Route("GET", "/v1/conversations", "/v1/conversations", Allow::kApi, Conversations);
  gateway.Route("GET", "/v1/conversations/([^/]+)", "/v1/conversations/{number}", Allow::kApi, Conversation);
  gateway.Route("GET", "/v1/phones", "/v1/phones", Allow::kApi, [&gateway](Call &call) {
    SendJson(call.response, 200, {{"phones", PhonesJson(call.db.sql(), gateway.config().pollInterval)}});
  });
}

}  // namespace smsd
