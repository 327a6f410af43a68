// The SMS store: messages at locations 1 ... /sms/capacity, read, deleted and counted
// as the phone does over FBUS (message type 0x14).
//
// A message in /sms/messages is an object:
//   location  1 ... capacity (required)
//   kind      "received" (default), "sent" (stored outgoing), "report" (status report)
//             or "other"
//   read      false: unread (received) or not yet sent (outgoing); default true
//   centre    message-centre number; sender (received) or recipient (sent, report):
//             a number, or any other text for an alphanumeric sender
//   time      [yy, mm, dd, hh, mi, ss] (report: the centre's time stamp of the
//             submission); report only: discharge_time (default: time), status
//             (its status byte), reference (the submission's message reference)
//   coding    "gsm" (default), "8bit" or "ucs2"; class 0-3 or absent
//   text      UTF-8 text (gsm, ucs2); data: hex user data (8bit, ucs2)
//   header    hex user data header, its length byte first
//   udl       overrides the user data length; truncate: bytes cut off the reply's end
//
// A new message arrives by adding it here and sending the arrival notice
// (type 0x02: 01 08 00 10 02 <location>). /sms/refuse_counts makes the phone refuse
// the counts query.
#include <string>

#include <initializer_list>
#include <sstream>

#include "dispatch.h"
#include "sms_state.h"
#include "frame_codec.h"
#include "sms_network.h"
#include "sms_pdu.h"

