// The daemon's storage: one small interface, one implementation per database, chosen by
// the URL (sqlite:///path or postgresql://...).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace smsd {

// Any failure of the database; the daemon logs it and tries again on the next poll.
struct StoreError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One received message (one part of a concatenated one) as read from the phone.
struct InboxMessage {
  std::string phoneId, sender, text, coding;
  std::string phoneTime;  // the centre's time stamp, "YYYY-MM-DD hh:mm:ss"
  std::optional<int> messageClass, concatReference, concatPart, concatTotal;
  std::vector<uint8_t> pdu;
  int location = 0;  // where the phone keeps it; 0 when not known
};

// What InsertInbox did with a message read from the phone. Either way the message is in
// the database now, so it may be deleted from the phone.
struct InboxInsert {
  int64_t id = 0;
  bool isNew = false;  // false: a row of this very message (a re-read) was there already
};

// An outbox row claimed for sending.
struct OutboxRow {
  int64_t id = 0;
  std::string destination, text;
  int messageClass = -1;  // -1: no class
  bool statusReport = false;
  int attempts = 0;
  int reference = 0;  // concatenation reference, 0 until the first part goes out
  int partsDone = 0;  // parts the phone confirmed in earlier attempts
};

// A status report as read from the phone: which submission it is about (the reference
// the phone gave it and the recipient), the centre's time stamps of the submission and
// of the discharge ("YYYY-MM-DD hh:mm:ss") and the raw status byte (TP-ST).
struct StatusReport {
  std::string phoneId, recipient, submitted, discharged;
  int reference = 0, status = 0;
  int location = 0;  // where the phone keeps it; 0 when not known
};

// An outbox row whose delivery state settled: delivered, failed (the first failed part,
// its status byte and why) or expired (the first part without a final report).
struct DeliverySettled {
  int64_t outboxId = 0;
  std::string phoneId, destination, state, error;
  int part = 0;         // the part that failed or expired; 0 for delivered
  int statusCode = -1;  // its status byte; -1 when no report came
};

// What InsertReport did with a report read from the phone. Either way the report is in
// the database now, so it may be deleted from the phone.
struct ReportInsert {
  int64_t id = 0;
  bool isNew = false;    // false: this very report (a re-read) was stored and paired before
  int64_t outboxId = 0;  // the row of the part it paired with; 0: it paired with nothing
  int part = 0;
  std::optional<DeliverySettled> settled;  // the row's delivery state settled with it
};

// One sent part's state as the delivery state is worked out from it.
struct PartState {
  int part = 0, parts = 0;  // part `part` of `parts`
  std::string status;       // none, awaiting, pending, delivered, failed, expired
  int statusCode = -1;
};

// A part's state after a report with this status byte: delivered (0x00-0x1F), pending
// (0x20-0x3F: the centre is still trying) or failed (0x40 and up).
std::string PartStatusOf(int statusCode);
// The status byte in words ("the recipient's phone is busy (status 0x61)").
std::string StatusWords(int statusCode);
// The delivery state of an outbox row whose report was asked for, from its sent parts:
// failed when a part failed, expired when a part had no final report in time, delivered
// when every part of the message was delivered, else pending. `state` of the result is
// "pending" while it has not settled.
DeliverySettled SettleDelivery(const std::vector<PartState> &parts);

struct PhoneStatus {
  std::string id, imei, model, lastSeen;
  int signal = -1, battery = -1;
};

struct OutboxCounts {
  int64_t queued = 0, sending = 0, sent = 0, failed = 0, unknown = 0;
  // Takes one row of "SELECT status, COUNT(*) ... GROUP BY status".
  void Add(const std::string &status, int64_t n);
};

// Brings the schema to the last of `migrations`, inside the caller's transaction: `run`
// executes one statement, `readVersion` gives the version (-1 before the first),
// `setVersion` records the version reached. A schema newer than this daemon's is
// refused (StoreError).
void RunMigrations(const std::vector<std::string> &migrations, const std::function<void(const std::string &)> &run,
                   const std::function<int()> &readVersion, const std::function<void(int)> &setVersion);
// Whether a schema of `version` (-1: none) needs no migration of `migrations` entries;
// a newer one is refused (StoreError). Read before any write, so that a current
// database is not written to.
bool SchemaIsCurrent(int version, size_t migrations);

// How a command uses the database. The daemon and `inject` create it (directories 0700,
// the file 0600) and migrate it; `status` only reads, never creates or migrates, and also
// works where the user may only read the file. `command` and `read` wait a limited time
// for another program's lock; the daemon waits for PostgreSQL's locks as long as it takes.
enum class Access { kDaemon, kCommand, kRead };

