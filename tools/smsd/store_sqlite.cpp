// The embedded default: one SQLite file. Writers take the database lock up front
// (BEGIN IMMEDIATE), so a claim is never half-seen by another process.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "events.h"
#include "sql.h"
#include "store.h"

namespace smsd {
namespace {

constexpr int kBusyTimeoutMs = 10000;  // how long a statement waits for another connection's lock
constexpr int kBusyStepMs = 50;

// Each entry brings the schema from version i to i + 1.
const std::vector<std::string> kMigrations = {
    R"(CREATE TABLE phones (
         id TEXT PRIMARY KEY, imei TEXT, model TEXT, signal INTEGER, battery INTEGER, last_seen TEXT);
       CREATE TABLE inbox (
         id INTEGER PRIMARY KEY AUTOINCREMENT,
         phone_id TEXT NOT NULL, sender TEXT NOT NULL, text TEXT NOT NULL, coding TEXT, class INTEGER,
         phone_time TEXT NOT NULL, received_at TEXT NOT NULL DEFAULT (datetime('now')),
         concat_reference INTEGER, concat_part INTEGER, concat_total INTEGER, pdu BLOB,
         text_hash TEXT NOT NULL, part_key INTEGER NOT NULL DEFAULT 0,
         UNIQUE (phone_id, sender, phone_time, text_hash, part_key));
       CREATE TABLE outbox (
         id INTEGER PRIMARY KEY AUTOINCREMENT,
         destination TEXT NOT NULL, text TEXT NOT NULL, class INTEGER, status_report INTEGER NOT NULL DEFAULT 0,
         priority INTEGER NOT NULL DEFAULT 0, not_before TEXT, attempts INTEGER NOT NULL DEFAULT 0,
         status TEXT NOT NULL DEFAULT 'queued'
           CHECK (status IN ('queued', 'sending', 'sent', 'failed', 'unknown')),
         claimed_by TEXT, claimed_at TEXT, created_at TEXT NOT NULL DEFAULT (datetime('now')),
         concat_reference INTEGER, parts_done INTEGER NOT NULL DEFAULT 0, last_result INTEGER, last_error TEXT);
       CREATE INDEX outbox_due ON outbox (status, priority DESC, id);
       CREATE TABLE sent (
         id INTEGER PRIMARY KEY AUTOINCREMENT,
         outbox_id INTEGER NOT NULL UNIQUE REFERENCES outbox (id), phone_id TEXT NOT NULL,
         parts INTEGER NOT NULL, message_references TEXT, result INTEGER NOT NULL,
         sent_at TEXT NOT NULL DEFAULT (datetime('now')));
       CREATE VIEW inbox_messages AS
         SELECT id, phone_id, sender, text, phone_time, received_at, 1 AS parts, 1 AS complete
           FROM inbox WHERE concat_reference IS NULL
         UNION ALL
         SELECT MIN(id), phone_id, sender, group_concat(text, ''), MIN(phone_time), MAX(received_at),
                COUNT(*), COUNT(DISTINCT concat_part) = MAX(concat_total)
           FROM (SELECT * FROM inbox WHERE concat_reference IS NOT NULL ORDER BY concat_part)
          GROUP BY phone_id, sender, concat_reference, concat_total;)",
    // 2: the location a message was read from joins the unique key, which holds only
    // while the message is on the phone: two equal messages at two locations are two
    // rows, and so is an equal message that comes later to a location freed by a delete.
    // SQLite cannot change a table's constraints: the table is made anew, its rows
    // (location unknown, so never taken for a new message) and its id sequence kept.
    R"(DROP VIEW inbox_messages;
       CREATE TABLE inbox_v2 (
         id INTEGER PRIMARY KEY AUTOINCREMENT,
         phone_id TEXT NOT NULL, sender TEXT NOT NULL, text TEXT NOT NULL, coding TEXT, class INTEGER,
         phone_time TEXT NOT NULL, received_at TEXT NOT NULL DEFAULT (datetime('now')),
         concat_reference INTEGER, concat_part INTEGER, concat_total INTEGER, pdu BLOB,
         text_hash TEXT NOT NULL, part_key INTEGER NOT NULL DEFAULT 0,
         location INTEGER, left_phone_at TEXT);
       INSERT INTO inbox_v2 (id, phone_id, sender, text, coding, class, phone_time, received_at, concat_reference,
                             concat_part, concat_total, pdu, text_hash, part_key)
         SELECT id, phone_id, sender, text, coding, class, phone_time, received_at, concat_reference,
                concat_part, concat_total, pdu, text_hash, part_key FROM inbox;
       DELETE FROM sqlite_sequence WHERE name = 'inbox_v2';
       INSERT INTO sqlite_sequence (name, seq) SELECT 'inbox_v2', seq FROM sqlite_sequence WHERE name = 'inbox';
       DROP TABLE inbox;
       ALTER TABLE inbox_v2 RENAME TO inbox;
       CREATE UNIQUE INDEX inbox_on_phone ON inbox (phone_id, location, sender, phone_time, text_hash, part_key)
         WHERE left_phone_at IS NULL;
       CREATE VIEW inbox_messages AS
         SELECT id, phone_id, sender, text, phone_time, received_at, 1 AS parts, 1 AS complete
           FROM inbox WHERE concat_reference IS NULL
         UNION ALL
         SELECT MIN(id), phone_id, sender, group_concat(text, ''), MIN(phone_time), MAX(received_at),
                COUNT(*), COUNT(DISTINCT concat_part) = MAX(concat_total)
           FROM (SELECT * FROM inbox WHERE concat_reference IS NOT NULL ORDER BY concat_part)
          GROUP BY phone_id, sender, concat_reference, concat_total;)",
    // 3: delivery reports. One row per part the phone confirmed, with the reference it
    // gave the part and the state of its delivery; every report read from the phone,
    // paired with its part or with nothing; each outbox row's delivery state.
    R"(ALTER TABLE outbox ADD COLUMN delivery TEXT NOT NULL DEFAULT 'none'
         CHECK (delivery IN ('none', 'pending', 'delivered', 'failed', 'expired'));
       ALTER TABLE outbox ADD COLUMN delivery_part INTEGER;
       ALTER TABLE outbox ADD COLUMN delivery_error TEXT;
       ALTER TABLE outbox ADD COLUMN delivery_at TEXT;
       CREATE TABLE sent_parts (
         outbox_id INTEGER NOT NULL REFERENCES outbox (id), part INTEGER NOT NULL, parts INTEGER NOT NULL,
         phone_id TEXT NOT NULL, recipient TEXT NOT NULL, reference INTEGER,
         submitted_at TEXT NOT NULL DEFAULT (strftime('%Y-%m-%d %H:%M:%f', 'now')),
         status TEXT NOT NULL
           CHECK (status IN ('none', 'awaiting', 'pending', 'delivered', 'failed', 'expired')),
         status_code INTEGER, status_at TEXT, discharge_time TEXT,
         PRIMARY KEY (outbox_id, part));
       CREATE INDEX sent_parts_pairing ON sent_parts (phone_id, reference, submitted_at);
       CREATE INDEX sent_parts_open ON sent_parts (phone_id, status, submitted_at);
       CREATE TABLE reports (
         id INTEGER PRIMARY KEY AUTOINCREMENT,
         phone_id TEXT NOT NULL, location INTEGER, reference INTEGER NOT NULL, recipient TEXT NOT NULL,
         submitted TEXT NOT NULL, discharged TEXT NOT NULL, status_code INTEGER NOT NULL,
         received_at TEXT NOT NULL DEFAULT (datetime('now')), outbox_id INTEGER, part INTEGER, left_phone_at TEXT,
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
                group_concat(ifnull(p.reference, ''), ',') AS message_references,
                group_concat(p.part || ':' || p.status, ' ') AS part_states,
                COUNT(CASE WHEN p.status = 'delivered' THEN 1 END) AS parts_delivered
           FROM outbox o
           LEFT JOIN (SELECT * FROM sent_parts ORDER BY outbox_id, part) p ON p.outbox_id = o.id
          GROUP BY o.id;)",
    // 4: the gateway's front door. API tokens (kept as hashes), dashboard users and their
    // sessions, the answers kept for an Idempotency-Key, webhooks, and the events waiting
    // for delivery, each written in the transaction of the change that raised it. A row
    // may ask for Kannel-style delivery callbacks (dlr_url, dlr_mask). Times are Unix
    // seconds.
    R"(ALTER TABLE outbox ADD COLUMN dlr_url TEXT;
       ALTER TABLE outbox ADD COLUMN dlr_mask INTEGER NOT NULL DEFAULT 0;
       ALTER TABLE outbox ADD COLUMN validity_minutes INTEGER;
       ALTER TABLE outbox ADD COLUMN coding TEXT;
       CREATE TABLE api_tokens (
         id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL UNIQUE, token_hash TEXT NOT NULL,
         created_at INTEGER NOT NULL, last_used_at INTEGER, revoked_at INTEGER);
       CREATE TABLE users (
         id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL UNIQUE, password_hash TEXT NOT NULL,
         created_at INTEGER NOT NULL);
       CREATE TABLE sessions (
         id_hash TEXT PRIMARY KEY, user_id INTEGER, token_id INTEGER, csrf TEXT NOT NULL,
         created_at INTEGER NOT NULL, expires_at INTEGER NOT NULL);
       CREATE TABLE idempotency_keys (
         scope TEXT NOT NULL, key TEXT NOT NULL, request_hash TEXT NOT NULL, status INTEGER NOT NULL,
         body TEXT NOT NULL, created_at INTEGER NOT NULL, PRIMARY KEY (scope, key));
       CREATE TABLE webhooks (
         id INTEGER PRIMARY KEY AUTOINCREMENT, url TEXT NOT NULL, events TEXT NOT NULL, secret TEXT NOT NULL,
         created_at INTEGER NOT NULL, revoked_at INTEGER);
       CREATE TABLE webhook_deliveries (
         id INTEGER PRIMARY KEY AUTOINCREMENT, webhook_id INTEGER REFERENCES webhooks (id), event TEXT NOT NULL,
         outbox_id INTEGER, inbox_id INTEGER, method TEXT NOT NULL DEFAULT 'POST', url TEXT NOT NULL,
         body TEXT NOT NULL, status TEXT NOT NULL DEFAULT 'pending'
           CHECK (status IN ('pending', 'delivered', 'failed')),
         attempts INTEGER NOT NULL DEFAULT 0, next_attempt_at INTEGER NOT NULL, claimed_by TEXT,
         claimed_until INTEGER, last_status INTEGER, last_error TEXT, last_response TEXT,
         created_at INTEGER NOT NULL, delivered_at INTEGER);
       CREATE INDEX webhook_deliveries_due ON webhook_deliveries (status, next_attempt_at);)"};

