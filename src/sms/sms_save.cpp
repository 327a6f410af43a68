#include "sms/sms_save.h"

#include <cstring>

#include "transaction/transaction.h"
#include "sms/number_codec.h"
#include "sms/reply_routes.h"
#include "sms/septet_packing.h"
#include "sms/sms_record.h"
#include "sms/sms_send.h"
#include "sms/utf8_text.h"
#include "transaction/result_codes.h"

namespace pelkor {

namespace {

constexpr int32_t kSaveChecks = 500;
constexpr int32_t kSaveStepMs = 10;
constexpr uint8_t kAlphanumericType = 0xD0;
constexpr size_t kMaxNameCharacters = 11;  // 10 digit bytes hold 11 septets

// An address field of 12 bytes: length (digits, or semi-octets of a packed name),
// type, digit bytes.
bool AddressField(const char *number, uint8_t field[kSmsAddressFieldSize]) {
  std::memset(field, 0, kSmsAddressFieldSize);
  const int digits = EncodeNumber(number, field + 1, kEncodedNumberBytes);
  if (digits != kInvalidNumber) {
    field[0] = static_cast<uint8_t>(digits);
    return true;
  }
  std::vector<char32_t> points;
  std::vector<uint8_t> septets;
  if (!DecodeUtf8(number, points) || !EncodeGsmSeptets(points, septets) || septets.empty() ||
      septets.size() > kMaxNameCharacters)
    return false;
  field[1] = kAlphanumericType;
  for (size_t n = 0; n < septets.size(); ++n)
    for (size_t b = 0; b < 7; ++b)
      if ((septets[n] >> b) & 1) field[2 + (7 * n + b) / 8] |= static_cast<uint8_t>(1u << ((7 * n + b) % 8));
  field[0] = static_cast<uint8_t>((7 * septets.size() + 3) / 4);
  return true;
}

uint8_t SwappedBcd(int32_t value) {
  value = ((value % 100) + 100) % 100;
  return static_cast<uint8_t>((value / 10) | ((value % 10) << 4));
}

}  // namespace

int32_t BuildSaveRequest(const StoredSms &message, std::vector<uint8_t> &out) {
  out.clear();
  const bool outgoing = message.kindCode == 11;
  if (message.location < 1 || message.location > 255) return kResultRefused;
  if (!outgoing && message.kindCode != 13) return kResultRefused;  // reports cannot be stored
  SmsTextParts split;
  if (!SplitSmsText(message.text != nullptr ? message.text : "", split)) return kResultRefused;
  if (split.parts.size() != 1) return kResultTextTooLong;
  uint8_t address[kSmsAddressFieldSize];
  if (!AddressField(message.number != nullptr ? message.number : "", address)) return kResultRefused;

  const std::vector<uint8_t> &data = split.parts[0];
  uint8_t userData[kSmsUserDataSize] = {};
  size_t octets = data.size();
  if (split.ucs2) {
    std::memcpy(userData, data.data(), data.size());
  } else {
    octets = PackedOctets(data.size(), 0);
    for (size_t n = 0; n < data.size(); ++n)
      for (size_t b = 0; b < 7; ++b)
        if ((data[n] >> b) & 1) userData[(7 * n + b) / 8] |= static_cast<uint8_t>(1u << ((7 * n + b) % 8));
  }
  const uint8_t coding = split.ucs2 ? 0x08 : 0x00;
  const auto length = static_cast<uint8_t>(data.size());

  // Status as the store reports it: bit 0x02 set for unread or unsent.
  const uint8_t status = static_cast<uint8_t>((outgoing ? 0x05 : 0x01) | (message.read ? 0x00 : 0x02));
  out = {0x00,   0x01,
         0x00,   0x04,
         status, static_cast<uint8_t>(message.location),
         0x00,   static_cast<uint8_t>(outgoing ? 0x02 : 0x00)};
  // The message centre the send record knows, else none.
  uint8_t centre[kSmsAddressFieldSize] = {};
  const int centreDigits = EncodeNumber(Sms().sendRecord.centreNumber, centre + 1, kEncodedNumberBytes);
  if (centreDigits > 0)
    centre[0] = static_cast<uint8_t>(AddressOctets(centreDigits));
  else
    centre[1] = 0x81;
  out.insert(out.end(), centre, centre + sizeof centre);
  if (outgoing) {
    out.insert(out.end(), {0x11, 0x00, 0x00, coding, length});
    out.insert(out.end(), address, address + sizeof address);
    out.insert(out.end(), {0xA9, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
  } else {
    out.insert(out.end(), {0x04, 0x00, coding, length});
    out.insert(out.end(), address, address + sizeof address);
    for (int32_t part : message.time) out.push_back(SwappedBcd(part));
    out.push_back(0x00);  // time zone
  }
  out.insert(out.end(), userData, userData + octets);
  return kResultOk;
}

int32_t SaveSms(const StoredSms &message) {
  std::vector<uint8_t> request;
  const int32_t built = BuildSaveRequest(message, request);
  if (built != kResultOk) return built;
  return RunTransaction(Sms().saveCell, kSmsStoreType, request.data(), request.size(), kSaveChecks, kSaveStepMs);
}

int32_t SaveSmsMessage(int32_t location, int32_t kindCode, int32_t read, const char *number, const char *text,
                       const int32_t *time) {
  StoredSms message;
  message.location = location;
  message.kindCode = kindCode;
  message.read = read != 0;
  message.number = number != nullptr ? number : "";
  message.text = text != nullptr ? text : "";
  if (time != nullptr)
    for (size_t i = 0; i < 6; ++i) message.time[i] = time[i];
  return SaveSms(message);
}

// Replies to a store request; without one waiting they change nothing anyone reads.
namespace {

void HandleSmsSaved(const ReplyMessage &) { Sms().saveCell.Complete(kResultOk); }
void HandleSmsSaveRefused(const ReplyMessage &) { Sms().saveCell.Complete(kResultRefused); }

// Whether the request each reply answers is waiting for it.
bool SaveWaits() { return Sms().saveCell.Holds(kPending); }

// The verdict on a message saved into the store.
const ReplyRoute kRows[] = {
    // type, command byte at, command, handler, awaited by
    {0x14, 3, 0x05, HandleSmsSaved, SaveWaits},
    {0x14, 3, 0x06, HandleSmsSaveRefused, SaveWaits},
};

}  // namespace

const ReplyRouteTable kSmsSaveReplies = RouteTable(kRows);

}  // namespace pelkor
