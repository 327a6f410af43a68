// SMS sending: the phone decodes every SMS-SUBMIT it is handed and keeps it in
// /sms/sent (text as UTF-8: GSM 7-bit with its extension table, UCS-2, or 8-bit data
// as Latin-1), joins concatenated parts in /sms/concatenated, and answers
// message-centre queries from /sms/centres (index 1 first).
//
// State keys read and cleared by the send handler:
//   /sms/fail_next_send    true: the next send is refused (command 0x03)
//   /sms/ignore_next_send  true: the next send gets no verdict at all
// and kept by it:
//   /network/next_reference  the message reference (0-255) the next confirmed
//                            submission gets, in byte 5 of the confirmation and as
//                            "message_reference" in its /sms/sent record
#include <string>

#include "dispatch.h"
#include "sms_state.h"
#include "frame_codec.h"
#include "sms_pdu.h"
#include "sms_network.h"
#include "sms_ports.h"

namespace phonesim {

namespace {

using nlohmann::json;
using namespace sms_state;

constexpr size_t kSubmitHeaderBytes = 42;  // request bytes before the user data

// Reads and clears a one-shot switch under /sms.
bool TakeSwitch(PhoneState &state, const char *name) {
  json &root = state.Json();
  if (!root.contains("sms") || !root["sms"].is_object()) return false;
  json &sms = root["sms"];
  if (!sms.contains(name) || !sms[name].is_boolean() || !sms[name].get<bool>()) return false;
  sms[name] = false;
  return true;
}

// The number in a field of `digitBytes` semi-octet bytes after a type byte.
std::string FieldNumber(std::span<const uint8_t> bytes, size_t typeAt, size_t digitCount) {
  const size_t digitBytes = std::min<size_t>((digitCount + 1) / 2, 10);
  const auto digits = bytes.subspan(typeAt + 1, digitBytes);
  return sms::DecodeDigits(bytes[typeAt], digits, std::min<size_t>(digitCount, 20));
}

// The fields before the user data: centre, first octet, destination, coding, validity.
void DecodeEnvelope(std::span<const uint8_t> b, const sms::CodingScheme &scheme, json &out) {
  const uint8_t centreOctets = b[6];
  out["centre"] = centreOctets == 0 ? "" : FieldNumber(b, 7, 2 * static_cast<size_t>(centreOctets - 1));
  out["centre_type"] = b[7];
  const uint8_t first = b[18];
  out["first_octet"] = first;
  out["reference"] = b[19];
  out["pid"] = b[20];
  out["dcs"] = b[21];
  out["udl"] = b[22];
  out["destination"] = FieldNumber(b, 24, b[23]);
  out["destination_type"] = b[24];
  out["validity"] = b[35];
  out["validity_minutes"] = sms::ValidityMinutes(b[35]);
  out["status_report"] = (first & 0x20) != 0;
  out["coding"] = sms::CodingName(scheme.coding);
  out["class"] = scheme.messageClass ? json(*scheme.messageClass) : json(nullptr);
}

// Information elements of a user data header: concatenation (8- and 16-bit
// reference) and application ports; any other element is passed over.
void DecodeHeaderElements(std::span<const uint8_t> header, json &out) {
  for (size_t i = 1; i + 1 < header.size();) {
    const uint8_t id = header[i];
    const size_t length = header[i + 1];
    if (i + 2 + length > header.size()) break;
    const auto value = header.subspan(i + 2, length);
    if (id == 0x00 && length == 3) {
      out["concat"] = {{"reference", value[0]}, {"parts", value[1]}, {"part", value[2]}};
    } else if (id == 0x08 && length == 4) {
      out["concat"] = {{"reference", value[0] << 8 | value[1]}, {"parts", value[2]}, {"part", value[3]}};
    } else if (id == 0x05 && length == 4) {
      out["ports"] = {{"destination", value[0] << 8 | value[1]}, {"source", value[2] << 8 | value[3]}};
    } else if (id == 0x04 && length == 2) {
      out["ports"] = {{"destination", value[0]}, {"source", value[1]}};
    }
    i += 2 + length;
  }
}

// GSM 7-bit text: all septets from the start; the header and its fill take the
// first ones.
void DecodeGsmText(std::span<const uint8_t> userData, size_t udl, size_t headerOctets, json &out) {
  const auto codes = sms::UnpackSeptets(userData, udl);
  const size_t skip = headerOctets > 0 ? sms::HeaderSeptets(headerOctets) : 0;
  if (skip > codes.size()) {
    out["error"] = "header longer than the user data";
    return;
  }
  out["text"] = sms::GsmText(std::span(codes).subspan(skip));
}

// 8-bit or UCS-2 user data after the header: kept as hex, read as text where it is
// text, and handed to the family that knows its destination port, if any.
void DecodeOctetPayload(sms::Coding coding, std::span<const uint8_t> payload, json &out) {
  out["data"] = ToHex(payload);
  if (coding == sms::Coding::kUcs2) out["text"] = sms::Ucs2Text(payload);
  // 8-bit data that no application port claims is read as Latin-1 text.
  if (coding == sms::Coding::kEightBit && !out.contains("ports")) out["text"] = sms::Latin1Text(payload);
  // Smart Messaging: the family that knows the destination port reads the payload
  // (a ringing tone, a logo) into "content".
  if (out.contains("ports")) {
    const int port = out["ports"]["destination"].get<int>();
    json content = DecodeSmsPortPayload(static_cast<uint16_t>(port), payload);
    if (!content.is_null()) out["content"] = std::move(content);
  }
}

// Everything a submitted message says, as the phone would understand it.
json DecodeSubmission(std::span<const uint8_t> b) {
  json out = json::object();
  if (b.size() < kSubmitHeaderBytes) {
    out["error"] = "request too short";
    return out;
  }
  const sms::CodingScheme scheme = sms::DecodeCoding(b[21]);
  DecodeEnvelope(b, scheme, out);

  const auto userData = b.subspan(kSubmitHeaderBytes);
  const size_t udl = b[22];
  const size_t octets = scheme.coding == sms::Coding::kGsm ? (7 * udl + 7) / 8 : udl;
  if (userData.size() < octets) {
    out["error"] = "user data shorter than its length";
    return out;
  }
  if (userData.size() > octets) out["extra_bytes"] = userData.size() - octets;

  const uint8_t first = b[18];
  size_t headerOctets = 0;
  if (first & 0x40) {  // the user data starts with a header
    headerOctets = octets > 0 ? static_cast<size_t>(userData[0]) + 1 : 0;
    if (headerOctets > octets) {
      out["error"] = "header longer than the user data";
      return out;
    }
    const auto header = userData.first(headerOctets);
    out["header"] = ToHex(header);
    DecodeHeaderElements(header, out);
  }

  if (scheme.coding == sms::Coding::kGsm) {
    DecodeGsmText(userData.first(octets), udl, headerOctets, out);
  } else {
    DecodeOctetPayload(scheme.coding, userData.subspan(headerOctets, octets - headerOctets), out);
  }
  return out;
}

// Once every part of a concatenated message has been sent, the whole text joins
// /sms/concatenated ({destination, reference, parts, coding, text}); its parts in
// /sms/sent are marked "assembled" so that a later message with the same reference
// starts afresh.
void JoinParts(PhoneState &state, const json &latest) {
  if (!latest.contains("concat") || !latest.contains("text") || latest["outcome"] != "sent") return;
  const json &concat = latest["concat"];
  const size_t parts = concat["parts"].get<size_t>();
  if (parts == 0) return;
  json &sent = state.Json()[json::json_pointer(kSent)];
  std::vector<long> indexOfPart(parts, -1);
  for (size_t i = 0; i < sent.size(); ++i) {
    const json &m = sent[i];
    if (!m.is_object() || !m.contains("concat") || !m.contains("text") || m.value("assembled", false) ||
        m.value("outcome", "") != "sent" || m.value("destination", "") != latest["destination"] ||
        m["concat"]["reference"] != concat["reference"] || m["concat"]["parts"] != concat["parts"])
      continue;
    const size_t part = m["concat"]["part"].get<size_t>();
    if (part >= 1 && part <= parts) indexOfPart[part - 1] = static_cast<long>(i);  // the latest copy wins
  }
  std::string text;
  for (long index : indexOfPart) {
    if (index < 0) return;  // still waiting for a part
    text += sent[static_cast<size_t>(index)]["text"].get<std::string>();
  }
  for (long index : indexOfPart) sent[static_cast<size_t>(index)]["assembled"] = true;
  state.Append(kConcatenated, {{"destination", latest["destination"]},
                               {"reference", concat["reference"]},
                               {"parts", parts},
                               {"coding", latest["coding"]},
                               {"text", text}});
}

// A hand-edited /sms/sent may hold anything: what cannot be read is not joined.
void AssembleParts(PhoneState &state, const json &latest) {
  try {
    JoinParts(state, latest);
  } catch (const json::exception &) {
  }
}

void HandleSubmit(const Request &request, PhoneState &state, Replies &replies) {
  json decoded = DecodeSubmission(request.bytes);
  const bool fail = TakeSwitch(state, "fail_next_send");
  const bool ignore = !fail && TakeSwitch(state, "ignore_next_send");
  std::string outcome = "sent";
  if (fail || decoded.contains("error")) outcome = "refused";
  if (ignore) outcome = "ignored";
  decoded["outcome"] = outcome;
  uint8_t messageReference = 0;
  if (outcome == "sent") {
    // The network numbers what it accepts, 0-255 and round again.
    messageReference = static_cast<uint8_t>(state.Integer(kNetworkReference, 0, 0, 255));
    state.Set(kNetworkReference, (messageReference + 1) % 256);
    decoded["message_reference"] = messageReference;
  }
  state.Append(kSent, decoded);
  AssembleParts(state, decoded);

  // The verdict comes from the network, in its own time.
  if (outcome == "sent") NetworkSubmit(decoded, {0x01, 0x08, 0x00, 0x02, 0x01, messageReference}, state, replies);
  if (outcome == "refused") NetworkSubmit(decoded, {0x01, 0x08, 0x00, 0x03, 0x01, 0xC5}, state, replies);
}

void HandleCentreQuery(const Request &request, PhoneState &state, Replies &replies) {
  const uint8_t index = request.At(5);
  const json &root = state.Json();
  const json *centre = nullptr;
  if (root.contains("sms") && root["sms"].is_object() && root["sms"].contains("centres")) {
    const json &centres = root["sms"]["centres"];
    if (centres.is_array() && index >= 1 && index <= centres.size() && centres[index - 1].is_object())
      centre = &centres[index - 1];
  }
  if (centre == nullptr || !centre->contains("number") || !(*centre)["number"].is_string()) {
    replies.Send(0x02, {0x01, 0x08, 0x00, 0x35, index});
    return;
  }
  // Index, format, validity at byte 8, the default recipient (12 bytes) from byte 9, the
  // centre's address from byte 21 (its length byte counting octets), the set's name
  // from byte 33.
  std::vector<uint8_t> reply = {0x01, 0x08, 0x00, 0x34, index, 0x00, 0x00, 0x00, 0xA9};
  reply.resize(21, 0x00);
  const sms::Address address = sms::EncodeAddress((*centre)["number"].get<std::string>());
  const auto field = sms::AddressField(address, static_cast<uint8_t>(address.digits.size() + 1));
  reply.insert(reply.end(), field.begin(), field.end());
  reply.resize(33, 0x00);
  if (centre->contains("name") && (*centre)["name"].is_string()) {
    const std::string name = (*centre)["name"].get<std::string>();
    reply.insert(reply.end(), name.begin(), name.end());
  }
  reply.push_back(0x00);
  replies.Send(0x02, std::move(reply));
}

}  // namespace

void RegisterSmsHandlers(HandlerTable &table) {
  table.AddDefaults({{"sms",
                      {{"centres", json::array({{{"number", "+358405202000"}, {"name", "Centre 1"}},
                                                {{"number", "+358405202999"}, {"name", "Centre 2"}}})},
                       {"sent", json::array()},
                       {"concatenated", json::array()},
                       {"fail_next_send", false},
                       {"ignore_next_send", false}}}});
  table.On(0x02, 0x01, HandleSubmit);
  table.On(0x02, 0x33, HandleCentreQuery);
}

}  // namespace phonesim