// The migration that makes the inbox table anew.
constexpr size_t kInboxRebuilt = 1;

class Statement {
 public:
  Statement(sqlite3 *db, const char *sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
      throw StoreError(std::string("sqlite: ") + sqlite3_errmsg(db));
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement &) = delete;
  Statement &operator=(const Statement &) = delete;

  Statement &Bind(int i, const std::string &text) {
    sqlite3_bind_text(stmt_, i, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement &Bind(int i, int64_t value) {
    sqlite3_bind_int64(stmt_, i, value);
    return *this;
  }
  Statement &Bind(int i, const std::optional<int> &value) {
    if (value)
      sqlite3_bind_int(stmt_, i, *value);
    else
      sqlite3_bind_null(stmt_, i);
    return *this;
  }
  Statement &BindBlob(int i, const std::vector<uint8_t> &bytes) {
    if (bytes.empty())
      sqlite3_bind_null(stmt_, i);
    else
      sqlite3_bind_blob(stmt_, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return *this;
  }
  // True while there is a row.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw StoreError(std::string("sqlite: ") + sqlite3_errmsg(db_));
  }
  int64_t Int(int column) { return sqlite3_column_int64(stmt_, column); }
  bool IsNull(int column) { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
  // The whole value, NUL characters and all: an application's text is checked as it is
  // stored, not as far as its first NUL.
  std::string Text(int column) {
    const unsigned char *text = sqlite3_column_text(stmt_, column);
    if (text == nullptr) return "";
    return std::string(reinterpret_cast<const char *>(text), static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
  }

 private:
  sqlite3 *db_;
  sqlite3_stmt *stmt_ = nullptr;
};

// The path as an SQLite URI (file:...), for opening with URI parameters.
std::string FileUri(const std::string &path) {
  std::string uri = "file:";
  for (char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
      uri += escaped;
    } else {
      uri += c;
    }
  }
  return uri;
}

// The directories above the file that are missing are made 0700, and a missing file is
// made 0600, whatever the umask: messages are nobody else's business. SQLite gives the
// -wal and -shm files the mode of the database file. Files and directories that exist
// keep the modes their owner gave them.
void CreatePrivately(const std::string &path) {
  if (path.empty() || path == ":memory:") return;
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string directory = path.substr(0, slash);
    if (::mkdir(directory.c_str(), 0700) == 0) ::chmod(directory.c_str(), 0700);
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::fchmod(fd, 0600);
    ::close(fd);
  } else if (errno != EEXIST) {
    throw StoreError("sqlite: cannot create " + path + ": " + std::strerror(errno));
  }
}

class SqliteStore final : public Store {
 public:
  SqliteStore(const std::string &path, Access access) : access_(access) {
    if (access == Access::kRead) {
      OpenForReading(path);
      return;
    }
    CreatePrivately(path);
    Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX);
    // WAL lets readers (status, the application) in while the daemon writes; FULL makes
    // every commit durable before the daemon goes on to delete the message from the phone.
    // Changing the journal mode, and the recovery of a WAL left by a killed daemon, can
    // answer "busy" without waiting for the other connection: those are retried here.
    if (!ModeIsWal()) ExecWhileBusy("PRAGMA journal_mode = WAL");
    ExecWhileBusy("PRAGMA synchronous = FULL");
    ExecWhileBusy("PRAGMA foreign_keys = ON");
  }
  ~SqliteStore() override { sqlite3_close(db_); }

  void Migrate() override {
    // Read first, without a write lock: a current schema is not written to, and a user
    // who may only read the file can still read it.
    const int version = CurrentVersion();
    if (SchemaIsCurrent(version, kMigrations.size())) return;
    if (access_ == Access::kRead) {
      // An older schema is read as it is: what status reads is in every version.
      if (version < 0) throw StoreError("sqlite: the database has no pelkor-smsd schema yet");
      return;
    }
    Transaction t(*this);
    RunMigrations(
        kMigrations,
        [this](const std::string &sql) {
          if (&sql == &kMigrations[kInboxRebuilt])
            RebuildInbox(sql);
          else
            Exec(sql.c_str());
        },
        [this] { return CurrentVersion(); },
        [this](int version) {
          Statement(db_, "UPDATE schema_version SET version = ?").Bind(1, static_cast<int64_t>(version)).Step();
        });
    t.Commit();
  }

  int SchemaVersion() override { return CurrentVersion(); }

  InboxInsert InsertInbox(const InboxMessage &m) override {
    const std::string hash = TextHash(m.text);
    std::optional<int> location;  // unknown for rows of an older daemon: never a duplicate
    if (m.location > 0) location = m.location;
    const int64_t partKey = m.concatPart.value_or(0);
    Transaction t(*this);
    InboxInsert result;
    {
      Statement s(db_,
                  "INSERT INTO inbox (phone_id, sender, text, coding, class, phone_time, concat_reference, "
                  "concat_part, concat_total, pdu, text_hash, part_key, location) "
                  "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING RETURNING id");
      s.Bind(1, m.phoneId).Bind(2, m.sender).Bind(3, m.text).Bind(4, m.coding).Bind(5, m.messageClass);
      s.Bind(6, m.phoneTime).Bind(7, m.concatReference).Bind(8, m.concatPart).Bind(9, m.concatTotal);
      s.BindBlob(10, m.pdu).Bind(11, hash).Bind(12, partKey).Bind(13, location);
      if (s.Step()) {
        result.id = s.Int(0);
        result.isNew = true;
      }
      while (s.Step()) {
      }
    }
    if (!result.isNew) {
      // Nothing inserted: it must be this very message, stored by an earlier pass and
      // still on the phone at the same location. Anything else keeps it on the phone.
      Statement s(db_,
                  "SELECT id, text FROM inbox WHERE phone_id = ? AND location = ? AND sender = ? AND phone_time = ? "
                  "AND text_hash = ? AND part_key = ? AND left_phone_at IS NULL");
      s.Bind(1, m.phoneId).Bind(2, location).Bind(3, m.sender).Bind(4, m.phoneTime).Bind(5, hash).Bind(6, partKey);
      if (!s.Step()) throw StoreError("sqlite: the message was neither stored nor found stored");
      if (s.Text(1) != m.text)
        throw StoreError("sqlite: inbox row " + std::to_string(s.Int(0)) + " holds another text under the same key");
      result.id = s.Int(0);
    }
    if (result.isNew) RaiseMessageReceived(sql_, result.id);
    t.Commit();
    return result;
  }

  void SetLeftPhone(int64_t id, bool left) override {
    Statement(db_, left ? "UPDATE inbox SET left_phone_at = datetime('now') WHERE id = ?"
                        : "UPDATE inbox SET left_phone_at = NULL WHERE id = ?")
        .Bind(1, id)
        .Step();
  }

  int RecoverSending(const std::string &phoneId, bool resend) override {
    Transaction t(*this);
    Statement s(db_, resend ? "UPDATE outbox SET status = 'queued' WHERE status = 'sending' AND claimed_by = ?"
                            : "UPDATE outbox SET status = 'unknown', last_error = 'the daemon stopped while sending' "
                              "WHERE status = 'sending' AND claimed_by = ?");
    s.Bind(1, phoneId).Step();
    const int changed = sqlite3_changes(db_);
    t.Commit();
    return changed;
  }

  std::optional<OutboxRow> Claim(const std::string &phoneId) override {
    Transaction t(*this);
    Statement s(db_,
                "SELECT id, destination, text, class, status_report, attempts, concat_reference, parts_done "
                "FROM outbox WHERE status = 'queued' AND (not_before IS NULL OR not_before <= datetime('now')) "
                "ORDER BY priority DESC, id LIMIT 1");
    if (!s.Step()) return std::nullopt;
    OutboxRow row;
    row.id = s.Int(0);
    row.destination = s.Text(1);
    row.text = s.Text(2);
    row.messageClass = s.IsNull(3) ? -1 : static_cast<int>(s.Int(3));
    row.statusReport = s.Int(4) != 0;
    row.attempts = static_cast<int>(s.Int(5));
    row.reference = static_cast<int>(s.Int(6));
    row.partsDone = static_cast<int>(s.Int(7));
    Statement u(db_, "UPDATE outbox SET status = 'sending', claimed_by = ?, claimed_at = datetime('now') WHERE id = ?");
    u.Bind(1, phoneId).Bind(2, row.id).Step();
    t.Commit();
    return row;
  }

  void RecordProgress(int64_t id, int reference, int partsDone) override {
    Statement(db_, "UPDATE outbox SET concat_reference = ?, parts_done = ? WHERE id = ?")
        .Bind(1, static_cast<int64_t>(reference))
        .Bind(2, static_cast<int64_t>(partsDone))
        .Bind(3, id)
        .Step();
  }

  void RecordPart(const OutboxRow &row, const std::string &phoneId, int part, int parts,
                  int messageReference) override {
    Transaction t(*this);
    Statement s(db_,
                "INSERT INTO sent_parts (outbox_id, part, parts, phone_id, recipient, reference, status) "
                "VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT (outbox_id, part) DO UPDATE SET parts = excluded.parts, "
                "phone_id = excluded.phone_id, recipient = excluded.recipient, reference = excluded.reference, "
                "submitted_at = excluded.submitted_at, status = excluded.status, status_code = NULL, "
                "status_at = NULL, discharge_time = NULL");
    s.Bind(1, row.id).Bind(2, static_cast<int64_t>(part)).Bind(3, static_cast<int64_t>(parts)).Bind(4, phoneId);
    s.Bind(5, row.destination);
    s.Bind(6, messageReference >= 0 ? std::optional<int>(messageReference) : std::nullopt);
    s.Bind(7, row.statusReport ? "awaiting" : "none").Step();
    Statement u(db_,
                "UPDATE outbox SET concat_reference = coalesce(?, concat_reference), parts_done = ?, "
                "delivery = CASE WHEN status_report <> 0 AND delivery = 'none' THEN 'pending' ELSE delivery END "
                "WHERE id = ?");
    // A single message has no concatenation reference.
    u.Bind(1, parts > 1 ? std::optional<int>(row.reference) : std::nullopt);
    u.Bind(2, static_cast<int64_t>(part)).Bind(3, row.id).Step();
    t.Commit();
  }

  ReportInsert InsertReport(const StatusReport &r, int expirySeconds) override {
    std::optional<int> location;
    if (r.location > 0) location = r.location;
    Transaction t(*this);
    ReportInsert result;
    {
      Statement s(db_,
                  "INSERT INTO reports (phone_id, location, reference, recipient, submitted, discharged, status_code) "
                  "VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING RETURNING id");
      s.Bind(1, r.phoneId).Bind(2, location).Bind(3, static_cast<int64_t>(r.reference)).Bind(4, r.recipient);
      s.Bind(5, r.submitted).Bind(6, r.discharged).Bind(7, static_cast<int64_t>(r.status));
      if (s.Step()) {
        result.id = s.Int(0);
        result.isNew = true;
      }
      while (s.Step()) {
      }
    }
    if (!result.isNew) {
      Statement s(db_,
                  "SELECT id, ifnull(outbox_id, 0), ifnull(part, 0) FROM reports WHERE phone_id = ? AND location = ? "
                  "AND reference = ? AND recipient = ? AND submitted = ? AND discharged = ? AND status_code = ? "
                  "AND left_phone_at IS NULL");
      s.Bind(1, r.phoneId).Bind(2, location).Bind(3, static_cast<int64_t>(r.reference)).Bind(4, r.recipient);
      s.Bind(5, r.submitted).Bind(6, r.discharged).Bind(7, static_cast<int64_t>(r.status));
      if (!s.Step()) throw StoreError("sqlite: the report was neither stored nor found stored");
      result.id = s.Int(0);
      result.outboxId = s.Int(1);
      result.part = static_cast<int>(s.Int(2));
      t.Commit();
      return result;
    }
    std::string partStatus;
    {
      Statement s(db_,
                  "SELECT outbox_id, part, status FROM sent_parts WHERE phone_id = ? AND reference = ? "
                  "AND ltrim(recipient, '+') = ltrim(?, '+') "
                  "AND submitted_at >= strftime('%Y-%m-%d %H:%M:%f', 'now', ?) "
                  "ORDER BY submitted_at DESC, outbox_id DESC LIMIT 1");
      s.Bind(1, r.phoneId).Bind(2, static_cast<int64_t>(r.reference)).Bind(3, r.recipient);
      s.Bind(4, "-" + std::to_string(expirySeconds) + " seconds");
      if (s.Step()) {
        result.outboxId = s.Int(0);
        result.part = static_cast<int>(s.Int(1));
        partStatus = s.Text(2);
      }
    }
    if (result.outboxId != 0) {
      Statement(db_, "UPDATE reports SET outbox_id = ?, part = ? WHERE id = ?")
          .Bind(1, result.outboxId)
          .Bind(2, static_cast<int64_t>(result.part))
          .Bind(3, result.id)
          .Step();
      // A settled part stays as its first final report left it.
      if (partStatus == "awaiting" || partStatus == "pending") {
        Statement u(db_,
                    "UPDATE sent_parts SET status = ?, status_code = ?, status_at = datetime('now'), "
                    "discharge_time = ? WHERE outbox_id = ? AND part = ?");
        u.Bind(1, PartStatusOf(r.status)).Bind(2, static_cast<int64_t>(r.status)).Bind(3, r.discharged);
        u.Bind(4, result.outboxId).Bind(5, static_cast<int64_t>(result.part)).Step();
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
    Statement(db_, "UPDATE reports SET left_phone_at = datetime('now') WHERE id = ?").Bind(1, id).Step();
  }

  std::vector<DeliverySettled> ExpireParts(const std::string &phoneId, int expirySeconds) override {
    Transaction t(*this);
    std::vector<int64_t> rows;
    {
      Statement s(db_,
                  "UPDATE sent_parts SET status = 'expired', status_at = datetime('now') WHERE phone_id = ? "
                  "AND status IN ('awaiting', 'pending') AND submitted_at < strftime('%Y-%m-%d %H:%M:%f', 'now', ?) "
                  "RETURNING outbox_id");
      s.Bind(1, phoneId).Bind(2, "-" + std::to_string(expirySeconds) + " seconds");
      while (s.Step())
        if (std::find(rows.begin(), rows.end(), s.Int(0)) == rows.end()) rows.push_back(s.Int(0));
    }
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
    Statement(db_, "UPDATE outbox SET status = 'sent', parts_done = ?, last_result = ?, last_error = NULL WHERE id = ?")
        .Bind(1, static_cast<int64_t>(parts))
        .Bind(2, static_cast<int64_t>(result))
        .Bind(3, row.id)
        .Step();
    Statement(db_,
              "INSERT INTO sent (outbox_id, phone_id, parts, result, message_references) VALUES (?, ?, ?, ?, "
              "(SELECT group_concat(ifnull(reference, ''), ',') FROM "
              "(SELECT reference FROM sent_parts WHERE outbox_id = ?1 ORDER BY part)))")
        .Bind(1, row.id)
        .Bind(2, phoneId)
        .Bind(3, static_cast<int64_t>(parts))
        .Bind(4, static_cast<int64_t>(result))
        .Step();
    RaiseOutboxEvent(sql_, OutboxEvent::kSent, row.id);
    t.Commit();
  }

  void MarkRetry(const OutboxRow &row, int result, const std::string &error, int backoffSeconds,
                 int maxAttempts) override {
    Transaction t(*this);
    Statement s(db_,
                "UPDATE outbox SET attempts = attempts + 1, last_result = ?, last_error = ?, "
                "status = CASE WHEN attempts + 1 >= ? THEN 'failed' ELSE 'queued' END, "
                "not_before = datetime('now', ?) WHERE id = ?");
    s.Bind(1, static_cast<int64_t>(result)).Bind(2, error).Bind(3, static_cast<int64_t>(maxAttempts));
    s.Bind(4, "+" + std::to_string(backoffSeconds) + " seconds").Bind(5, row.id).Step();
    Statement status(db_, "SELECT status FROM outbox WHERE id = ?");
    status.Bind(1, row.id);
    if (status.Step() && status.Text(0) == "failed") RaiseOutboxEvent(sql_, OutboxEvent::kFailed, row.id);
    t.Commit();
  }

  void MarkFailed(const OutboxRow &row, int result, const std::string &error) override {
    Transaction t(*this);
    Statement(db_, "UPDATE outbox SET status = 'failed', last_result = ?, last_error = ? WHERE id = ?")
        .Bind(1, static_cast<int64_t>(result))
        .Bind(2, error)
        .Bind(3, row.id)
        .Step();
    RaiseOutboxEvent(sql_, OutboxEvent::kFailed, row.id);
    t.Commit();
  }

  void MarkUnknown(const OutboxRow &row, int result, const std::string &error) override {
    Statement(db_,
              "UPDATE outbox SET status = 'unknown', attempts = attempts + 1, last_result = ?, last_error = ? "
              "WHERE id = ?")
        .Bind(1, static_cast<int64_t>(result))
        .Bind(2, error)
        .Bind(3, row.id)
        .Step();
  }

  void Heartbeat(const PhoneStatus &p) override {
    Statement s(db_,
                "INSERT INTO phones (id, imei, model, signal, battery, last_seen) VALUES (?, ?, ?, ?, ?, "
                "datetime('now')) ON CONFLICT (id) DO UPDATE SET imei = excluded.imei, model = excluded.model, "
                "signal = excluded.signal, battery = excluded.battery, last_seen = excluded.last_seen");
    s.Bind(1, p.id).Bind(2, p.imei).Bind(3, p.model);
    s.Bind(4, p.signal >= 0 ? std::optional<int>(p.signal) : std::nullopt);
    s.Bind(5, p.battery >= 0 ? std::optional<int>(p.battery) : std::nullopt).Step();
  }

  std::vector<PhoneStatus> Phones() override {
    std::vector<PhoneStatus> phones;
    Statement s(db_, "SELECT id, imei, model, signal, battery, last_seen FROM phones ORDER BY id");
    while (s.Step()) {
      PhoneStatus p{s.Text(0), s.Text(1), s.Text(2), s.Text(5)};
      p.signal = s.IsNull(3) ? -1 : static_cast<int>(s.Int(3));
      p.battery = s.IsNull(4) ? -1 : static_cast<int>(s.Int(4));
      phones.push_back(p);
    }
    return phones;
  }

  OutboxCounts Counts() override {
    OutboxCounts c;
    Statement s(db_, "SELECT status, COUNT(*) FROM outbox GROUP BY status");
    while (s.Step()) c.Add(s.Text(0), s.Int(1));
    return c;
  }

  int64_t Inject(const std::string &destination, const std::string &text, int messageClass, bool statusReport,
                 int priority) override {
    Statement s(db_,
                "INSERT INTO outbox (destination, text, class, status_report, priority) VALUES (?, ?, ?, ?, ?) "
                "RETURNING id");
    s.Bind(1, destination).Bind(2, text);
    s.Bind(3, messageClass >= 0 ? std::optional<int>(messageClass) : std::nullopt);
    s.Bind(4, static_cast<int64_t>(statusReport ? 1 : 0)).Bind(5, static_cast<int64_t>(priority));
    if (!s.Step()) throw StoreError("sqlite: the outbox row was not stored");
    const int64_t id = s.Int(0);
    while (s.Step()) {
    }
    return id;
  }

 public:
  Sql &Database() override { return sql_; }

 private:
  // The store's connection for statements written once for both databases.
  class SqliteSql final : public Sql {
   public:
    explicit SqliteSql(SqliteStore &store) : store_(store) {}
    bool IsPostgres() const override { return false; }
    SqlRows Query(const std::string &sql, const SqlParams &params) override {
      sqlite3_stmt *stmt = nullptr;
      if (sqlite3_prepare_v2(store_.db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        throw StoreError(std::string("sqlite: ") + sqlite3_errmsg(store_.db_));
      SqlRows rows;
      try {
        // $N is a named parameter to SQLite: bound by its number, so one may repeat.
        for (int i = 1; i <= sqlite3_bind_parameter_count(stmt); ++i) {
          const char *name = sqlite3_bind_parameter_name(stmt, i);
          const size_t n = name && name[0] == '$' ? std::strtoul(name + 1, nullptr, 10) : 0;
          if (n < 1 || n > params.values.size())
            throw StoreError("sqlite: statement parameter " + std::string(name ? name : "?") + " has no value");
          const SqlValue &v = params.values[n - 1];
          if (v)
            sqlite3_bind_text(stmt, i, v->data(), static_cast<int>(v->size()), SQLITE_TRANSIENT);
          else
            sqlite3_bind_null(stmt, i);
        }
        for (;;) {
          const int rc = sqlite3_step(stmt);
          if (rc == SQLITE_DONE) break;
          if (rc != SQLITE_ROW) throw StoreError(std::string("sqlite: ") + sqlite3_errmsg(store_.db_));
          SqlRow row;
          for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            const unsigned char *text = sqlite3_column_text(stmt, c);
            if (sqlite3_column_type(stmt, c) == SQLITE_NULL || text == nullptr)
              row.values.emplace_back(std::nullopt);
            else
              row.values.emplace_back(std::string(reinterpret_cast<const char *>(text),
                                                  static_cast<size_t>(sqlite3_column_bytes(stmt, c))));
          }
          rows.push_back(std::move(row));
        }
      } catch (...) {
        sqlite3_finalize(stmt);
        throw;
      }
      sqlite3_finalize(stmt);
      return rows;
    }
    int64_t Changes() override { return sqlite3_changes(store_.db_); }
    void InTransaction(const std::function<void()> &work) override {
      if (sqlite3_get_autocommit(store_.db_) == 0) return work();
      Transaction t(store_);
      work();
      t.Commit();
    }

   private:
    SqliteStore &store_;
  };

 private:
  // BEGIN IMMEDIATE ... COMMIT; rolled back when left without Commit().
  class Transaction {
   public:
    explicit Transaction(SqliteStore &store) : store_(store) { store_.Exec("BEGIN IMMEDIATE"); }
    ~Transaction() {
      if (!done_) sqlite3_exec(store_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void Commit() {
      store_.Exec("COMMIT");
      done_ = true;
    }

   private:
    SqliteStore &store_;
    bool done_ = false;
  };

  // Runs the migration that makes `inbox` anew, keeping what applications added to it:
  // their views on it go on naming it (the rename does not rewrite or check them), and
  // their indexes and triggers on it, dropped with the old table, are made again.
  void RebuildInbox(const std::string &sql) {
    std::vector<std::string> extras;
    {
      Statement s(db_,
                  "SELECT sql FROM sqlite_master WHERE tbl_name = 'inbox' AND type IN ('index', 'trigger') "
                  "AND sql IS NOT NULL");
      while (s.Step()) extras.push_back(s.Text(0));
    }
    Exec("PRAGMA legacy_alter_table = ON");
    try {
      Exec(sql.c_str());
    } catch (const StoreError &) {
      sqlite3_exec(db_, "PRAGMA legacy_alter_table = OFF", nullptr, nullptr, nullptr);
      throw;
    }
    Exec("PRAGMA legacy_alter_table = OFF");
    for (const std::string &extra : extras) Exec(extra.c_str());
  }

  // Works out the delivery state of an outbox row still pending from its parts, inside
  // the caller's transaction; the settled state when it settled now.
  std::optional<DeliverySettled> Resettle(int64_t outboxId) {
    DeliverySettled d;
    {
      Statement s(db_, "SELECT delivery, destination FROM outbox WHERE id = ?");
      s.Bind(1, outboxId);
      if (!s.Step() || s.Text(0) != "pending") return std::nullopt;
      d.destination = s.Text(1);
    }
    std::vector<PartState> parts;
    Statement s(db_,
                "SELECT part, parts, status, ifnull(status_code, -1), phone_id FROM sent_parts WHERE outbox_id = ? "
                "ORDER BY part");
    s.Bind(1, outboxId);
    while (s.Step()) {
      parts.push_back({static_cast<int>(s.Int(0)), static_cast<int>(s.Int(1)), s.Text(2), static_cast<int>(s.Int(3))});
      d.phoneId = s.Text(4);
    }
    const DeliverySettled settled = SettleDelivery(parts);
    if (settled.state == "pending") return std::nullopt;
    d.outboxId = outboxId;
    d.state = settled.state;
    d.part = settled.part;
    d.statusCode = settled.statusCode;
    d.error = settled.error;
    Statement u(db_,
                "UPDATE outbox SET delivery = ?, delivery_part = ?, delivery_error = ?, delivery_at = datetime('now') "
                "WHERE id = ?");
    u.Bind(1, d.state).Bind(2, d.part > 0 ? std::optional<int>(d.part) : std::nullopt);
    if (d.error.empty())
      u.Bind(3, std::optional<int>());
    else
      u.Bind(3, d.error);
    u.Bind(4, outboxId).Step();
    return d;
  }

  bool ModeIsWal() {
    for (int waited = 0;; waited += kBusyStepMs) {
      sqlite3_stmt *stmt = nullptr;
      int rc = sqlite3_prepare_v2(db_, "PRAGMA journal_mode", -1, &stmt, nullptr);
      bool wal = false;
      if (rc == SQLITE_OK) {
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
          const unsigned char *mode = sqlite3_column_text(stmt, 0);
          wal = mode != nullptr && std::string(reinterpret_cast<const char *>(mode)) == "wal";
          rc = SQLITE_OK;
        }
      }
      sqlite3_finalize(stmt);
      if ((rc & 0xFF) != SQLITE_BUSY || waited >= kBusyTimeoutMs) return wal;
      std::this_thread::sleep_for(std::chrono::milliseconds(kBusyStepMs));
    }
  }

  void ExecWhileBusy(const char *sql) {
    for (int waited = 0;; waited += kBusyStepMs) {
      char *error = nullptr;
      const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &error);
      if (rc == SQLITE_OK) return;
      std::string message = error ? error : "unknown error";
      sqlite3_free(error);
      if ((rc & 0xFF) != SQLITE_BUSY || waited >= kBusyTimeoutMs) throw StoreError("sqlite: " + message);
      std::this_thread::sleep_for(std::chrono::milliseconds(kBusyStepMs));
    }
  }

  void Exec(const char *sql) {
    char *error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error ? error : "unknown error";
      sqlite3_free(error);
      throw StoreError("sqlite: " + message);
    }
  }

  int CurrentVersion() {
    Statement exists(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'schema_version'");
    if (!exists.Step()) return -1;
    Statement s(db_, "SELECT version FROM schema_version");
    return s.Step() ? static_cast<int>(s.Int(0)) : -1;
  }

  void Open(const std::string &name, int flags) {
    if (sqlite3_open_v2(name.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
      std::string error = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      db_ = nullptr;
      throw StoreError("sqlite: cannot open " + name + ": " + error);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  }

  // Read-only, creating nothing. A reader of a WAL database needs its -shm file; where
  // there is none and the user may not create one (a directory only the daemon may
  // write), no daemon has the database open (an open WAL database has its -wal file),
  // and it is read as an unchanging file.
  void OpenForReading(const std::string &path) {
    Open(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX);
    char *error = nullptr;
    const int rc = sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &error);
    sqlite3_free(error);
    if (rc == SQLITE_OK) return;
    struct stat wal {};
    if (((rc & 0xFF) != SQLITE_READONLY && (rc & 0xFF) != SQLITE_CANTOPEN) ||
        ::stat((path + "-wal").c_str(), &wal) == 0) {
      const std::string message = sqlite3_errmsg(db_);
      throw StoreError("sqlite: cannot read " + path + ": " + message);
    }
    sqlite3_close(db_);
    db_ = nullptr;
    Open(FileUri(path) + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_FULLMUTEX);
  }

  Access access_;
  sqlite3 *db_ = nullptr;
  SqliteSql sql_{*this};
};

}  // namespace

std::unique_ptr<Store> OpenSqliteStore(const std::string &path, Access access) {
  return std::make_unique<SqliteStore>(path, access);
}

}  // namespace smsd
