#include "daemon.h"

#include <pelkor16.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <cstdio>
#include <random>
#include <thread>

#include "log.h"

namespace smsd {

std::atomic<bool> stopRequested{false};

namespace {

constexpr int kPauseBetweenPartsMs = 1000;
constexpr int kWatchSliceMs = 200;

std::string Code(int32_t result) { return std::to_string(result) + " (" + pelkor_strerror(result) + ")"; }

// The class and status-report bits of the send functions.
int32_t SendOptions(const OutboxRow &row) {
  int32_t options = row.messageClass >= 0 && row.messageClass <= 3 ? row.messageClass : 0xFFFF;
  if (row.statusReport) options |= PELKOR_SMS_OPTION_STATUS_REPORT;
  return options;
}

// The centre's stamp as "YYYY-MM-DD hh:mm:ss"; a stamp no calendar has (a phone that
// sent zeros) is stored as the epoch, so that the message is still kept.
std::string StampText(int32_t y, int32_t mo, int32_t d, int32_t h, int32_t mi, int32_t s) {
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = y % 4 == 0;  // 2000-2099
  if (y < 0 || y > 99 || mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] || (mo == 2 && d == 29 && !leap) || h < 0 ||
      h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
    return "1970-01-01 00:00:00";
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", 2000 + y, mo, d, h, mi, s);
  return text;
}

// Why the port could not be opened: the system's reason where the port itself cannot
// be opened (no such file, no permission), else the library's.
std::string PortFault(const std::string &port, int32_t result) {
  const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  ::close(fd);
  return Code(result);
}

bool Sleep(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!stopRequested.load()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return true;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(50)));
  }
  return false;
}

// The alphabet a data coding scheme names: the general group 00xx and the message
// class group 1111 (7-bit or 8-bit), and the UCS-2 message-waiting group 1110.
std::string CodingName(int32_t dcs) {
  if ((dcs & 0xC0) == 0x00) {
    const int32_t alphabet = dcs & 0x0C;
    return alphabet == 0x08 ? "ucs2" : alphabet == 0x04 ? "8bit" : "gsm";
  }
  if ((dcs & 0xF0) == 0xF0) return (dcs & 0x04) ? "8bit" : "gsm";
  if ((dcs & 0xF0) == 0xE0) return "ucs2";
  return "gsm";
}

// Coding, class, concatenation and raw bytes of received list entry n, from the library.
void ReadDetails(int32_t n, InboxMessage &m) {
  int32_t coding = 0, messageClass = -1, reference = 0, part = 0, total = 0;
  if (pelkor_getsmsmsgdetails(PELKOR_SMS_RECEIVED, n, &coding, &messageClass, &reference, &part, &total) != PELKOR_OK)
    return;
  m.coding = CodingName(coding);
  if (messageClass >= 0) m.messageClass = messageClass;
  if (total > 0) {
    m.concatReference = reference;
    m.concatPart = part;
    m.concatTotal = total;
  }
  const int32_t size = pelkor_getsmsmsgpdu(PELKOR_SMS_RECEIVED, n, nullptr, 0);
  if (size > 0) {
    m.pdu.resize(static_cast<size_t>(size));
    if (pelkor_getsmsmsgpdu(PELKOR_SMS_RECEIVED, n, m.pdu.data(), size) != size) m.pdu.clear();
  }
}

}  // namespace

Daemon::Daemon(const Config &config, Store &store)
    : config_(config), store_(store), phoneId_(EffectivePhoneId(config)) {}

bool Daemon::OpenPhone(bool once) {
  const int32_t type = config_.connection == "infrared" ? PELKOR_CONNECTION_INFRARED : PELKOR_CONNECTION_CABLE;
  for (;;) {
    const int32_t result = init(config_.port.c_str(), type);
    if (result == PELKOR_OK) {
      if (down_)
        PhoneUp();
      else
        Log(Level::kInfo, "phone " + phoneId_ + " on " + config_.port + " answered");
      return true;
    }
    if (result == PELKOR_NOT_FOUND) {
      // The port is open and the link keeps trying: the phone may come later.
      Log(Level::kWarning, "no answer from the phone on " + config_.port + " yet; the link keeps trying");
      return true;
    }
    terminate();
    PhoneDown("cannot open " + config_.port + ": " + PortFault(config_.port, result));
    if (once || !Sleep(static_cast<int>(config_.pollInterval * 1000))) return false;
  }
}

