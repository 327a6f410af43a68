// The API's message objects, built in one place: for the routes, the webhooks' event
// bodies and the dashboard alike.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace smsd {

class Sql;

// A time of the newer tables (Unix seconds) as the API gives times: ISO 8601 UTC, or
// null for none (0 or less).
nlohmann::json IsoOrNull(int64_t unixTime);

// An outbox row: {id, to, text, status, class, report, priority, not_before, created_at,
// attempts, last_error, coding, phone, sent_at, delivery, delivery_error, delivery_at,
// parts: [{part, of, reference, phone, submitted_at, status, status_code}]}. Times are
// ISO 8601 UTC ("2026-12-10T13:47:25Z") or null. Nothing for an id no row has.
std::optional<nlohmann::json> OutboxMessageJson(Sql &sql, int64_t id);
// The SELECT list OutboxJsonOf takes, from "outbox o" (for lists that build many).
std::string OutboxColumns(Sql &sql);
// One row of OutboxColumns as its object, without its parts.
nlohmann::json OutboxJsonOf(const struct SqlRow &row);
// The parts of outbox row `id` (the "parts" of OutboxMessageJson).
nlohmann::json SentPartsJson(Sql &sql, int64_t id);

// A received message, whole: {id, from, text, phone, phone_time, received_at, parts,
// complete}. `id` is the id of its first part's inbox row; a part's id finds its
// message. Nothing for an id no row has.
std::optional<nlohmann::json> InboxMessageJson(Sql &sql, int64_t id);
// The SELECT list InboxJsonOf takes, from the view inbox_messages ("m").
std::string InboxColumns(Sql &sql);
nlohmann::json InboxJsonOf(const struct SqlRow &row);

// The phones the daemons report on: [{id, imei, model, signal, battery (percent of the
// four bars, or null), last_seen, heartbeat_age_seconds, up}], up while a heartbeat came within three
// of the daemons' poll intervals.
nlohmann::json PhonesJson(Sql &sql, double pollInterval);

}  // namespace smsd
