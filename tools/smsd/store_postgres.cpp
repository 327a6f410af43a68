// PostgreSQL: one database shared by several daemons on several phones and machines.
// A claim is one statement that locks the row it takes and skips rows others hold
// (FOR UPDATE SKIP LOCKED), so each outbox row goes to exactly one daemon.
#include <libpq-fe.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "events.h"
#include "sql.h"
#include "store.h"

namespace smsd {
namespace {

const std::vector<std::string> kMigrations = {
    R"(CREATE TABLE phones (
         id TEXT PRIMARY KEY, imei TEXT, model TEXT, signal INTEGER, battery INTEGER, last_seen TIMESTAMPTZ);
       CREATE TABLE inbox (
         id BIGSERIAL PRIMARY KEY,
         phone_id TEXT NOT NULL, sender TEXT NOT NULL, text TEXT NOT NULL, coding TEXT, class INTEGER,
         phone_time TIMESTAMP NOT NULL, received_at TIMESTAMPTZ NOT NULL DEFAULT now(),
         concat_reference INTEGER, concat_part INTEGER, concat_total INTEGER, pdu BYTEA,
         text_hash TEXT NOT NULL, part_key INTEGER NOT NULL DEFAULT 0,
         UNIQUE (phone_id, sender, phone_time, text_hash, part_key));
       CREATE TABLE outbox (
         id BIGSERIAL PRIMARY KEY,
         destination TEXT NOT NULL, text TEXT NOT NULL, class INTEGER, status_report BOOLEAN NOT NULL DEFAULT false,
         priority INTEGER NOT NULL DEFAULT 0, not_before TIMESTAMPTZ, attempts INTEGER NOT NULL DEFAULT 0,
         status TEXT NOT NULL DEFAULT 'queued'
           CHECK (status IN ('queued', 'sending', 'sent', 'failed', 'unknown')),
         claimed_by TEXT, claimed_at TIMESTAMPTZ, created_at TIMESTAMPTZ NOT NULL DEFAULT now(),
         concat_reference INTEGER, parts_done INTEGER NOT NULL DEFAULT 0, last_result INTEGER, last_error TEXT);
       CREATE INDEX outbox_due ON outbox (status, priority DESC, id);
       CREATE TABLE sent (
         id BIGSERIAL PRIMARY KEY,
         outbox_id BIGINT NOT NULL UNIQUE REFERENCES outbox (id), phone_id TEXT NOT NULL,
         parts INTEGER NOT NULL, message_references TEXT, result INTEGER NOT NULL,
         sent_at TIMESTAMPTZ NOT NULL DEFAULT now());
       CREATE VIEW inbox_messages AS
         SELECT id, phone_id, sender, text, phone_time, received_at, 1::bigint AS parts, true AS complete
           FROM inbox WHERE concat_reference IS NULL
         UNION ALL
         SELECT MIN(id), phone_id, sender, string_agg(text, '' ORDER BY concat_part), MIN(phone_time),
                MAX(received_at), COUNT(*), COUNT(DISTINCT concat_part) = MAX(concat_total)
           FROM inbox WHERE concat_reference IS NOT NULL
          GROUP BY phone_id, sender, concat_reference, concat_total;)",
    // 2: the location a message was read from joins the unique key, which holds only
    // while the message is on the phone: two equal messages at two locations are two
    // rows, and so is an equal message that comes later to a location freed by a delete.
    // Rows from before keep a null location: never taken for a new message.
    R"(DO $$
       DECLARE c record;
       BEGIN
         FOR c IN SELECT conname FROM pg_constraint WHERE conrelid = 'inbox'::regclass AND contype = 'u' LOOP
           EXECUTE format('ALTER TABLE inbox DROP CONSTRAINT %I', c.conname);
         END LOOP;
       END $$;
       ALTER TABLE inbox ADD COLUMN location INTEGER, ADD COLUMN left_phone_at TIMESTAMPTZ;
       CREATE UNIQUE INDEX inbox_on_phone ON inbox (phone_id, location, sender, phone_time, text_hash, part_key)
         WHERE left_phone_at IS NULL;)",
    // 3: delivery reports. One row per part the phone confirmed, with the reference it
    // gave the part and the state of its delivery; every report read from the phone,
    // paired with its part or with nothing; each outbox row's delivery state.
    R"(ALTER TABLE outbox ADD COLUMN delivery TEXT NOT NULL DEFAULT 'none'
         CHECK (delivery IN ('none', 'pending', 'delivered', 'failed', 'expired')),
         ADD COLUMN delivery_part INTEGER, ADD COLUMN delivery_error TEXT, ADD COLUMN delivery_at TIMESTAMPTZ;
       CREATE TABLE sent_parts (
         outbox_id BIGINT NOT NULL REFERENCES outbox (id), part INTEGER NOT NULL, parts INTEGER NOT NULL,
         phone_id TEXT NOT NULL, recipient TEXT NOT NULL, reference INTEGER,
         submitted_at TIMESTAMPTZ NOT NULL DEFAULT clock_timestamp(),
         status TEXT NOT NULL
           CHECK (status IN ('none', 'awaiting', 'pending', 'delivered', 'failed', 'expired')),
         status_code INTEGER, status_at TIMESTAMPTZ, discharge_time TIMESTAMP,
         PRIMARY KEY (outbox_id, part));
       CREATE INDEX sent_parts_pairing ON sent_parts (phone_id, reference, submitted_at);
       CREATE INDEX sent_parts_open ON sent_parts (phone_id, status, submitted_at);
       CREATE TABLE reports (
         id BIGSERIAL PRIMARY KEY,
         phone_id TEXT NOT NULL, location INTEGER, reference INTEGER NOT NULL, recipient TEXT NOT NULL,
         submitted TIMESTAMP NOT NULL, discharged TIMESTAMP NOT NULL, status_code INTEGER NOT NULL,
         received_at TIMESTAMPTZ NOT NULL DEFAULT now(), outbox_id BIGINT, part INTEGER, left_phone_at TIMESTAMPTZ,
         FOREIGN KEY (outbox_id, part) REFERENCES sent_parts (outbox_id, part));
       CREATE UNIQUE INDEX reports_on_phone
         ON reports (phone_id, location, reference, recipient, submitted, discharged, status_code)
         WHERE left_phone_at IS NULL;
       CREATE VIEW unmatched_reports AS
         SELECT id, phone_id, reference, recipient, submitted, discharged, status_code, received_at
           FROM reports WHERE outbox_id IS NULL;
       CREATE VIEW outbox_messages AS
         SELECT o.id, o.destination, o.text, o.status, o.status_report, o.delivery, o.delivery_part,
                o.delivery_error, o.delivery_at, COUNT(p.part) AS parts_sent, MAX(p.parts) AS parts,
                string_agg(coalesce(p.reference::text, ''), ',' ORDER BY p.part) AS message_references,
                string_agg(p.part || ':' || p.status, ' ' ORDER BY p.part) AS part_states,
                COUNT(*) FILTER (WHERE p.status = 'delivered') AS parts_delivered
           FROM outbox o LEFT JOIN sent_parts p ON p.outbox_id = o.id
          GROUP BY o.id;)",
    // 4: the gateway's front door (see the SQLite schema). Times are Unix seconds.
    R"(ALTER TABLE outbox ADD COLUMN dlr_url TEXT, ADD COLUMN dlr_mask INTEGER NOT NULL DEFAULT 0,
         ADD COLUMN validity_minutes INTEGER, ADD COLUMN coding TEXT;
       CREATE TABLE api_tokens (
         id BIGSERIAL PRIMARY KEY, name TEXT NOT NULL UNIQUE, token_hash TEXT NOT NULL,
         created_at BIGINT NOT NULL, last_used_at BIGINT, revoked_at BIGINT);
       CREATE TABLE users (
         id BIGSERIAL PRIMARY KEY, name TEXT NOT NULL UNIQUE, password_hash TEXT NOT NULL,
         created_at BIGINT NOT NULL);
       CREATE TABLE sessions (
         id_hash TEXT PRIMARY KEY, user_id BIGINT, token_id BIGINT, csrf TEXT NOT NULL,
         created_at BIGINT NOT NULL, expires_at BIGINT NOT NULL);
       CREATE TABLE idempotency_keys (
         scope TEXT NOT NULL, key TEXT NOT NULL, request_hash TEXT NOT NULL, status INTEGER NOT NULL,
         body TEXT NOT NULL, created_at BIGINT NOT NULL, PRIMARY KEY (scope, key));
       CREATE TABLE webhooks (
         id BIGSERIAL PRIMARY KEY, url TEXT NOT NULL, events TEXT NOT NULL, secret TEXT NOT NULL,
         created_at BIGINT NOT NULL, revoked_at BIGINT);
       CREATE TABLE webhook_deliveries (
         id BIGSERIAL PRIMARY KEY, webhook_id BIGINT REFERENCES webhooks (id), event TEXT NOT NULL,
         outbox_id BIGINT, inbox_id BIGINT, method TEXT NOT NULL DEFAULT 'POST', url TEXT NOT NULL,
         body TEXT NOT NULL, status TEXT NOT NULL DEFAULT 'pending'
           CHECK (status IN ('pending', 'delivered', 'failed')),
         attempts INTEGER NOT NULL DEFAULT 0, next_attempt_at BIGINT NOT NULL, claimed_by TEXT,
         claimed_until BIGINT, last_status INTEGER, last_error TEXT, last_response TEXT,
         created_at BIGINT NOT NULL, delivered_at BIGINT);
       CREATE INDEX webhook_deliveries_due ON webhook_deliveries (status, next_attempt_at);)"};