namespace phonesim {

namespace {

using nlohmann::json;
using namespace sms_state;

constexpr uint8_t kStoreType = 0x14;

json *MessagesOf(PhoneState &state) {
  json &root = state.Json();
  if (!root.contains("sms") || !root["sms"].is_object()) return nullptr;
  json &sms = root["sms"];
  if (!sms.contains("messages") || !sms["messages"].is_array()) return nullptr;
  return &sms["messages"];
}

int FieldInt(const json &object, const char *key, int fallback) {
  if (!object.contains(key) || !object[key].is_number()) return fallback;
  return object[key].get<int>();
}

std::string FieldText(const json &object, const char *key, const std::string &fallback) {
  if (!object.contains(key) || !object[key].is_string()) return fallback;
  return object[key].get<std::string>();
}

std::vector<uint8_t> FieldHex(const json &object, const char *key) {
  std::vector<uint8_t> bytes;
  if (object.contains(key) && object[key].is_string()) ParseHex(object[key].get<std::string>(), bytes);
  return bytes;
}

// Index in /sms/messages of the message at `location`, or -1.
long FindMessage(const json &messages, int location) {
  for (size_t i = 0; i < messages.size(); ++i)
    if (messages[i].is_object() && FieldInt(messages[i], "location", -1) == location) return static_cast<long>(i);
  return -1;
}

bool ValidLocation(const PhoneState &state, int location) {
  return location >= 1 && location <= state.Integer(kCapacity, 15, 0, 255);
}

struct UserData {
  uint8_t dcs = 0;
  uint8_t udl = 0;
  std::vector<uint8_t> bytes;
  bool hasHeader = false;
};

UserData BuildUserData(const json &m) {
  UserData ud;
  const std::string codingName = FieldText(m, "coding", "gsm");
  const sms::Coding coding = codingName == "ucs2"   ? sms::Coding::kUcs2
                             : codingName == "8bit" ? sms::Coding::kEightBit
                                                    : sms::Coding::kGsm;
  std::optional<int> messageClass;
  if (m.contains("class") && m["class"].is_number()) messageClass = m["class"].get<int>() & 0x03;
  ud.dcs = sms::EncodeCoding(coding, messageClass);

  const std::vector<uint8_t> header = FieldHex(m, "header");
  ud.hasHeader = !header.empty();
  ud.bytes = header;
  size_t units = 0;
  if (coding == sms::Coding::kGsm) {
    const auto codes = sms::GsmCodes(FieldText(m, "text", ""));
    const size_t skip = header.empty() ? 0 : sms::HeaderSeptets(header.size());
    sms::PackSeptetsAt(ud.bytes, 7 * skip, codes);
    units = skip + codes.size();
  } else {
    std::vector<uint8_t> payload = FieldHex(m, "data");
    if (payload.empty() && coding == sms::Coding::kUcs2) payload = sms::Ucs2Bytes(FieldText(m, "text", ""));
    ud.bytes.insert(ud.bytes.end(), payload.begin(), payload.end());
    units = ud.bytes.size();
  }
  ud.udl = static_cast<uint8_t>(FieldInt(m, "udl", static_cast<int>(std::min<size_t>(units, 255))));
  return ud;
}

// The time stamp at `key` ([yy, mm, dd, hh, mi, ss]; what is missing stays at its
// default), swapped-nibble bytes and a zero time zone.
std::vector<uint8_t> TimeStamp(const json &m, const char *key = "time") {
  std::vector<int> parts = {24, 6, 1, 12, 30, 0};
  if (m.contains(key) && m[key].is_array()) {
    for (size_t i = 0; i < parts.size() && i < m[key].size(); ++i)
      if (m[key][i].is_number()) parts[i] = m[key][i].get<int>();
  }
  std::vector<uint8_t> stamp;
  for (int part : parts) stamp.push_back(sms::SwappedBcd(part));
  stamp.push_back(0x00);  // time zone
  return stamp;
}

// The read answer (command 0x08) for a stored message.
// The number of message centre 1, which a stored message without a centre of its own
// went through.
std::string FirstCentre(const PhoneState &state) { return state.Text(kFirstCentreNumber, ""); }

std::vector<uint8_t> ReadReply(const json &m, uint8_t location, const std::string &defaultCentre) {
  const std::string kind = FieldText(m, "kind", "received");
  const bool read = !m.contains("read") || !m["read"].is_boolean() || m["read"].get<bool>();
  uint8_t messageType = 0x00;
  uint8_t status = read ? 0x01 : 0x03;
  if (kind == "report") messageType = 0x01;
  if (kind == "sent") {
    messageType = 0x02;
    status = read ? 0x05 : 0x07;
  }
  if (kind == "other") messageType = 0x03;

  std::vector<uint8_t> reply = {0x01, 0x08, 0x00, 0x08, status, location, 0x00, messageType};
  const sms::Address centre = sms::EncodeAddress(FieldText(m, "centre", defaultCentre));
  const auto centreField = sms::AddressField(centre, static_cast<uint8_t>(centre.digits.size() + 1));
  reply.insert(reply.end(), centreField.begin(), centreField.end());  // bytes 8-19

  const std::string party = FieldText(m, kind == "received" || kind == "other" ? "sender" : "recipient", "");
  const sms::Address address = sms::EncodeAddress(party);
  const auto addressField = sms::AddressField(address, address.length);
  const auto stamp = TimeStamp(m);

  if (kind == "report") {
    // First octet, reference, status, recipient, centre time stamp, discharge time.
    reply.push_back(0x06);
    reply.push_back(static_cast<uint8_t>(FieldInt(m, "reference", 0)));
    reply.push_back(static_cast<uint8_t>(FieldInt(m, "status", 0)));
    reply.insert(reply.end(), addressField.begin(), addressField.end());
    reply.insert(reply.end(), stamp.begin(), stamp.end());
    // A report without a discharge time of its own was discharged when submitted.
    const auto discharged = TimeStamp(m, m.contains("discharge_time") ? "discharge_time" : "time");
    reply.insert(reply.end(), discharged.begin(), discharged.end());
  } else {
    const UserData ud = BuildUserData(m);
    const uint8_t headerFlag = ud.hasHeader ? 0x40 : 0x00;
    if (kind == "sent") {
      // First octet, reference, protocol, coding, length, recipient, validity + spare.
      reply.insert(reply.end(), {static_cast<uint8_t>(0x11 | headerFlag), 0x00, 0x00, ud.dcs, ud.udl});
      reply.insert(reply.end(), addressField.begin(), addressField.end());
      reply.insert(reply.end(), {0xA9, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
    } else {
      // First octet, protocol, coding, length, sender, centre time stamp.
      reply.insert(reply.end(), {static_cast<uint8_t>(0x04 | headerFlag), 0x00, ud.dcs, ud.udl});
      reply.insert(reply.end(), addressField.begin(), addressField.end());
      reply.insert(reply.end(), stamp.begin(), stamp.end());
    }
    reply.insert(reply.end(), ud.bytes.begin(), ud.bytes.end());
  }
  const int cut = FieldInt(m, "truncate", 0);
  if (cut > 0) reply.resize(reply.size() > static_cast<size_t>(cut) ? reply.size() - static_cast<size_t>(cut) : 0);
  return reply;
}

void HandleRead(const Request &request, PhoneState &state, Replies &replies) {
  const uint8_t location = request.At(5);
  if (!ValidLocation(state, location)) {
    replies.Send(kStoreType, {0x01, 0x08, 0x00, 0x09, 0x02, location});
    return;
  }
  json *messages = MessagesOf(state);
  const long index = messages == nullptr ? -1 : FindMessage(*messages, location);
  if (index < 0) {
    replies.Send(kStoreType, {0x01, 0x08, 0x00, 0x09, 0x07, location});
    return;
  }
  replies.Send(kStoreType, ReadReply((*messages)[static_cast<size_t>(index)], location, FirstCentre(state)));
}

void HandleDelete(const Request &request, PhoneState &state, Replies &replies) {
  const uint8_t location = request.At(5);
  json *messages = MessagesOf(state);
  const long index = messages == nullptr || !ValidLocation(state, location) ? -1 : FindMessage(*messages, location);
  if (index < 0) {
    // Deleting a location that holds nothing leaves it empty, as asked; only a
    // location outside the store is an error.
    if (ValidLocation(state, location))
      replies.Send(kStoreType, {0x01, 0x08, 0x00, 0x0B});
    else
      replies.Send(kStoreType, {0x01, 0x08, 0x00, 0x0C, 0x02});
    return;
  }
  messages->erase(static_cast<size_t>(index));
  replies.Send(kStoreType, {0x01, 0x08, 0x00, 0x0B});
  StoreHeldReports(state, replies);  // a report the full store held back takes the place
}

void HandleCounts(const Request &, PhoneState &state, Replies &replies) {
  json &root = state.Json();
  if (root["sms"].value("refuse_counts", false)) {
    replies.Send(kStoreType, {0x01, 0x08, 0x00, 0x38, 0x6F});
    return;
  }
  int total = 0;
  int unread = 0;
  if (const json *messages = MessagesOf(state)) {
    for (const json &m : *messages) {
      if (!m.is_object()) continue;
      ++total;
      const std::string kind = FieldText(m, "kind", "received");
      if (kind == "received" && m.contains("read") && m["read"].is_boolean() && !m["read"].get<bool>()) ++unread;
    }
  }
  // The store's size at byte 7, messages held at 10, unread at 11.
  const auto size = static_cast<uint8_t>(state.Integer(kCapacity, 15, 0, 255));
  std::vector<uint8_t> reply = {0x01, 0x08, 0x00, 0x37, 0x00, 0x00, 0x00, size, 0x00, 0x00};
  reply.push_back(static_cast<uint8_t>(std::min(total, 255)));
  reply.push_back(static_cast<uint8_t>(std::min(unread, 255)));
  replies.Send(kStoreType, std::move(reply));
}

// Whether every character of the text is in the GSM alphabet or its extension table.
bool FitsGsm(const std::string &text) {
  for (char32_t c : sms::Utf8CodePoints(text)) {
    bool found = c == U'?';
    for (uint8_t k = 0; k < 128 && !found; ++k) found = k != 0x1B && sms::kGsmToUnicode[k] == c;
    for (const sms::GsmExtension &e : sms::kGsmExtension) found = found || e.point == c;
    if (!found) return false;
  }
  return true;
}

// The text cut into the parts a sender would send: at most 160 septets (70 UCS-2 units)
// whole, else 153 (67) in each part after its 6-octet header. An extension character
// (two septets) and a surrogate pair (two units) are never split.
std::vector<std::string> SplitText(const std::string &text, bool ucs2) {
  auto cost = [ucs2](char32_t c) -> size_t {
    if (ucs2) return c >= 0x10000 ? 2 : 1;
    for (const sms::GsmExtension &e : sms::kGsmExtension)
      if (e.point == c) return 2;
    return 1;
  };
  const auto points = sms::Utf8CodePoints(text);
  size_t total = 0;
  for (char32_t c : points) total += cost(c);
  const size_t whole = ucs2 ? 70 : 160, part = ucs2 ? 67 : 153;
  std::vector<std::string> parts;
  std::string current;
  size_t used = 0;
  for (char32_t c : points) {
    if (total > whole && used + cost(c) > part) {
      parts.push_back(current);
      current.clear();
      used = 0;
    }
    sms::AppendUtf8(current, c);
    used += cost(c);
  }
  parts.push_back(current);
  return parts;
}

std::string HexOf(std::initializer_list<uint8_t> bytes) {
  static const char *digits = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 0x0F];
  }
  return out;
}

// "sms deliver SENDER TEXT": the text arrives as a network would bring it, stamped
// with the phone's clock, in UCS-2 when the GSM alphabet lacks a character, and as a
// concatenated message (8-bit reference) when it does not fit in one. Each part goes
// to the next free location with its arrival notice.
std::string Deliver(const std::string &sender, const std::string &text, PhoneState &state, Replies &replies) {
  const bool ucs2 = !FitsGsm(text);
  const std::vector<std::string> parts = SplitText(text, ucs2);
  if (parts.size() > 255) return "error: the text needs more than 255 parts";
  json *messages = MessagesOf(state);
  if (messages == nullptr) {
    state.Set(kMessages, json::array());
    messages = MessagesOf(state);
  }
  std::vector<int> locations;
  for (int location = 1; ValidLocation(state, location) && locations.size() < parts.size(); ++location)
    if (FindMessage(*messages, location) < 0) locations.push_back(location);
  if (locations.size() < parts.size()) return "error: the message store is full";
  int reference = 0;
  if (parts.size() > 1) {
    reference = state.Integer(kNextReference, 1, 1, 255);
    state.Set(kNextReference, reference % 255 + 1);
  }
  const std::vector<int> now = PhoneClockNow(state);
  std::string answer = "ok";
  for (size_t i = 0; i < parts.size(); ++i) {
    json m = {{"location", locations[i]}, {"kind", "received"}, {"read", false},
              {"sender", sender},         {"text", parts[i]},   {"time", now}};
    if (ucs2) m["coding"] = "ucs2";
    if (parts.size() > 1)
      m["header"] = HexOf({0x05, 0x00, 0x03, static_cast<uint8_t>(reference), static_cast<uint8_t>(parts.size()),
                           static_cast<uint8_t>(i + 1)});
    messages->push_back(m);
    replies.Send(0x02, {0x01, 0x08, 0x00, 0x10, 0x02, static_cast<uint8_t>(locations[i]), 0x00});
    answer += " " + std::to_string(locations[i]);
  }
  return answer;
}

constexpr const char *kSmsUsage = "sms deliver SENDER TEXT... | sms fail-next (the next send is refused)";

// "sms deliver SENDER TEXT...": a new message arrives (see Deliver); the answer is "ok"
// and the locations of its parts. "sms fail-next": the next submission is refused.
std::string SmsControl(const std::string &arguments, PhoneState &state, Replies &replies) {
  std::istringstream words(arguments);
  std::string what, sender;
  words >> what;
  if (what == "fail-next") {
    state.Set(kFailNextSend, true);
    return "ok";
  }
  words >> sender;
  std::string text;
  std::getline(words, text);
  text.erase(0, text.find_first_not_of(' '));
  if (what != "deliver" || sender.empty()) return "error: sms deliver SENDER TEXT... | sms fail-next";
  return Deliver(sender, text, state, replies);
}

}  // namespace

void RegisterSmsStoreHandlers(HandlerTable &table) {
  table.AddDefaults({{"sms", {{"capacity", 15}, {"messages", json::array()}, {"refuse_counts", false}}}});
  table.OnControl("sms", kSmsUsage, SmsControl);
  table.On(kStoreType, 0x07, HandleRead);
  // The same read request may come on type 0x02; it is answered on type 0x14 all the same.
  table.On(0x02, 0x07, HandleRead);
  table.On(kStoreType, 0x0A, HandleDelete);
  table.On(kStoreType, 0x36, HandleCounts);
}

}  // namespace phonesim
