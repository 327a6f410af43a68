#include "sms/sms_submit.h"

#include <cstring>

#include "sms/number_codec.h"
#include "sms/septet_packing.h"
#include "link/request_writer.h"
#include "transaction/result_codes.h"

namespace pelkor {

namespace {

constexpr uint8_t kFirstOctetSubmit = 0x11;  // SMS-SUBMIT, relative validity period
constexpr uint8_t kHeaderIndicator = 0x40;
constexpr uint8_t kStatusReportRequest = 0x20;
constexpr uint8_t kUcs2Reference = 0xFF;

constexpr size_t kCentreLengthByte = 6;
constexpr size_t kFirstOctetByte = 18;
constexpr size_t kReferenceByte = 19;
constexpr size_t kCodingByte = 21;
constexpr size_t kUserDataLengthByte = 22;
constexpr size_t kDestinationLengthByte = 23;
constexpr size_t kValidityByte = 35;

constexpr auto kPrefix = CommandRequest(0x01, 0x02, 0x00);

bool HasClass(int32_t messageClass) { return messageClass >= 0 && messageClass <= 3; }

}  // namespace

uint8_t ValidityPeriodByte(int32_t minutes) {
  if (minutes < 5) return 0;  // the shortest period the format has
  if (minutes <= 720) return static_cast<uint8_t>(minutes / 5 - 1);
  if (minutes <= 1440) return static_cast<uint8_t>((minutes - 720) / 30 + 143);
  if (minutes <= 43200) return static_cast<uint8_t>(minutes / 1440 + 166);
  if (minutes <= 635040) return static_cast<uint8_t>(minutes / 10080 + 192);
  return 0xA9;
}

uint8_t DataCodingScheme(const SmsRecord &record) {
  const bool classed = HasClass(record.messageClass);
  const auto cls = static_cast<uint8_t>(classed ? record.messageClass : 0);
  // UCS-2 keeps the class it was asked for; without one it goes out unclassed.
  if (record.ucs2 != 0) return classed ? static_cast<uint8_t>(0x18 + cls) : 0x08;
  if (record.eightBit != 0) return static_cast<uint8_t>(0xF4 + cls);
  return classed ? static_cast<uint8_t>(0xF0 + cls) : 0x00;
}

int32_t BuildSubmitRequest(const SmsRecord &record, int32_t dataLength, SubmitRequest &out) {
  out = SubmitRequest{};
  uint8_t *b = out.bytes;
  std::memcpy(b, kPrefix.data(), kPrefix.size());
  b[kFirstOctetByte] = kFirstOctetSubmit;

  size_t headerOctets = 0;
  if (record.hasHeader != 0) {
    headerOctets = static_cast<size_t>(record.header[0]) + 1;
    if (headerOctets > kSmsHeaderSize) return kResultRefused;
  }
  const size_t textLength = strnlen(record.text, kSmsTextSize);
  if (headerOctets == 0 && textLength > kMaxSingleText) return kResultTextTooLong;

  uint8_t *userData = b + kSubmitUserDataOffset;
  size_t userDataOctets = 0;
  if (record.ucs2 != 0 || record.eightBit != 0) {
    if (dataLength < 0 || static_cast<size_t>(dataLength) > kSmsTextSize) return kResultRefused;
    const auto raw = static_cast<size_t>(dataLength);
    // A UCS-2 message carries no header.
    const size_t header = record.ucs2 != 0 ? 0 : headerOctets;
    if (header + raw > kMaxUserDataOctets) return kResultRefused;
    std::memcpy(userData, record.header, header);
    std::memcpy(userData + header, record.text, raw);
    userDataOctets = header + raw;
    out.userDataLength = static_cast<int32_t>(userDataOctets);
    if (header > 0) b[kFirstOctetByte] |= kHeaderIndicator;
    if (record.ucs2 != 0) b[kReferenceByte] = kUcs2Reference;
  } else {
    const int fill = FillBitsAfterHeader(headerOctets);
    if (headerOctets + PackedOctets(textLength, fill) > kMaxUserDataOctets) return kResultRefused;
    std::memcpy(userData, record.header, headerOctets);
    const size_t packed = PackSeptets(std::string_view(record.text, textLength), fill, userData + headerOctets,
                                      kMaxUserDataOctets - headerOctets);
    userDataOctets = headerOctets + packed;
    out.userDataLength = static_cast<int32_t>((8 * headerOctets + static_cast<size_t>(fill)) / 7 + textLength);
    if (headerOctets > 0) b[kFirstOctetByte] |= kHeaderIndicator;
  }
  b[kUserDataLengthByte] = static_cast<uint8_t>(out.userDataLength);

  if (record.statusReport != 0) b[kFirstOctetByte] |= kStatusReportRequest;

  char centre[kSmsCentreNumberSize + 1] = {};
  std::memcpy(centre, record.centreNumber, kSmsCentreNumberSize);
  const int centreDigits = EncodeNumber(centre, b + kCentreLengthByte + 1, kEncodedNumberBytes);
  if (centreDigits == kInvalidNumber) return kResultRefused;
  b[kCentreLengthByte] = static_cast<uint8_t>(AddressOctets(centreDigits));

  b[kCodingByte] = DataCodingScheme(record);

  char destination[kSmsDestinationSize + 1] = {};
  std::memcpy(destination, record.destination, kSmsDestinationSize);
  const int destinationDigits = EncodeNumber(destination, b + kDestinationLengthByte + 1, kEncodedNumberBytes);
  if (destinationDigits == kInvalidNumber) return kResultRefused;
  b[kDestinationLengthByte] = static_cast<uint8_t>(destinationDigits);

  b[kValidityByte] = ValidityPeriodByte(record.validityMinutes);
  out.length = kSubmitUserDataOffset + userDataOctets;
  return kResultOk;
}

}  // namespace pelkor
