#include "message_json.h"

#include "sql.h"

#include <algorithm>

namespace smsd {
namespace {

nlohmann::json TextOrNull(const SqlRow &row, size_t column) {
  return row.IsNull(column) ? nlohmann::json() : nlohmann::json(row.Text(column));
}

nlohmann::json IntOrNull(const SqlRow &row, size_t column) {
  return row.IsNull(column) ? nlohmann::json() : nlohmann::json(row.Int(column));
}

// The phones table keeps signal and battery as the library gives them, hundredths of
// the phone's four bars (300: three bars); the API speaks in percent of the four.
nlohmann::json PercentOrNull(const SqlRow &row, size_t column) {
  constexpr int64_t kFullBars = 400;
  const int64_t value = row.Int(column, -1);
  if (value < 0) return nlohmann::json();
  return std::min<int64_t>(100, (value * 100 + kFullBars / 2) / kFullBars);
}

}  // namespace

nlohmann::json IsoOrNull(int64_t unixTime) {
  return unixTime <= 0 ? nlohmann::json() : nlohmann::json(FormatUtc(unixTime));
}

std::string OutboxColumns(Sql &sql) {
  return "o.id, o.destination, o.text, o.status, o.class, CASE WHEN o.status_report THEN 1 ELSE 0 END, o.priority, " +
         sql.IsoTime("o.not_before") + ", " + sql.IsoTime("o.created_at") +
         ", o.attempts, o.last_error, o.coding, o.claimed_by, "
         "(SELECT " +
         sql.IsoTime("s.sent_at") + " FROM sent s WHERE s.outbox_id = o.id), o.delivery, o.delivery_error, " +
         sql.IsoTime("o.delivery_at");
}

nlohmann::json OutboxJsonOf(const SqlRow &r) {
  return {{"id", r.Int(0)},
          {"to", r.Text(1)},
          {"text", r.Text(2)},
          {"status", r.Text(3)},
          {"class", IntOrNull(r, 4)},
          {"report", r.Int(5) != 0},
          {"priority", r.Int(6)},
          {"not_before", TextOrNull(r, 7)},
          {"created_at", TextOrNull(r, 8)},
          {"attempts", r.Int(9)},
          {"last_error", TextOrNull(r, 10)},
          {"coding", TextOrNull(r, 11)},
          {"phone", TextOrNull(r, 12)},
          {"sent_at", TextOrNull(r, 13)},
          {"delivery", r.Text(14)},
          {"delivery_error", TextOrNull(r, 15)},
          {"delivery_at", TextOrNull(r, 16)}};
}

nlohmann::json SentPartsJson(Sql &sql, int64_t id) {
  nlohmann::json parts = nlohmann::json::array();
  for (const SqlRow &p : sql.Query("SELECT part, parts, reference, phone_id, " + sql.IsoTime("submitted_at") +
                                       ", status, status_code FROM sent_parts WHERE outbox_id = $1 ORDER BY part",
                                   SqlParams().Add(id)))
    parts.push_back({{"part", p.Int(0)},
                     {"of", p.Int(1)},
                     {"reference", IntOrNull(p, 2)},
                     {"phone", p.Text(3)},
                     {"submitted_at", TextOrNull(p, 4)},
                     {"status", p.Text(5)},
                     {"status_code", IntOrNull(p, 6)}});
  return parts;
}

std::optional<nlohmann::json> OutboxMessageJson(Sql &sql, int64_t id) {
  const SqlRows rows =
      sql.Query("SELECT " + OutboxColumns(sql) + " FROM outbox o WHERE o.id = $1", SqlParams().Add(id));
  if (rows.empty()) return std::nullopt;
  nlohmann::json message = OutboxJsonOf(rows[0]);
  message["parts"] = SentPartsJson(sql, id);
  return message;
}

std::string InboxColumns(Sql &sql) {
  return "m.id, m.sender, m.text, m.phone_id, " +
         std::string(sql.IsPostgres() ? "to_char(m.phone_time, 'YYYY-MM-DD HH24:MI:SS')" : "m.phone_time") + ", " +
         sql.IsoTime("m.received_at") + ", m.parts, CASE WHEN m.complete THEN 1 ELSE 0 END";
}

nlohmann::json InboxJsonOf(const SqlRow &r) {
  return {{"id", r.Int(0)},     {"from", r.Text(1)},        {"text", r.Text(2)},
          {"phone", r.Text(3)}, {"phone_time", r.Text(4)},  {"received_at", TextOrNull(r, 5)},
          {"parts", r.Int(6)},  {"complete", r.Int(7) != 0}};
}

std::optional<nlohmann::json> InboxMessageJson(Sql &sql, int64_t id) {
  // A part's id finds the message it belongs to: the whole message's id is its first part's.
  const SqlRows rows =
      sql.Query("SELECT " + InboxColumns(sql) +
                    " FROM inbox_messages m WHERE m.id = (SELECT CASE WHEN i.concat_reference IS NULL THEN i.id ELSE "
                    "(SELECT MIN(j.id) FROM inbox j WHERE j.phone_id = i.phone_id AND j.sender = i.sender AND "
                    "j.concat_reference = i.concat_reference AND j.concat_total = i.concat_total) END FROM inbox i "
                    "WHERE i.id = $1)",
                SqlParams().Add(id));
  if (rows.empty()) return std::nullopt;
  return InboxJsonOf(rows[0]);
}

// A phone is up while its daemon's heartbeats keep coming: one each poll, so three
// missed polls mean it is down.
nlohmann::json PhonesJson(Sql &sql, double pollInterval) {
  const int64_t now = UnixNow();
  const double upWithin = std::max(3 * pollInterval, 1.0);
  nlohmann::json phones = nlohmann::json::array();
  for (const SqlRow &r : sql.Query("SELECT id, imei, model, signal, battery, " + sql.IsoTime("last_seen") + ", " +
                                   sql.EpochOf("last_seen") + " FROM phones ORDER BY id")) {
    const bool seen = !r.IsNull(6);
    const int64_t age = seen ? std::max<int64_t>(0, now - r.Int(6)) : 0;
    phones.push_back({{"id", r.Text(0)},
                      {"imei", r.IsNull(1) ? nlohmann::json() : nlohmann::json(r.Text(1))},
                      {"model", r.IsNull(2) ? nlohmann::json() : nlohmann::json(r.Text(2))},
                      {"signal", PercentOrNull(r, 3)},
                      {"battery", PercentOrNull(r, 4)},
                      {"last_seen", seen ? nlohmann::json(r.Text(5)) : nlohmann::json()},
                      {"heartbeat_age_seconds", seen ? nlohmann::json(age) : nlohmann::json()},
                      {"up", seen && static_cast<double>(age) <= upWithin}});
  }
  return phones;
}

}  // namespace smsd
