// Storing a message in the SMS store (type 0x14, command 0x04), as a backup tool does:
// the request holds the message in the layout of the read answer (command 0x08), from
// the status byte on. The phone keeps it in /sms/messages at that location, replacing
// what was there, and answers 0x05; a location outside the store, a kind it does not
// store or a request it cannot read gets 0x06.
#include <string>

#include "dispatch.h"
#include "sms_state.h"
#include "frame_codec.h"
#include "sms_pdu.h"

namespace phonesim {

namespace {

using nlohmann::json;
using namespace sms_state;

constexpr uint8_t kStoreType = 0x14;

int BcdValue(uint8_t b) { return (b & 0x0F) * 10 + (b >> 4); }

// The sender or recipient of an address field: digits, or a packed name.
std::string AddressText(std::span<const uint8_t> field) {
  const uint8_t length = field[0];
  const uint8_t type = field[1];
  const auto digits = field.subspan(2, 10);
  if ((type & 0x70) == 0x50) return sms::GsmText(sms::UnpackSeptets(digits, std::min<size_t>(length * 4 / 7, 11)));
  return sms::DecodeDigits(type, digits, std::min<size_t>(length, 20));
}

void HandleSave(const Request &request, PhoneState &state, Replies &replies) {
  const auto &b = request.bytes;
  const uint8_t location = request.At(5);
  const uint8_t messageType = request.At(7);
  const size_t r = messageType == 0x02 ? 5 : 4;
  const auto refuse = [&](uint8_t why) { replies.Send(kStoreType, {0x01, 0x08, 0x00, 0x06, why}); };
  if (location < 1 || location > state.Integer(kCapacity, 15, 0, 255)) return refuse(0x02);
  if ((messageType != 0x00 && messageType != 0x02) || b.size() < r + 39) return refuse(0x03);

  const uint8_t dcs = b[r + 18];
  const size_t udl = b[r + 19];
  const sms::CodingScheme scheme = sms::DecodeCoding(dcs);
  const auto userData = b.subspan(r + 39);
  const size_t octets = scheme.coding == sms::Coding::kGsm ? (7 * udl + 7) / 8 : udl;
  if (userData.size() < octets) return refuse(0x03);

  const bool outgoing = messageType == 0x02;
  json message = {{"location", location},
                  {"kind", outgoing ? "sent" : "received"},
                  {"read", (request.At(4) & 0x02) == 0},
                  {"coding", sms::CodingName(scheme.coding)}};
  if (scheme.messageClass) message["class"] = *scheme.messageClass;
  const std::string party = AddressText(b.subspan(r + 20, 12));
  message[outgoing ? "recipient" : "sender"] = party;
  if (b[8] > 1) message["centre"] = sms::DecodeDigits(b[9], b.subspan(10, 10), 2 * static_cast<size_t>(b[8] - 1));
  if (!outgoing) {
    json time = json::array();
    for (size_t i = 0; i < 6; ++i) time.push_back(BcdValue(b[r + 32 + i]));
    message["time"] = time;
  }
  if (scheme.coding == sms::Coding::kGsm)
    message["text"] = sms::GsmText(sms::UnpackSeptets(userData.first(octets), udl));
  else if (scheme.coding == sms::Coding::kUcs2)
    message["text"] = sms::Ucs2Text(userData.first(octets));
  else
    message["data"] = ToHex(userData.first(octets));

  json &root = state.Json();
  if (!root.contains("sms") || !root["sms"].is_object()) return refuse(0x03);
  if (!root["sms"].contains("messages") || !root["sms"]["messages"].is_array()) root["sms"]["messages"] = json::array();
  json &messages = root["sms"]["messages"];
  for (size_t i = 0; i < messages.size(); ++i) {
    const json &m = messages[i];
    if (m.is_object() && m.contains("location") && m["location"].is_number_integer() &&
        m["location"].get<int>() == location) {
      messages.erase(i);
      break;
    }
  }
  messages.push_back(std::move(message));
  replies.Send(kStoreType, {0x01, 0x08, 0x00, 0x05, 0x01, location});
}

}  // namespace

void RegisterSmsSaveHandlers(HandlerTable &table) { table.On(kStoreType, 0x04, HandleSave); }

}  // namespace phonesim