// A key for pg_advisory_xact_lock: daemons starting together migrate one at a time.
constexpr const char *kMigrationLock = "SELECT pg_advisory_xact_lock(7316016)";

class Result {
 public:
  explicit Result(PGresult *result) : result_(result) {}
  ~Result() { PQclear(result_); }
  Result(const Result &) = delete;
  Result &operator=(const Result &) = delete;
  Result(Result &&other) noexcept : result_(other.result_) { other.result_ = nullptr; }
  int Rows() const { return PQntuples(result_); }
  bool IsNull(int row, int column) const { return PQgetisnull(result_, row, column) != 0; }
  std::string Text(int row, int column) const {
    return std::string(PQgetvalue(result_, row, column), static_cast<size_t>(PQgetlength(result_, row, column)));
  }
  int64_t Int(int row, int column) const { return IsNull(row, column) ? 0 : std::stoll(Text(row, column)); }
  int Affected() const { return std::atoi(PQcmdTuples(result_)); }
  int Columns() const { return PQnfields(result_); }

 private:
  PGresult *result_;
};

// Parameters as text, null where absent.
struct Params {
  std::vector<std::optional<std::string>> values;
  Params &Add(const std::string &text) {
    values.emplace_back(text);
    return *this;
  }
  Params &Add(int64_t value) { return Add(std::to_string(value)); }
  Params &Add(const std::optional<int> &value) {
    if (value) return Add(static_cast<int64_t>(*value));
    values.emplace_back(std::nullopt);
    return *this;
  }
};

