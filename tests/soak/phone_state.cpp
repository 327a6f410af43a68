// The simulated phone's starting state, and reading its state document.
#include "phone_state.h"

#include <pelkor16.h>

#include <algorithm>
#include <cstdio>

namespace pelkor_soak {

using nlohmann::json;

const char *const kInitialState = R"({
  "sms": {
    "capacity": 10,
    "messages": [
      {"location": 1, "kind": "received", "read": true, "sender": "+358401234567", "time": [24, 6, 1, 12, 30, 5],
       "text": "A received message long enough that the phone's answer to reading it takes two frames on the line: the soak reads it back and compares every single character."},
      {"location": 2, "kind": "received", "read": false, "sender": "+358409876543", "text": "Short unread message"},
      {"location": 3, "kind": "sent", "read": true, "recipient": "+358401111111", "text": "Stored outgoing message text"},
      {"location": 4, "kind": "report", "recipient": "+358402222222", "status": 0},
      {"location": 5, "kind": "received", "coding": "ucs2", "sender": "+358403333333", "text": "Hi there"},
      {"location": 7, "kind": "received", "sender": "+358404444444", "header": "050003010201",
       "text": "First part of a concatenated message"}
    ]
  }
})";

// Seconds since the epoch of a calendar time taken as UTC.
std::time_t SecondsOf(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return timegm(&tm);
}

std::vector<uint8_t> ParseHex(const std::string &text) {
  std::vector<uint8_t> bytes;
  int nibbles = 0, value = 0;
  for (char c : text) {
    int v = -1;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    if (v < 0) continue;
    value = value * 16 + v;
    if (++nibbles == 2) {
      bytes.push_back(static_cast<uint8_t>(value));
      nibbles = value = 0;
    }
  }
  return bytes;
}

std::string Hex(const std::vector<uint8_t> &bytes) {
  std::string out;
  char two[4];
  for (uint8_t b : bytes) {
    std::snprintf(two, sizeof two, "%02X", b);
    out += two;
  }
  return out;
}

const json *At(const json &root, const std::string &pointer) {
  const json::json_pointer p(pointer);
  return root.contains(p) ? &root.at(p) : nullptr;
}

std::string TextAt(const json &root, const std::string &pointer) {
  const json *v = At(root, pointer);
  return v != nullptr && v->is_string() ? v->get<std::string>() : std::string();
}

int IntAt(const json &root, const std::string &pointer, int fallback) {
  const json *v = At(root, pointer);
  return v != nullptr && v->is_number() ? v->get<int>() : fallback;
}

// ---- the SMS store ------------------------------------------------------------------------------

std::vector<StoredMessage> StoreOf(const json &state) {
  std::vector<StoredMessage> out;
  const json *messages = At(state, "/sms/messages");
  if (messages == nullptr || !messages->is_array()) return out;
  for (const json &m : *messages) {
    if (!m.is_object()) continue;
    StoredMessage s;
    s.location = m.value("location", 0);
    s.kind = m.value("kind", "received");
    s.coding = m.value("coding", "gsm");
    s.text = m.value("text", "");
    s.party = m.value(s.kind == "received" || s.kind == "other" ? "sender" : "recipient", "");
    s.status = m.value("status", 0);
    if (s.location >= 1 && s.location <= kStoreCapacity) out.push_back(s);
  }
  std::sort(out.begin(), out.end(),
            [](const StoredMessage &a, const StoredMessage &b) { return a.location < b.location; });
  return out;
}

int KindCode(const std::string &kind) {
  return kind == "sent" ? 11 : kind == "report" ? 12 : kind == "received" ? 13 : 0;
}

std::string ReportText(int status) {
  if (status < 3) return "Delivered";
  if (status & 0x40) return "Failed";
  if (status & 0x20) return "Pending";
  return "Unknown";
}

// ---- logos --------------------------------------------------------------------------------------

int Width(int kind) { return kind == PELKOR_LOGO_STARTUP ? 84 : 72; }
int Height(int kind) { return kind == PELKOR_LOGO_STARTUP ? 48 : 14; }

// Where a pixel's bit lives, as the phone keeps the bitmap.
std::pair<size_t, int> BitOf(int kind, int x, int y) {
  if (kind == PELKOR_LOGO_STARTUP) return {static_cast<size_t>(x + (y / 8) * 84), y % 8};
  return {static_cast<size_t>(y * 9 + x / 8), 7 - x % 8};
}

std::string LogoSlot(int kind, int group) {
  return kind == PELKOR_LOGO_STARTUP    ? "/logos/startup"
         : kind == PELKOR_LOGO_OPERATOR ? "/logos/operator"
                                        : "/logos/caller_groups/" + std::to_string(group);
}

// ---- the phonebook ------------------------------------------------------------------------------

int MemoryCode(int type) { return type == kPhoneMemory ? 2 : type == kSimMemory ? 3 : 8; }
int CapacityOf(int type) { return type == kPhoneMemory ? kCapacityPhone : type == kSimMemory ? kCapacitySim : 0; }

}  // namespace pelkor_soak