void Daemon::PhoneDown(const std::string &reason) {
  const auto now = std::chrono::steady_clock::now();
  if (!down_) {
    down_ = true;
    downSince_ = now;
    nextReportMinutes_ = 1;
    Log(Level::kError, reason);
    return;
  }
  const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(now - downSince_).count();
  if (minutes < nextReportMinutes_) return;
  Log(Level::kWarning, "still waiting for the phone (" + std::to_string(minutes) + " min)");
  nextReportMinutes_ = static_cast<int>(minutes) + std::min(static_cast<int>(minutes), 60);
}

void Daemon::PhoneUp() {
  if (!down_) return;
  down_ = false;
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - downSince_).count();
  Log(Level::kInfo, "phone is back on " + config_.port + " after " + std::to_string(seconds) + " s");
}

void Daemon::Heartbeat() {
  PhoneStatus status;
  status.id = phoneId_;
  int32_t signal = -1, battery = -1;
  if (getrflevel(&signal) != PELKOR_OK) {
    PhoneDown("no answer from the phone on " + config_.port);
    return;
  }
  PhoneUp();
  getbatterylevel(&battery);
  char imei[64] = "", model[64] = "";
  getimei(imei, sizeof imei);
  getmodel(model, sizeof model);
  status.imei = imei;
  status.model = model;
  status.signal = signal;
  status.battery = battery;
  try {
    store_.Heartbeat(status);
  } catch (const StoreError &e) {
    Log(Level::kError, std::string("heartbeat: ") + e.what());
  }
}

// Reads the store; each received message is committed to the database before it is
// deleted from the phone, newest list entry first so that the others keep their
// ordinal numbers. A crash between the two leaves a message that the next pass finds
// again, and the inbox's unique key turns that into a no-op.
bool Daemon::ReceivePass() {
  const int32_t scan = updatesmslist();
  if (scan != PELKOR_OK && scan != PELKOR_ERR_SMS_READ) {
    Log(Level::kWarning, "reading the message store: " + Code(scan));
    if (scan == PELKOR_ERR_TIMEOUT) return false;
  }
  // The reports first: the list is as updatesmslist read it only until a delete.
  // The scan ends at the first invalid location when it read the whole store; a full
  // list or a failed read may have left reports unread.
  bool complete = ReportPass(scan == PELKOR_ERR_SMS_READ);
  const int32_t count = getsmsmsgcount(PELKOR_SMS_RECEIVED);
  Log(Level::kDebug, std::to_string(count) + " received messages on the phone");
  for (int32_t n = count; n >= 1 && !stopRequested.load(); --n) {
    InboxMessage m;
    m.phoneId = phoneId_;
    char text[2048] = "", sender[128] = "";
    if (pelkor_getsmsmsgtext_utf8(PELKOR_SMS_RECEIVED, n, text, sizeof text) != PELKOR_OK ||
        pelkor_getsmsmsgsender_utf8(PELKOR_SMS_RECEIVED, n, sender, sizeof sender) != PELKOR_OK)
      continue;
    int32_t y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    getsmsmsgdatetime(PELKOR_SMS_RECEIVED, n, &y, &mo, &d, &h, &mi, &s);
    m.text = text;
    m.sender = sender;
    m.phoneTime = StampText(y, mo, d, h, mi, s);
    const int32_t location = pelkor_getsmsmsglocation(PELKOR_SMS_RECEIVED, n);
    m.location = location;
    ReadDetails(n, m);
    // Only a message that is in the database now, new or found stored as this very
    // message, is deleted from the phone; a failure keeps it there for the next pass.
    InboxInsert stored;
    try {
      stored = store_.InsertInbox(m);
    } catch (const StoreError &e) {
      Log(Level::kError,
          "storing the message at location " + std::to_string(location) + ": " + e.what() + "; it stays on the phone");
      complete = false;
      continue;
    }
    if (stored.isNew) {
      Log(Level::kInfo, "received from " + m.sender + " (location " + std::to_string(location) + "): inbox row " +
                            std::to_string(stored.id));
      if (!config_.runOnReceive.empty()) RunHook(stored.id, m);
    } else {
      Log(Level::kDebug,
          "location " + std::to_string(location) + " is stored already as inbox row " + std::to_string(stored.id));
    }
    if (config_.deleteReceived) {
      // The row is marked as off the phone first: after the delete an equal message that
      // comes to this location is a new one. A crash between mark and delete leaves the
      // message on the phone, to be stored again as a second row: nothing is lost.
      try {
        store_.SetLeftPhone(stored.id, true);
      } catch (const StoreError &e) {
        Log(Level::kWarning, "inbox row " + std::to_string(stored.id) + ": " + e.what() + "; location " +
                                 std::to_string(location) + " stays on the phone");
        complete = false;
        continue;
      }
      const int32_t deleted = deletesmsmsg(PELKOR_SMS_RECEIVED, n);
      if (deleted != PELKOR_OK) {
        Log(Level::kWarning, "deleting location " + std::to_string(location) + ": " + Code(deleted));
        complete = false;
        try {
          store_.SetLeftPhone(stored.id, false);
        } catch (const StoreError &e) {
          Log(Level::kWarning, "inbox row " + std::to_string(stored.id) + " is still on the phone at location " +
                                   std::to_string(location) + ", but noting it failed: " + e.what() +
                                   "; the message will be stored once more");
        }
        continue;
      }
    }
  }
  return complete;
}