// A fault of an outbox row that no phone could mend: the destination is not a number,
// the text is not UTF-8, holds a NUL character or is too long. Empty when the row can be
// sent as it stands.
std::string OutboxFault(const std::string &destination, const std::string &text);

class Sql;

class Store {
 public:
  virtual ~Store() = default;
  // The store's own connection, for statements written once for both databases.
  virtual Sql &Database() = 0;
  // Creates the schema or brings it to the current version; does not write when the
  // schema is current. A newer schema is refused (StoreError).
  virtual void Migrate() = 0;
  virtual int SchemaVersion() = 0;
  // Stores a message in its own transaction, committed on return. A message is the same
  // one as a row still on the phone with the same phone, location, sender, time stamp,
  // text and part: then that row is returned. Throws StoreError when the message could
  // not be stored (it must stay on the phone).
  virtual InboxInsert InsertInbox(const InboxMessage &message) = 0;
  // The message of this row is (left = true) or is again (false) no longer on the phone:
  // its location may hold another message. Set before the phone is asked to delete it
  // and cleared when the delete fails, so that a crash between the two can only give a
  // second row for the message, never take a new message for it.
  virtual void SetLeftPhone(int64_t id, bool left) = 0;
  // Rows this phone left in "sending" (a crash): marked "unknown", or queued again when
  // `resend` is set. Returns how many.
  virtual int RecoverSending(const std::string &phoneId, bool resend) = 0;
  // Claims the next due row for this phone, or nothing.
  virtual std::optional<OutboxRow> Claim(const std::string &phoneId) = 0;
  // Notes progress through a concatenated message, so a retry goes on from there.
  virtual void RecordProgress(int64_t id, int reference, int partsDone) = 0;
  // The phone confirmed part `part` of `parts` with message reference `messageReference`
  // (-1: the phone gave none): one sent_parts row, awaiting its report when the row asked
  // for one, and the progress through the message, in one transaction.
  virtual void RecordPart(const OutboxRow &row, const std::string &phoneId, int part, int parts,
                          int messageReference) = 0;
  // Stores a status report and pairs it, in its own transaction committed on return: with
  // the most recent part sent from this phone to its recipient under its reference within
  // the last `expirySeconds` (a reference comes round again after 256 sends: the newer
  // part is the one). A report that pairs with nothing is kept all the same. The same
  // report read again while it is still on the phone is found stored, not paired again.
  // Throws StoreError when it could not be stored (it must stay on the phone).
  virtual ReportInsert InsertReport(const StatusReport &report, int expirySeconds) = 0;
  // The report of this row was deleted from the phone: its location may hold another.
  virtual void SetReportLeftPhone(int64_t id) = 0;
  // Parts of this phone still without a final report `expirySeconds` after they were
  // sent become expired; returns the rows whose delivery state settled with it.
  virtual std::vector<DeliverySettled> ExpireParts(const std::string &phoneId, int expirySeconds) = 0;
  // The phone confirmed every part.
  virtual void MarkSent(const OutboxRow &row, const std::string &phoneId, int parts, int result) = 0;
  // The phone refused: back to the queue after `backoffSeconds`, or "failed" when the
  // attempts are used up.
  virtual void MarkRetry(const OutboxRow &row, int result, const std::string &error, int backoffSeconds,
                         int maxAttempts) = 0;
  // The row cannot be sent as it stands: "failed" at once, with the reason.
  virtual void MarkFailed(const OutboxRow &row, int result, const std::string &error) = 0;
  // The phone did not answer: whether it sent the message is not known.
  virtual void MarkUnknown(const OutboxRow &row, int result, const std::string &error) = 0;
  virtual void Heartbeat(const PhoneStatus &status) = 0;
  virtual std::vector<PhoneStatus> Phones() = 0;
  virtual OutboxCounts Counts() = 0;
  virtual int64_t Inject(const std::string &destination, const std::string &text, int messageClass, bool statusReport,
                         int priority) = 0;
};

// sqlite:///absolute/path, sqlite://relative/path, a plain path, or postgresql://...
// (postgres:// too). Throws StoreError.
std::unique_ptr<Store> OpenStore(const std::string &url, Access access = Access::kDaemon);

std::unique_ptr<Store> OpenSqliteStore(const std::string &path, Access access);
std::unique_ptr<Store> OpenPostgresStore(const std::string &conninfo, Access access);

// A 64-bit FNV-1a hash of the text as 16 hex digits: part of the inbox's unique key.
std::string TextHash(const std::string &text);

}  // namespace smsd
