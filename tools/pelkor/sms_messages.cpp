#include "sms_messages.h"

#include <pelkor16.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace pelkor_tool {

namespace {

constexpr int32_t kAllKinds[] = {13, 11, 12};

// A stored outgoing message's bytes: the centre's field (12 bytes), first octet,
// reference, protocol, coding, user-data length, then the recipient's address field
// (digit count, type of number, semi-octet digits).
constexpr size_t kRecipientField = 17;
constexpr size_t kAddressDigitBytes = 10;

// The GSM default alphabet where it matches printable ASCII; '?' for the rest.
char GsmCharacter(uint8_t septet) {
  if (septet == 0x00) return '@';
  if (septet == 0x02) return '$';
  if (septet == 0x0A) return '\n';
  if (septet == 0x11) return '_';
  if (septet >= 0x20 && septet <= 0x5A && septet != 0x24) return static_cast<char>(septet);
  if (septet >= 0x61 && septet <= 0x7A) return static_cast<char>(septet);
  return '?';
}

std::string RecipientOf(int32_t kind, int32_t n) {
  const int32_t size = pelkor_getsmsmsgpdu(kind, n, nullptr, 0);
  if (size <= 0) return "";
  std::vector<uint8_t> pdu(static_cast<size_t>(size));
  if (pelkor_getsmsmsgpdu(kind, n, pdu.data(), size) != size) return "";
  return RecipientFromPdu(pdu.data(), pdu.size());
}

std::string Utf8Field(int32_t (*get)(int32_t, int32_t, char *, int32_t), int32_t kind, int32_t n) {
  char buffer[1024];
  return get(kind, n, buffer, sizeof buffer) == PELKOR_OK ? buffer : "";
}

}  // namespace

bool IsUtf8(const std::string &text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t extra = lead < 0x80                   ? 0
                         : lead >= 0xC2 && lead < 0xE0 ? 1
                         : lead >= 0xE0 && lead < 0xF0 ? 2
                         : lead >= 0xF0 && lead < 0xF5 ? 3
                                                       : 4;
    if (extra == 4 || (extra > 0 && i + extra >= text.size())) return false;
    uint32_t point = extra == 0 ? lead : lead & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = point << 6 | (next & 0x3F);
    }
    const uint32_t least = extra == 2 ? 0x800 : extra == 3 ? 0x10000 : 0;
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

const char *KindName(int32_t kindCode) {
  switch (kindCode) {
    case 11:
      return "sent";
    case 12:
      return "report";
    default:
      return "inbox";
  }
}

int32_t KindCodeOf(const std::string &name) {
  if (name == "inbox") return 13;
  if (name == "sent") return 11;
  if (name == "report" || name == "reports") return 12;
  return -1;
}

std::string StampText(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second) {
  if (year >= 0 && year < 100) year += year >= 90 ? 1900 : 2000;
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
  return stamp;
}

std::string RecipientFromPdu(const uint8_t *pdu, size_t size) {
  if (size < kRecipientField + 2) return "";
  const size_t length = pdu[kRecipientField];  // digits, or semi-octets of a name
  const uint8_t type = pdu[kRecipientField + 1];
  const size_t available = std::min(size - kRecipientField - 2, kAddressDigitBytes);
  const uint8_t *digits = pdu + kRecipientField + 2;
  const size_t octets = std::min((length + 1) / 2, available);
  std::string out;
  if ((type & 0x70) == 0x50) {  // alphanumeric: packed septets
    const size_t septets = octets * 8 / 7;
    for (size_t i = 0; i < septets; ++i) {
      const size_t bit = i * 7;
      unsigned value = digits[bit / 8] >> (bit % 8);
      if (bit % 8 > 1 && bit / 8 + 1 < octets) value |= digits[bit / 8 + 1] << (8 - bit % 8);
      out += GsmCharacter(static_cast<uint8_t>(value & 0x7F));
    }
    while (!out.empty() && (out.back() == '@' || out.back() == '\r')) out.pop_back();  // padding
    return out;
  }
  for (size_t i = 0; i < octets && out.size() < length; ++i) {
    const unsigned nibbles[] = {digits[i] & 0x0Fu, static_cast<unsigned>(digits[i] >> 4)};
    for (const unsigned nibble : nibbles) {
      if (out.size() >= length) break;
      if (nibble <= 9) out += static_cast<char>('0' + nibble);
    }
  }
  if (out.empty()) return "";
  return ((type & 0x70) == 0x10 ? "+" : "") + out;
}