std::string ByteaHex(const std::vector<uint8_t> &bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex = "\\x";
  for (uint8_t b : bytes) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

// How long `status` and `inject` wait for a lock another program holds.
constexpr const char *kCommandLockTimeout = "SET lock_timeout = '10s'";

class PostgresStore final : public Store {
 public:
  PostgresStore(const std::string &conninfo, Access access) : access_(access), conn_(PQconnectdb(conninfo.c_str())) {
    if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
      std::string error = conn_ ? PQerrorMessage(conn_) : "out of memory";
      PQfinish(conn_);
      conn_ = nullptr;
      throw StoreError("postgresql: cannot connect: " + Trimmed(error));
    }
    Run("SET client_min_messages = warning");
    if (access != Access::kDaemon) Run(kCommandLockTimeout);
    if (access == Access::kRead) Run("SET default_transaction_read_only = on");
  }
  ~PostgresStore() override { PQfinish(conn_); }

  void Migrate() override {
    // Read first, without a lock: a current schema is not written to, and a user who
    // may only read the tables can still read them.
    const int version = CurrentVersion();
    if (SchemaIsCurrent(version, kMigrations.size())) return;
    if (access_ == Access::kRead) {
      // An older schema is read as it is: what status reads is in every version.
      if (version < 0) throw StoreError("postgresql: the database has no pelkor-smsd schema yet");
      return;
    }
    Transaction t(*this);
    Run(kMigrationLock);
    RunMigrations(
        kMigrations, [this](const std::string &sql) { Run(sql.c_str()); }, [this] { return CurrentVersion(); },
        [this](int version) {
          Run("UPDATE schema_version SET version = $1", Params().Add(static_cast<int64_t>(version)));
        });
    t.Commit();
  }

  int SchemaVersion() override { return CurrentVersion(); }

  InboxInsert InsertInbox(const InboxMessage &m) override {
    const std::string hash = TextHash(m.text);
    std::optional<int> location;  // unknown for rows of an older daemon: never a duplicate
    if (m.location > 0) location = m.location;
    const int64_t partKey = m.concatPart.value_or(0);
    Params p;
    p.Add(m.phoneId).Add(m.sender).Add(m.text).Add(m.coding).Add(m.messageClass).Add(m.phoneTime);
    p.Add(m.concatReference).Add(m.concatPart).Add(m.concatTotal);
    if (m.pdu.empty())
      p.values.emplace_back(std::nullopt);
    else
      p.Add(ByteaHex(m.pdu));
    p.Add(hash).Add(partKey).Add(location);
    Transaction t(*this);
    InboxInsert result;
    Result r =
        Run("INSERT INTO inbox (phone_id, sender, text, coding, class, phone_time, concat_reference, concat_part, "
            "concat_total, pdu, text_hash, part_key, location) "
            "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10::bytea, $11, $12, $13) "
            "ON CONFLICT DO NOTHING RETURNING id",
            p);
    if (r.Rows() > 0) {
      result.id = r.Int(0, 0);
      result.isNew = true;
    } else {
      // Nothing inserted: it must be this very message, stored by an earlier pass and
      // still on the phone at the same location. Anything else keeps it on the phone.
      Result found =
          Run("SELECT id, text FROM inbox WHERE phone_id = $1 AND location = $2 AND sender = $3 AND phone_time = $4 "
              "AND text_hash = $5 AND part_key = $6 AND left_phone_at IS NULL",
              Params().Add(m.phoneId).Add(location).Add(m.sender).Add(m.phoneTime).Add(hash).Add(partKey));
      if (found.Rows() == 0) throw StoreError("postgresql: the message was neither stored nor found stored");
      if (found.Text(0, 1) != m.text)
        throw StoreError("postgresql: inbox row " + found.Text(0, 0) + " holds another text under the same key");
      result.id = found.Int(0, 0);
    }
    if (result.isNew) RaiseMessageReceived(sql_, result.id);
    t.Commit();
    return result;
  }

  void SetLeftPhone(int64_t id, bool left) override {
    Run(left ? "UPDATE inbox SET left_phone_at = now() WHERE id = $1"
             : "UPDATE inbox SET left_phone_at = NULL WHERE id = $1",
        Params().Add(id));
  }

  int RecoverSending(const std::string &phoneId, bool resend) override {
    Result r = Run(resend ? "UPDATE outbox SET status = 'queued' WHERE status = 'sending' AND claimed_by = $1"
                          : "UPDATE outbox SET status = 'unknown', last_error = 'the daemon stopped while sending' "
                            "WHERE status = 'sending' AND claimed_by = $1",
                   Params().Add(phoneId));
    return r.Affected();
  }

  std::optional<OutboxRow> Claim(const std::string &phoneId) override {
    Result r =
        Run("UPDATE outbox SET status = 'sending', claimed_by = $1, claimed_at = now() WHERE id = ("
            "SELECT id FROM outbox WHERE status = 'queued' AND (not_before IS NULL OR not_before <= now()) "
            "ORDER BY priority DESC, id LIMIT 1 FOR UPDATE SKIP LOCKED) "
            "RETURNING id, destination, text, class, status_report, attempts, concat_reference, parts_done",
            Params().Add(phoneId));
    if (r.Rows() == 0) return std::nullopt;
    OutboxRow row;
    row.id = r.Int(0, 0);
    row.destination = r.Text(0, 1);
    row.text = r.Text(0, 2);
    row.messageClass = r.IsNull(0, 3) ? -1 : static_cast<int>(r.Int(0, 3));
    row.statusReport = r.Text(0, 4) == "t";
    row.attempts = static_cast<int>(r.Int(0, 5));
    row.reference = static_cast<int>(r.Int(0, 6));
    row.partsDone = static_cast<int>(r.Int(0, 7));
    return row;
  }

  void RecordProgress(int64_t id, int reference, int partsDone) override {
    Run("UPDATE outbox SET concat_reference = $1, parts_done = $2 WHERE id = $3",
        Params().Add(static_cast<int64_t>(reference)).Add(static_cast<int64_t>(partsDone)).Add(id));
  }

  void RecordPart(const OutboxRow &row, const std::string &phoneId, int part, int parts,
                  int messageReference) override {
    Transaction t(*this);
    Run("INSERT INTO sent_parts (outbox_id, part, parts, phone_id, recipient, reference, status) "
        "VALUES ($1, $2, $3, $4, $5, $6, $7) ON CONFLICT (outbox_id, part) DO UPDATE SET parts = excluded.parts, "
        "phone_id = excluded.phone_id, recipient = excluded.recipient, reference = excluded.reference, "
        "submitted_at = excluded.submitted_at, status = excluded.status, status_code = NULL, status_at = NULL, "
        "discharge_time = NULL",
        Params()
            .Add(row.id)
            .Add(static_cast<int64_t>(part))
            .Add(static_cast<int64_t>(parts))
            .Add(phoneId)
            .Add(row.destination)
            .Add(messageReference >= 0 ? std::optional<int>(messageReference) : std::nullopt)
            .Add(row.statusReport ? "awaiting" : "none"));
    // A single message has no concatenation reference.
    Run("UPDATE outbox SET concat_reference = coalesce($1, concat_reference), parts_done = $2, "
        "delivery = CASE WHEN status_report AND delivery = 'none' THEN 'pending' ELSE delivery END WHERE id = $3",
        Params()
            .Add(parts > 1 ? std::optional<int>(row.reference) : std::nullopt)
            .Add(static_cast<int64_t>(part))
            .Add(row.id));
    t.Commit();
  }

  ReportInsert InsertReport(const StatusReport &r, int expirySeconds) override {
    std::optional<int> location;
    if (r.location > 0) location = r.location;
    const Params key = Params()
                           .Add(r.phoneId)
                           .Add(location)
                           .Add(static_cast<int64_t>(r.reference))
                           .Add(r.recipient)
                           .Add(r.submitted)
                           .Add(r.discharged)
                           .Add(static_cast<int64_t>(r.status));
    Transaction t(*this);
    ReportInsert result;
    Result inserted =
        Run("INSERT INTO reports (phone_id, location, reference, recipient, submitted, discharged, status_code) "
            "VALUES ($1, $2, $3, $4, $5, $6, $7) ON CONFLICT DO NOTHING RETURNING id",
            key);
    if (inserted.Rows() == 0) {
      Result found =
          Run("SELECT id, coalesce(outbox_id, 0), coalesce(part, 0) FROM reports WHERE phone_id = $1 AND location = $2 "
              "AND reference = $3 AND recipient = $4 AND submitted = $5 AND discharged = $6 AND status_code = $7 "
              "AND left_phone_at IS NULL",
              key);
      if (found.Rows() == 0) throw StoreError("postgresql: the report was neither stored nor found stored");
      result.id = found.Int(0, 0);
      result.outboxId = found.Int(0, 1);
      result.part = static_cast<int>(found.Int(0, 2));
      t.Commit();
      return result;
    }
    result.id = inserted.Int(0, 0);
    result.isNew = true;
    // FOR UPDATE: two daemons of one phone id do not settle one part at once.
    Result part =
        Run("SELECT outbox_id, part, status FROM sent_parts WHERE phone_id = $1 AND reference = $2 "
            "AND ltrim(recipient, '+') = ltrim($3, '+') AND submitted_at >= now() - make_interval(secs => $4) "
            "ORDER BY submitted_at DESC, outbox_id DESC LIMIT 1 FOR UPDATE",
            Params()
                .Add(r.phoneId)
                .Add(static_cast<int64_t>(r.reference))
                .Add(r.recipient)
                .Add(static_cast<int64_t>(expirySeconds)));
    if (part.Rows() > 0) {
      result.outboxId = part.Int(0, 0);
      result.part = static_cast<int>(part.Int(0, 1));
      const std::string partStatus = part.Text(0, 2);
      Run("UPDATE reports SET outbox_id = $1, part = $2 WHERE id = $3",
          Params().Add(result.outboxId).Add(static_cast<int64_t>(result.part)).Add(result.id));
      // A settled part stays as its first final report left it.
      if (partStatus == "awaiting" || partStatus == "pending") {
        Run("UPDATE sent_parts SET status = $1, status_code = $2, status_at = now(), discharge_time = $3 "
            "WHERE outbox_id = $4 AND part = $5",
            Params()
                .Add(PartStatusOf(r.status))
                .Add(static_cast<int64_t>(r.status))
                .Add(r.discharged)
                .Add(result.outboxId)
                .Add(static_cast<int64_t>(result.part)));
        result.settled = Resettle(result.outboxId);
        if (result.settled)
          RaiseDeliverySettled(sql_, result.outboxId, result.settled->state, result.settled->error);
        else if (PartStatusOf(r.status) == "pending")
          RaiseOutboxEvent(sql_, OutboxEvent::kDeliveryPending, result.outboxId, StatusWords(r.status));
      }
    }
    t.Commit();
    return result;
  }

  void SetReportLeftPhone(int64_t id) override {
    Run("UPDATE reports SET left_phone_at = now() WHERE id = $1", Params().Add(id));
  }

  std::vector<DeliverySettled> ExpireParts(const std::string &phoneId, int expirySeconds) override {
    Transaction t(*this);
    Result expired =
        Run("UPDATE sent_parts SET status = 'expired', status_at = now() WHERE phone_id = $1 "
            "AND status IN ('awaiting', 'pending') AND submitted_at < now() - make_interval(secs => $2) "
            "RETURNING outbox_id",
            Params().Add(phoneId).Add(static_cast<int64_t>(expirySeconds)));
    std::vector<int64_t> rows;
    for (int i = 0; i < expired.Rows(); ++i)
      if (std::find(rows.begin(), rows.end(), expired.Int(i, 0)) == rows.end()) rows.push_back(expired.Int(i, 0));
    std::vector<DeliverySettled> settled;
    for (int64_t id : rows)
      if (auto d = Resettle(id)) {
        RaiseDeliverySettled(sql_, id, d->state, d->error);
        settled.push_back(*d);
      }
    t.Commit();
    return settled;
  }

  void MarkSent(const OutboxRow &row, const std::string &phoneId, int parts, int result) override {
    Transaction t(*this);
    Run("UPDATE outbox SET status = 'sent', parts_done = $1, last_result = $2, last_error = NULL WHERE id = $3",
        Params().Add(static_cast<int64_t>(parts)).Add(static_cast<int64_t>(result)).Add(row.id));
    Run("INSERT INTO sent (outbox_id, phone_id, parts, result, message_references) VALUES ($1, $2, $3, $4, "
        "(SELECT string_agg(coalesce(reference::text, ''), ',' ORDER BY part) FROM sent_parts "
        "WHERE outbox_id = $1))",
        Params().Add(row.id).Add(phoneId).Add(static_cast<int64_t>(parts)).Add(static_cast<int64_t>(result)));
    RaiseOutboxEvent(sql_, OutboxEvent::kSent, row.id);
    t.Commit();
  }

  void MarkRetry(const OutboxRow &row, int result, const std::string &error, int backoffSeconds,
                 int maxAttempts) override {
    Transaction t(*this);
    Result r =
        Run("UPDATE outbox SET attempts = attempts + 1, last_result = $1, last_error = $2, "
            "status = CASE WHEN attempts + 1 >= $3 THEN 'failed' ELSE 'queued' END, "
            "not_before = now() + make_interval(secs => $4) WHERE id = $5 RETURNING status",
            Params()
                .Add(static_cast<int64_t>(result))
                .Add(error)
                .Add(static_cast<int64_t>(maxAttempts))
                .Add(static_cast<int64_t>(backoffSeconds))
                .Add(row.id));
    if (r.Rows() > 0 && r.Text(0, 0) == "failed") RaiseOutboxEvent(sql_, OutboxEvent::kFailed, row.id);
    t.Commit();
  }

  void MarkFailed(const OutboxRow &row, int result, const std::string &error) override {
    Transaction t(*this);
    Run("UPDATE outbox SET status = 'failed', last_result = $1, last_error = $2 WHERE id = $3",
        Params().Add(static_cast<int64_t>(result)).Add(error).Add(row.id));
    RaiseOutboxEvent(sql_, OutboxEvent::kFailed, row.id);
    t.Commit();
  }

  void MarkUnknown(const OutboxRow &row, int result, const std::string &error) override {
    Run("UPDATE outbox SET status = 'unknown', attempts = attempts + 1, last_result = $1, last_error = $2 "
        "WHERE id = $3",
        Params().Add(static_cast<int64_t>(result)).Add(error).Add(row.id));
  }

  void Heartbeat(const PhoneStatus &s) override {
    Run("INSERT INTO phones (id, imei, model, signal, battery, last_seen) VALUES ($1, $2, $3, $4, $5, now()) "
        "ON CONFLICT (id) DO UPDATE SET imei = excluded.imei, model = excluded.model, signal = excluded.signal, "
        "battery = excluded.battery, last_seen = excluded.last_seen",
        Params()
            .Add(s.id)
            .Add(s.imei)
            .Add(s.model)
            .Add(s.signal >= 0 ? std::optional<int>(s.signal) : std::nullopt)
            .Add(s.battery >= 0 ? std::optional<int>(s.battery) : std::nullopt));
  }

  std::vector<PhoneStatus> Phones() override {
    Result r =
        Run("SELECT id, imei, model, signal, battery, to_char(last_seen AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS') "
            "FROM phones ORDER BY id");
    std::vector<PhoneStatus> phones;
    for (int i = 0; i < r.Rows(); ++i) {
      PhoneStatus p{r.Text(i, 0), r.Text(i, 1), r.Text(i, 2), r.Text(i, 5)};
      p.signal = r.IsNull(i, 3) ? -1 : static_cast<int>(r.Int(i, 3));
      p.battery = r.IsNull(i, 4) ? -1 : static_cast<int>(r.Int(i, 4));
      phones.push_back(p);
    }
    return phones;
  }

  OutboxCounts Counts() override {
    OutboxCounts c;
    Result r = Run("SELECT status, COUNT(*) FROM outbox GROUP BY status");
    for (int i = 0; i < r.Rows(); ++i) c.Add(r.Text(i, 0), r.Int(i, 1));
    return c;
  }

  int64_t Inject(const std::string &destination, const std::string &text, int messageClass, bool statusReport,
                 int priority) override {
    Result r =
        Run("INSERT INTO outbox (destination, text, class, status_report, priority) VALUES ($1, $2, $3, $4, $5) "
            "RETURNING id",
            Params()
                .Add(destination)
                .Add(text)
                .Add(messageClass >= 0 ? std::optional<int>(messageClass) : std::nullopt)
                .Add(statusReport ? "true" : "false")
                .Add(static_cast<int64_t>(priority)));
    return r.Int(0, 0);
  }

 public:
  Sql &Database() override { return sql_; }

 private:
  // The store's connection for statements written once for both databases.
  class PostgresSql final : public Sql {
   public:
    explicit PostgresSql(PostgresStore &store) : store_(store) {}
    bool IsPostgres() const override { return true; }
    SqlRows Query(const std::string &sql, const SqlParams &params) override {
      Params p;
      p.values = params.values;
      Result r = store_.Run(sql.c_str(), p, true);
      changes_ = r.Affected();
      SqlRows rows(static_cast<size_t>(r.Rows()));
      const int columns = r.Columns();
      for (int i = 0; i < r.Rows(); ++i)
        for (int c = 0; c < columns; ++c)
          rows[static_cast<size_t>(i)].values.push_back(r.IsNull(i, c) ? SqlValue() : SqlValue(r.Text(i, c)));
      return rows;
    }
    int64_t Changes() override { return changes_; }
    void InTransaction(const std::function<void()> &work) override {
      if (PQtransactionStatus(store_.conn_) != PQTRANS_IDLE) return work();
      Transaction t(store_);
      work();
      t.Commit();
    }

   private:
    PostgresStore &store_;
    int64_t changes_ = 0;
  };

 private:
  class Transaction {
   public:
    explicit Transaction(PostgresStore &store) : store_(store) { store_.Run("BEGIN"); }
    ~Transaction() {
      if (!done_) PQclear(PQexec(store_.conn_, "ROLLBACK"));
    }
    void Commit() {
      store_.Run("COMMIT");
      done_ = true;
    }

   private:
    PostgresStore &store_;
    bool done_ = false;
  };

  // Works out the delivery state of an outbox row still pending from its parts, inside
  // the caller's transaction; the settled state when it settled now.
  std::optional<DeliverySettled> Resettle(int64_t outboxId) {
    DeliverySettled d;
    Result row = Run("SELECT delivery, destination FROM outbox WHERE id = $1 FOR UPDATE", Params().Add(outboxId));
    if (row.Rows() == 0 || row.Text(0, 0) != "pending") return std::nullopt;
    d.destination = row.Text(0, 1);
    Result r =
        Run("SELECT part, parts, status, coalesce(status_code, -1), phone_id FROM sent_parts WHERE outbox_id = $1 "
            "ORDER BY part",
            Params().Add(outboxId));
    std::vector<PartState> parts;
    for (int i = 0; i < r.Rows(); ++i) {
      parts.push_back(
          {static_cast<int>(r.Int(i, 0)), static_cast<int>(r.Int(i, 1)), r.Text(i, 2), static_cast<int>(r.Int(i, 3))});
      d.phoneId = r.Text(i, 4);
    }
    const DeliverySettled settled = SettleDelivery(parts);
    if (settled.state == "pending") return std::nullopt;
    d.outboxId = outboxId;
    d.state = settled.state;
    d.part = settled.part;
    d.statusCode = settled.statusCode;
    d.error = settled.error;
    Params p;
    p.Add(d.state).Add(d.part > 0 ? std::optional<int>(d.part) : std::nullopt);
    if (d.error.empty())
      p.values.emplace_back(std::nullopt);
    else
      p.Add(d.error);
    p.Add(outboxId);
    Run("UPDATE outbox SET delivery = $1, delivery_part = $2, delivery_error = $3, delivery_at = now() WHERE id = $4",
        p);
    return d;
  }

  static std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
  }

  // `extended`: the extended protocol even without parameters (one statement only).
  Result Run(const char *sql, const Params &params = {}, bool extended = false) {
    // A connection lost between polls (the server restarted) is opened again once.
    if (PQstatus(conn_) != CONNECTION_OK) PQreset(conn_);
    std::vector<const char *> values;
    for (const auto &v : params.values) values.push_back(v ? v->c_str() : nullptr);
    // Without parameters, the simple protocol: a migration is several statements.
    PGresult *raw = values.empty() && !extended ? PQexec(conn_, sql)
                                                : PQexecParams(conn_, sql, static_cast<int>(values.size()), nullptr,
                                                               values.data(), nullptr, nullptr, 0);
    const ExecStatusType status = PQresultStatus(raw);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      const std::string error = raw ? PQresultErrorMessage(raw) : PQerrorMessage(conn_);
      PQclear(raw);
      throw StoreError("postgresql: " + Trimmed(error));
    }
    return Result(raw);
  }

  int CurrentVersion() {
    Result exists = Run("SELECT to_regclass('schema_version') IS NOT NULL");
    if (exists.Text(0, 0) != "t") return -1;
    Result r = Run("SELECT version FROM schema_version");
    return r.Rows() > 0 ? static_cast<int>(r.Int(0, 0)) : -1;
  }

  Access access_;
  PGconn *conn_;
  PostgresSql sql_{*this};
};

}  // namespace

std::unique_ptr<Store> OpenPostgresStore(const std::string &conninfo, Access access) {
  return std::make_unique<PostgresStore>(conninfo, access);
}

}  // namespace smsd
