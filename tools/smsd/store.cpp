#include "store.h"

#include <pelkor16.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace smsd {

std::string TextHash(const std::string &text) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

void OutboxCounts::Add(const std::string &status, int64_t n) {
  if (status == "queued") queued = n;
  if (status == "sending") sending = n;
  if (status == "sent") sent = n;
  if (status == "failed") failed = n;
  if (status == "unknown") unknown = n;
}

namespace {

// Well-formed UTF-8: no stray continuation byte, no overlong form, no surrogate, nothing
// above U+10FFFF.
bool IsUtf8(const std::string &text) {
  const auto *p = reinterpret_cast<const unsigned char *>(text.data());
  const auto *end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    size_t length = 0;
    uint32_t code = 0, minimum = 0;
    if (c < 0x80) {
      ++p;
      continue;
    }
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2, code = c & 0x1F, minimum = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3, code = c & 0x0F, minimum = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4, code = c & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (static_cast<size_t>(end - p) < length) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((p[k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (p[k] & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    p += length;
  }
  return true;
}

}  // namespace

std::string OutboxFault(const std::string &destination, const std::string &text) {
  // The library takes the number as "+" and up to 20 digits; anything else it refuses
  // (a shell line, a space, a NUL that would cut the number short).
  if (destination.empty()) return "destination is empty";
  const size_t first = destination[0] == '+' ? 1 : 0;
  size_t digits = 0;
  for (size_t i = first; i < destination.size(); ++i) {
    if (destination[i] < '0' || destination[i] > '9') return "destination has characters a number cannot have";
    ++digits;
  }
  if (digits == 0) return "destination has no digits";
  if (digits > 20) return "destination has more than 20 digits";
  // The text reaches the library as a C string: a NUL would end it there.
  if (text.find('\0') != std::string::npos) return "the text has a NUL character, which a message cannot carry";
  if (!IsUtf8(text)) return "the text is not UTF-8";
  int32_t parts = 0;
  if (pelkor_smsparts_utf8(text.c_str(), &parts, nullptr) != PELKOR_OK) return "the text needs more than 255 parts";
  return {};
}

std::string PartStatusOf(int statusCode) {
  if (statusCode < 0x20) return "delivered";
  if (statusCode < 0x40) return "pending";
  return "failed";
}

std::string StatusWords(int statusCode) {
  // The values the centre gives (TP-ST); the rest by their range.
  static const struct {
    int code;
    const char *words;
  } kKnown[] = {
      {0x00, "received by the recipient"},
      {0x01, "forwarded, delivery not confirmed"},
      {0x02, "replaced by the centre"},
      {0x20, "congestion, the centre is still trying"},
      {0x21, "the recipient's phone is busy, the centre is still trying"},
      {0x22, "no answer from the recipient's phone, the centre is still trying"},
      {0x23, "service rejected, the centre is still trying"},
      {0x24, "quality of service not available, the centre is still trying"},
      {0x25, "error in the recipient's phone, the centre is still trying"},
      {0x40, "remote procedure error"},
      {0x41, "incompatible destination"},
      {0x42, "connection rejected by the recipient"},
      {0x43, "the recipient cannot be reached"},
      {0x44, "quality of service not available"},
      {0x45, "no interworking available"},
      {0x46, "the message's validity period expired"},
      {0x47, "deleted by the sender"},
      {0x48, "deleted by the centre's administration"},
      {0x49, "the message does not exist"},
      {0x60, "congestion, the centre gave up"},
      {0x61, "the recipient's phone is busy, the centre gave up"},
      {0x62, "no answer from the recipient's phone, the centre gave up"},
      {0x63, "service rejected, the centre gave up"},
      {0x64, "quality of service not available, the centre gave up"},
      {0x65, "error in the recipient's phone, the centre gave up"},
  };
  std::string words;
  for (const auto &known : kKnown)
    if (known.code == statusCode) words = known.words;
  if (words.empty()) {
    const std::string status = PartStatusOf(statusCode);
    words = status == "delivered" ? "delivered" : status == "pending" ? "the centre is still trying" : "not delivered";
  }
  char code[16];
  std::snprintf(code, sizeof code, "0x%02X", statusCode & 0xFF);
  return words + " (status " + code + ")";
}

DeliverySettled SettleDelivery(const std::vector<PartState> &parts) {
  DeliverySettled d;
  d.state = "pending";
  const PartState *failed = nullptr, *expired = nullptr;
  int delivered = 0, total = 0;
  for (const PartState &p : parts) {
    total = std::max(total, p.parts);
    if (p.status == "failed" && (!failed || p.part < failed->part)) failed = &p;
    if (p.status == "expired" && (!expired || p.part < expired->part)) expired = &p;
    if (p.status == "delivered") ++delivered;
  }
  if (failed) {
    d.state = "failed";
    d.part = failed->part;
    d.statusCode = failed->statusCode;
    d.error = "part " + std::to_string(failed->part) + ": " + StatusWords(failed->statusCode);
  } else if (expired) {
    d.state = "expired";
    d.part = expired->part;
    d.statusCode = expired->statusCode;
    d.error = "part " + std::to_string(expired->part) + ": no final report in time" +
              (expired->statusCode >= 0 ? " (last: " + StatusWords(expired->statusCode) + ")" : "");
  } else if (total > 0 && delivered == total && static_cast<int>(parts.size()) == total) {
    d.state = "delivered";
  }
  return d;
}

bool SchemaIsCurrent(int version, size_t migrations) {
  if (version > static_cast<int>(migrations))
    throw StoreError("the database has schema version " + std::to_string(version) + ", newer than this daemon's " +
                     std::to_string(migrations));
  return version == static_cast<int>(migrations);
}

void RunMigrations(const std::vector<std::string> &migrations, const std::function<void(const std::string &)> &run,
                   const std::function<int()> &readVersion, const std::function<void(int)> &setVersion) {
  run("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
  int version = readVersion();
  if (version < 0) {
    run("INSERT INTO schema_version (version) VALUES (0)");
    version = 0;
  }
  if (version > static_cast<int>(migrations.size()))
    throw StoreError("the database has schema version " + std::to_string(version) + ", newer than this daemon's " +
                     std::to_string(migrations.size()));
  for (size_t v = static_cast<size_t>(version); v < migrations.size(); ++v) {
    run(migrations[v]);
    setVersion(static_cast<int>(v + 1));
  }
}

std::unique_ptr<Store> OpenStore(const std::string &url, Access access) {
  auto starts = [&](const char *prefix) { return url.rfind(prefix, 0) == 0; };
  if (starts("postgresql://") || starts("postgres://")) return OpenPostgresStore(url, access);
  if (starts("sqlite://")) return OpenSqliteStore(url.substr(9), access);
  if (url.find("://") != std::string::npos)
    throw StoreError("unknown database URL (sqlite:// or postgresql://): " + url);
  return OpenSqliteStore(url, access);
}

}  // namespace smsd