int Daemon::ExpirySeconds() const { return std::max(1, static_cast<int>(std::lround(config_.reportExpiry * 3600))); }

// Each report is committed, paired or not, before it is deleted from the phone, newest
// list entry first, and its row is marked off the phone after the delete. A crash
// between the commit and the delete leaves a report that the next pass finds stored
// (its location and fields are the key while it is on the phone), so it is neither
// paired twice nor lost.
bool Daemon::ReportPass(bool wholeList) {
  bool complete = true, allIn = wholeList;
  const int32_t count = getsmsmsgcount(PELKOR_SMS_STATUS_REPORT);
  if (count > 0) Log(Level::kDebug, std::to_string(count) + " status reports on the phone");
  for (int32_t n = count; n >= 1 && !stopRequested.load(); --n) {
    StatusReport r;
    r.phoneId = phoneId_;
    int32_t reference = 0, status = 0, submitted[6] = {}, discharged[6] = {};
    char recipient[128] = "";
    if (pelkor_getsmsreportdetails(n, &reference, recipient, sizeof recipient, submitted, discharged, &status) !=
        PELKOR_OK) {
      allIn = false;  // unreadable: skipped, as a received message is
      continue;
    }
    r.reference = reference;
    r.status = status;
    r.recipient = recipient;
    r.submitted = StampText(submitted[0], submitted[1], submitted[2], submitted[3], submitted[4], submitted[5]);
    r.discharged = StampText(discharged[0], discharged[1], discharged[2], discharged[3], discharged[4], discharged[5]);
    r.location = pelkor_getsmsmsglocation(PELKOR_SMS_STATUS_REPORT, n);
    const std::string where = "status report at location " + std::to_string(r.location);
    ReportInsert stored;
    try {
      stored = store_.InsertReport(r, ExpirySeconds());
    } catch (const StoreError &e) {
      Log(Level::kError, "storing the " + where + ": " + e.what() + "; it stays on the phone");
      complete = false;
      continue;
    }
    if (!stored.isNew) {
      Log(Level::kDebug, where + " is stored already as report row " + std::to_string(stored.id));
    } else if (stored.outboxId == 0) {
      Log(Level::kWarning, where + " (reference " + std::to_string(r.reference) + ", " + r.recipient +
                               ") pairs with no part sent in the last " + std::to_string(ExpirySeconds()) +
                               " s: kept as report row " + std::to_string(stored.id));
    } else {
      Log(Level::kInfo, "report for outbox row " + std::to_string(stored.outboxId) + " part " +
                            std::to_string(stored.part) + ": " + StatusWords(r.status));
    }
    if (stored.settled) {
      Log(Level::kInfo, "outbox row " + std::to_string(stored.settled->outboxId) + ": " + stored.settled->state +
                            (stored.settled->error.empty() ? "" : " (" + stored.settled->error + ")"));
      if (!config_.runOnReport.empty()) RunReportHook(*stored.settled);
    }
    if (!config_.deleteReceived) continue;
    const int32_t deleted = deletesmsmsg(PELKOR_SMS_STATUS_REPORT, n);
    if (deleted != PELKOR_OK) {
      Log(Level::kWarning, "deleting the " + where + ": " + Code(deleted));
      complete = false;
      continue;
    }
    try {
      store_.SetReportLeftPhone(stored.id);
    } catch (const StoreError &e) {
      Log(Level::kWarning,
          "report row " + std::to_string(stored.id) + " is off the phone, but noting it failed: " + e.what());
    }
  }
  // Only once the phone's reports are in: a report waiting on the phone is not overdue.
  if (complete && allIn) {
    try {
      for (const DeliverySettled &d : store_.ExpireParts(phoneId_, ExpirySeconds())) {
        Log(Level::kInfo, "outbox row " + std::to_string(d.outboxId) + ": expired (" + d.error + ")");
        if (!config_.runOnReport.empty()) RunReportHook(d);
      }
    } catch (const StoreError &e) {
      Log(Level::kError, std::string("expiring overdue parts: ") + e.what());
    }
  }
  return complete;
}