const char *StateName(int32_t kindCode, bool readOrSent) {
  if (kindCode == 11) return readOrSent ? "sent" : "unsent";
  return readOrSent ? "read" : "unread";
}

const char *ReportStatusWord(int32_t status) {
  if (status < 0x20) return "delivered";
  if (status < 0x40) return "pending";
  return "failed";
}

nlohmann::json StoredMessage::ToJson() const {
  nlohmann::json out = {{"location", location}, {"kind", KindName(kindCode)}};
  if (kindCode == 11 || kindCode == 12)
    out["to"] = to;
  else
    out["from"] = from;
  if (kindCode == 12) {
    const auto stamp = [](const std::string &text) { return text.empty() ? nlohmann::json() : nlohmann::json(text); };
    out["reference"] = report.reference;
    out["status"] = ReportStatusWord(report.status);
    out["status_code"] = report.status;
    out["submitted"] = stamp(report.submitted);
    out["discharged"] = stamp(report.discharged);
  }
  out["time"] = time.empty() ? nlohmann::json(nullptr) : nlohmann::json(time);
  out["state"] = StateName(kindCode, read);
  out["text"] = text;
  return out;
}

StoredMessage ListedMessage(int32_t kind, int32_t n) {
  StoredMessage m;
  m.kindCode = kind;
  m.n = n;
  m.location = pelkor_getsmsmsglocation(kind, n);
  m.from = Utf8Field(pelkor_getsmsmsgsender_utf8, kind, n);
  if (kind == 11) m.to = RecipientOf(kind, n);
  if (kind == 12) {
    // A report names the recipient of the message it reports on.
    char recipient[64] = "";
    int32_t submitted[6] = {}, discharged[6] = {};
    if (pelkor_getsmsreportdetails(n, &m.report.reference, recipient, sizeof recipient, submitted, discharged,
                                   &m.report.status) == PELKOR_OK) {
      m.to = recipient;
      if (submitted[1] != 0)
        m.report.submitted =
            StampText(submitted[0], submitted[1], submitted[2], submitted[3], submitted[4], submitted[5]);
      if (discharged[1] != 0)
        m.report.discharged =
            StampText(discharged[0], discharged[1], discharged[2], discharged[3], discharged[4], discharged[5]);
    }
    if (m.to.empty()) m.to = m.from;
  }
  m.text = Utf8Field(pelkor_getsmsmsgtext_utf8, kind, n);
  m.read = getsmssentread(kind, n) == 1;
  int32_t y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  getsmsmsgdatetime(kind, n, &y, &mo, &d, &h, &mi, &s);
  // Stored outgoing messages carry no time at all.
  if (kind != 11 || y + mo + d != 0) m.time = StampText(y, mo, d, h, mi, s);
  return m;
}

std::vector<StoredMessage> ListedMessages(const std::vector<int32_t> &kindCodes) {
  std::vector<StoredMessage> out;
  const std::vector<int32_t> kinds =
      kindCodes.empty() ? std::vector<int32_t>(std::begin(kAllKinds), std::end(kAllKinds)) : kindCodes;
  for (int32_t kind : kinds) {
    const int32_t count = getsmsmsgcount(kind);
    for (int32_t n = 1; n <= count; ++n) out.push_back(ListedMessage(kind, n));
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const StoredMessage &a, const StoredMessage &b) { return a.location < b.location; });
  return out;
}

const StoredMessage *AtLocation(const std::vector<StoredMessage> &messages, int32_t location) {
  for (const StoredMessage &m : messages)
    if (m.location == location) return &m;
  return nullptr;
}

}  // namespace pelkor_tool
