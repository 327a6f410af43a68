#include "kannel.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "auth.h"
#include "crypto.h"
#include "gateway.h"
#include "log.h"
#include "sql.h"
#include "store.h"
#include "webhooks.h"

namespace smsd {
namespace {

constexpr size_t kMaxRecipients = 100;
constexpr int64_t kPhoneUpSeconds = 30;   // a phone whose heartbeat is older counts as down
constexpr int64_t kMaxValidity = 635040;  // minutes: the 63 weeks a message may wait at most
constexpr auto kPasswordKept = std::chrono::minutes(1);

// Passwords checked lately, by the SHA-256 of user and password: the hash is slow on
// purpose, and a busy sender gives the same pair with every message. An entry holds the
// stored hash it was checked against, so that a user removed or given a new password
// is not let in on the old one.
class PasswordCache {
 public:
  struct Entry {
    Principal who;
    std::string storedHash;
    std::chrono::steady_clock::time_point until;
  };
  std::optional<Entry> Find(const std::string &key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(key);
    if (it == entries_.end()) return std::nullopt;
    if (std::chrono::steady_clock::now() >= it->second.until) {
      entries_.erase(it);
      return std::nullopt;
    }
    return it->second;
  }
  void Keep(const std::string &key, const Principal &who, const std::string &storedHash) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (entries_.size() > 1000) entries_.clear();  // bounded, whatever the callers try
    entries_[key] = {who, storedHash, std::chrono::steady_clock::now() + kPasswordKept};
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::string, Entry> entries_;
};

PasswordCache &Passwords() {
  static PasswordCache cache;
  return cache;
}

void Answer(httplib::Response &response, int status, const std::string &text) {
  response.status = status;
  response.set_content(text + "\n", "text/plain; charset=utf-8");
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string FormDecoded(const std::string &text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

void AppendUtf8(std::string &out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// A whole number within [low, high] (Kannel's numeric fields); nothing otherwise.
std::optional<int64_t> NumberIn(const std::string &text, int64_t low, int64_t high) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

// The request's fields: the query's, and a form body's.
std::map<std::string, std::string> FieldsOf(const httplib::Request &request) {
  std::map<std::string, std::string> fields;
  for (const auto &[name, value] : request.params) fields.emplace(name, value);
  const std::string type = Lower(request.get_header_value("Content-Type"));
  if (request.method == "POST" && type.rfind("application/x-www-form-urlencoded", 0) == 0)
    for (const auto &[name, value] : ParseForm(request.body)) fields.emplace(name, value);
  return fields;
}

std::string FieldOf(const std::map<std::string, std::string> &fields, const char *name, const char *alias = nullptr) {
  auto it = fields.find(name);
  if (it == fields.end() && alias != nullptr) it = fields.find(alias);
  return it == fields.end() ? std::string() : it->second;
}

bool Has(const std::map<std::string, std::string> &fields, const char *name, const char *alias = nullptr) {
  return fields.count(name) > 0 || (alias != nullptr && fields.count(alias) > 0);
}

std::string StoredHashOf(Sql &sql, const std::string &name) {
  const SqlRows rows = sql.Query("SELECT password_hash FROM users WHERE name = $1", SqlParams().Add(name));
  return rows.empty() ? std::string() : rows[0].Text(0);
}

std::optional<Principal> CheckUser(Sql &sql, const std::string &name, const std::string &password) {
  const std::string key = Sha256Hex(name + '\0' + password);
  const std::string stored = StoredHashOf(sql, name);
  if (stored.empty()) return std::nullopt;
  if (auto kept = Passwords().Find(key); kept && ConstantTimeEquals(kept->storedHash, stored)) return kept->who;
  std::optional<Principal> who = CheckPassword(sql, name, password);
  if (who) Passwords().Keep(key, *who, stored);
  return who;
}

void SendSms(Call &call) {
  const std::map<std::string, std::string> fields = FieldsOf(call.request);
  httplib::Response &res = call.response;
  Sql &sql = call.db.sql();
  try {
    const std::string user = FieldOf(fields, "username", "user"), password = FieldOf(fields, "password", "pass");
    if (user.empty() || password.empty() || !CheckUser(sql, user, password))
      return Answer(res, 403, "Authorization failed for sendsms");

    if (!Has(fields, "to")) return Answer(res, 400, "Missing receiver number, rejected");
    std::vector<std::string> numbers;
    {
      const std::string to = FieldOf(fields, "to");
      size_t at = 0;
      while (at < to.size()) {
        const size_t end = std::min(to.find(' ', at), to.size());
        if (end > at) numbers.push_back(to.substr(at, end - at));
        at = end + 1;
      }
    }
    if (numbers.empty()) return Answer(res, 400, "Empty receiver number not allowed, rejected");
    if (numbers.size() > kMaxRecipients) return Answer(res, 400, "More than 100 receivers, rejected");
    if (!Has(fields, "text")) return Answer(res, 400, "Missing text, rejected");
    const std::optional<std::string> text = TextAsUtf8(FieldOf(fields, "text"), FieldOf(fields, "charset"));
    if (!text) return Answer(res, 400, "Unsupported charset or text not in it, rejected");

    std::optional<int64_t> coding = 0, mclass, validity, priority = 0, mask = 0;
    if (Has(fields, "coding") && !(coding = NumberIn(FieldOf(fields, "coding"), 0, 2)))
      return Answer(res, 400, "Invalid coding value, rejected");
    if (Has(fields, "mclass") && !(mclass = NumberIn(FieldOf(fields, "mclass"), 0, 3)))
      return Answer(res, 400, "Invalid mclass value, rejected");
    if (Has(fields, "validity") && !(validity = NumberIn(FieldOf(fields, "validity"), 1, kMaxValidity)))
      return Answer(res, 400, "Invalid validity value, rejected");
    if (Has(fields, "priority") && !(priority = NumberIn(FieldOf(fields, "priority"), 0, 3)))
      return Answer(res, 400, "Invalid priority value, rejected");
    if (Has(fields, "dlr-mask") && !(mask = NumberIn(FieldOf(fields, "dlr-mask"), 0, 31)))
      return Answer(res, 400, "Invalid dlr-mask value, rejected");
    const std::string dlrUrl = FieldOf(fields, "dlr-url");
    if (!dlrUrl.empty()) {
      if (std::string fault = WebhookUrlFault(dlrUrl); !fault.empty())
        return Answer(res, 400, "Invalid dlr-url (" + fault + "), rejected");
    }
    for (const std::string &number : numbers)
      if (std::string fault = OutboxFault(number, *text); !fault.empty())
        return Answer(res, 400, "Invalid message (" + EscapeControls(fault) + "), rejected");

    static const char *const kCodings[] = {"gsm", "8bit", "ucs2"};
    // Delivered, failed and buffered come from the phone's status reports: ask for them.
    const bool report = (*mask & 7) != 0;
    sql.InTransaction([&] {
      for (const std::string &number : numbers) {
        SqlParams p;
        p.Add(number).Add(*text);
        if (mclass)
          p.Add(*mclass);
        else
          p.Null();
        p.Add(report ? "1" : "0").Add(*priority);
        if (validity)
          p.Add(*validity);
        else
          p.Null();
        p.Add(kCodings[*coding]);
        if (dlrUrl.empty())
          p.Null();
        else
          p.Add(dlrUrl);
        p.Add(dlrUrl.empty() ? int64_t{0} : *mask);
        sql.Query(
            "INSERT INTO outbox (destination, text, class, status_report, priority, validity_minutes, coding, dlr_url, "
            "dlr_mask) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9)",
            p);
      }
    });
    const SqlRows up =
        sql.Query("SELECT COUNT(*) FROM phones WHERE " + sql.EpochOf("last_seen") + " >= CAST($1 AS BIGINT)",
                  SqlParams().Add(UnixNow() - kPhoneUpSeconds));
    if (!up.empty() && up[0].Int(0) > 0) return Answer(res, 202, "0: Accepted for delivery");
    Answer(res, 202, "3: Queued for later delivery");
  } catch (const StoreError &e) {
    call.db.Broken();
    Log(Level::kError, std::string("serve: /cgi-bin/sendsms: ") + e.what());
    Answer(res, 503, "Temporary failure, try again later");
  }
}

}  // namespace

std::optional<std::string> TextAsUtf8(const std::string &bytes, const std::string &charset) {
  const std::string name = Lower(charset);
  if (name.empty() || name == "utf-8" || name == "utf8") {
    // Checked by the caller with the rest of the message (OutboxFault).
    return bytes;
  }
  if (name == "iso-8859-1" || name == "iso8859-1" || name == "latin1" || name == "iso_8859-1") {
    std::string out;
    for (unsigned char c : bytes) AppendUtf8(out, c);
    return out;
  }
  if (name == "utf-16be" || name == "utf-16") {
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 2) {
      uint32_t unit =
          static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 8 | static_cast<unsigned char>(bytes[i + 1]);
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        if (i + 3 >= bytes.size()) return std::nullopt;
        const uint32_t low = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 2])) << 8 |
                             static_cast<unsigned char>(bytes[i + 3]);
        if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        return std::nullopt;
      }
      AppendUtf8(out, unit);
    }
    return out;
  }
  return std::nullopt;
}

std::map<std::string, std::string> ParseForm(const std::string &body) {
  std::map<std::string, std::string> fields;
  size_t at = 0;
  while (at < body.size()) {
    const size_t end = std::min(body.find('&', at), body.size());
    const std::string pair = body.substr(at, end - at);
    const size_t equals = pair.find('=');
    if (!pair.empty())
      fields.emplace(FormDecoded(pair.substr(0, equals)),
                     equals == std::string::npos ? std::string() : FormDecoded(pair.substr(equals + 1)));
    at = end + 1;
  }
  return fields;
}

void AddKannelRoutes(Gateway &gateway) {
  gateway.Route("GET", "/cgi-bin/sendsms", "/cgi-bin/sendsms", Allow::kAnyone, SendSms);
  gateway.Route("POST", "/cgi-bin/sendsms", "/cgi-bin/sendsms", Allow::kAnyone, SendSms);
}

}  // namespace smsd