void Daemon::RunReportHook(const DeliverySettled &d) {
  if (!reportHooks_)
    reportHooks_ =
        std::make_unique<HookRunner>(config_.runOnReport, config_.hookTimeout, "run_on_report", "outbox row");
  reportHooks_->Enqueue(
      d.outboxId,
      {"SMS_ID=" + std::to_string(d.outboxId), "SMS_PHONE=" + d.phoneId, "SMS_RECIPIENT=" + d.destination,
       "SMS_DELIVERY=" + d.state, "SMS_PART=" + (d.part > 0 ? std::to_string(d.part) : std::string()),
       "SMS_STATUS=" + (d.statusCode >= 0 ? std::to_string(d.statusCode) : std::string()), "SMS_ERROR=" + d.error});
}

void Daemon::SendPass() {
  while (!stopRequested.load()) {
    if (!isalive()) {
      Log(Level::kDebug, "the link is down: the outbox waits");
      return;
    }
    std::optional<OutboxRow> row;
    try {
      row = store_.Claim(phoneId_);
    } catch (const StoreError &e) {
      Log(Level::kError, std::string("claiming from the outbox: ") + e.what());
      return;
    }
    if (!row) return;
    SendRow(*row);
    const int32_t notices = smsreceivedcount();
    if (notices != notices_) {
      notices_ = notices;
      ReceivePass();
    }
  }
}

// Sends the row part by part. A refusal puts it back with a backoff and remembers the
// parts already confirmed, so the retry goes on from the refused part with the same
// reference; no answer at all leaves its fate unknown, and it is not sent again unless
// resend_unknown is set.
void Daemon::SendRow(OutboxRow row) {
  const std::string what = "outbox row " + std::to_string(row.id) + " to " + row.destination;
  try {
    // A row no phone could send as it stands fails at once with its reason, before any
    // part goes out; the library would refuse it for its arguments (22), or take a text
    // or number cut at a NUL character. Only the phone's refusals are retried.
    const std::string fault = OutboxFault(row.destination, row.text);
    if (!fault.empty()) {
      store_.MarkFailed(row, PELKOR_ERR_REFUSED, fault);
      Log(Level::kError, what + ": " + fault + "; marked failed");
      return;
    }
    int32_t parts = 0, ucs2 = 0;
    if (pelkor_smsparts_utf8(row.text.c_str(), &parts, &ucs2) != PELKOR_OK) {
      store_.MarkFailed(row, PELKOR_ERR_REFUSED, "the text needs more than 255 parts");
      Log(Level::kError, what + ": the text cannot be sent; marked failed");
      return;
    }
    if (row.reference == 0) {
      static std::mt19937 random{std::random_device{}()};
      row.reference = static_cast<int>(random() % 255) + 1;
      if (parts > 1) store_.RecordProgress(row.id, row.reference, row.partsDone);
    }
    for (int32_t part = row.partsDone + 1; part <= parts; ++part) {
      if (part > row.partsDone + 1) Sleep(kPauseBetweenPartsMs);
      const int32_t result = pelkor_sendsmspart_utf8(row.destination.c_str(), row.text.c_str(), config_.centre,
                                                     SendOptions(row), row.reference, part);
      if (result == PELKOR_ERR_TIMEOUT) {
        store_.MarkUnknown(row, result, "no answer from the phone while sending part " + std::to_string(part));
        Log(Level::kWarning, what + ": no answer while sending part " + std::to_string(part) + " of " +
                                 std::to_string(parts) + "; marked unknown");
        return;
      }
      if (result != PELKOR_OK) {
        const int backoff = RetryDelay(config_.retryBackoff, row.attempts);
        if (part > 1) store_.RecordProgress(row.id, row.reference, part - 1);
        store_.MarkRetry(row, result, pelkor_strerror(result), backoff, config_.maxAttempts);
        Log(Level::kWarning,
            what + ": part " + std::to_string(part) + " refused: " + Code(result) +
                (row.attempts + 1 >= config_.maxAttempts ? "; marked failed"
                                                         : "; retry in " + std::to_string(backoff) + " s"));
        return;
      }
      // The reference the phone gave this part, which its status report will carry.
      int32_t messageReference = -1;
      if (pelkor_getsendreferences(&messageReference, 1) != 1) messageReference = -1;
      store_.RecordPart(row, phoneId_, part, parts, messageReference);
    }
    store_.MarkSent(row, phoneId_, parts, PELKOR_OK);
    Log(Level::kInfo, what + ": sent in " + std::to_string(parts) + (parts == 1 ? " part" : " parts"));
  } catch (const StoreError &e) {
    // The row stays "sending"; the next start marks it unknown.
    Log(Level::kError, what + ": " + e.what());
  }
}

void Daemon::RunHook(int64_t id, const InboxMessage &m) {
  if (!hooks_) hooks_ = std::make_unique<HookRunner>(config_.runOnReceive, config_.hookTimeout);
  hooks_->Enqueue(id, {"SMS_ID=" + std::to_string(id), "SMS_PHONE=" + m.phoneId, "SMS_SENDER=" + m.sender,
                       "SMS_TEXT=" + m.text, "SMS_TIME=" + m.phoneTime, "SMS_CODING=" + m.coding});
}

bool Daemon::WaitForWork(double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
  while (!stopRequested.load() && std::chrono::steady_clock::now() < end) {
    if (!Sleep(kWatchSliceMs)) return false;
    const int32_t notices = smsreceivedcount();
    if (notices != notices_) {
      notices_ = notices;
      return true;
    }
  }
  return false;
}

int Daemon::Run(bool once) {
  try {
    const int recovered = store_.RecoverSending(phoneId_, config_.resendUnknown);
    if (recovered > 0)
      Log(Level::kWarning, std::to_string(recovered) + " outbox rows were being sent when the daemon stopped: " +
                               (config_.resendUnknown ? "queued again" : "marked unknown"));
  } catch (const StoreError &e) {
    Log(Level::kError, e.what());
    return 1;
  }
  if (!OpenPhone(once)) {
    return stopRequested.load() ? 0 : 1;
  }
  notices_ = smsreceivedcount();
  int status = 0;
  while (!stopRequested.load()) {
    Heartbeat();
    const bool received = ReceivePass();
    SendPass();
    if (once) {
      status = received ? 0 : 1;
      if (hooks_) hooks_->Drain();
      if (reportHooks_) reportHooks_->Drain();
      break;
    }
    while (WaitForWork(config_.pollInterval)) {
      ReceivePass();
      SendPass();
    }
  }
  hooks_.reset();  // a command still running is ended with its group
  reportHooks_.reset();
  terminate();
  Log(Level::kInfo, "stopped");
  return status;
}

}  // namespace smsd
