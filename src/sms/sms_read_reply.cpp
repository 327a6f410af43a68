#include "sms/sms_read_reply.h"

#include <cstring>

#include "sms/gsm_alphabet.h"
#include "sms/number_codec.h"
#include "sms/septet_packing.h"
#include "sms/sms_submit.h"

namespace pelkor {

namespace {

constexpr size_t kTrailerBytes = 2;  // frames-left and sequence of the last frame
constexpr size_t kStatusByte = 4;
constexpr size_t kMessageTypeByte = 7;
constexpr size_t kCentreFieldByte = 8;
constexpr size_t kFirstOctetByte = 20;
constexpr size_t kReportReferenceByte = 21;
constexpr size_t kReportStatusByte = 22;
constexpr size_t kAddressFieldBytes = 2 + kNumberDigitBytes;

constexpr uint8_t kUnreadOrUnsent = 0x02;
constexpr uint8_t kHeaderIndicator = 0x40;

// Offsets of the message's own fields, from r.
constexpr size_t kCodingAt = 18;
constexpr size_t kUserDataLengthAt = 19;
constexpr size_t kOriginAt = 20;
constexpr size_t kTimeStampAt = 32;
constexpr size_t kUserDataAt = 39;
constexpr size_t kDischargeTimeAt = 39;  // a status report's, where others have user data
constexpr size_t kTimeStampBytes = 6;    // the time zone after them is not kept

struct Layout {
  int32_t kind;
  size_t r;
};

Layout LayoutFor(uint8_t messageType) {
  switch (messageType) {
    case 0x00:
      return {kSmsKindReceived, 4};
    case 0x01:
      return {kSmsKindStatusReport, 3};
    case 0x02:
      return {kSmsKindStoredOutgoing, 5};
    default:
      return {kSmsKindOther, 4};
  }
}

// The address field at offset, read through At() so that nothing past the message is
// touched; octets is the value its length byte should hold.
NumberText AddressAt(const ReplyMessage &reply, size_t offset, uint8_t octets) {
  uint8_t field[kAddressFieldBytes];
  for (size_t i = 0; i < sizeof field; ++i) field[i] = reply.At(offset + i);
  field[0] = octets;
  return DecodeNumber(field, sizeof field);
}

}  // namespace

const char *StatusReportText(uint8_t status) {
  if (status < 3) return "Delivered";
  if (status & 0x40) return "Failed";
  if (status & 0x20) return "Pending";
  return "Unknown";
}

ReadReplyOutcome DecodeReadReply(const ReplyMessage &reply, SmsRecord &record) {
  ReadReplyOutcome outcome;
  const size_t dataLength = reply.length > kTrailerBytes ? reply.length - kTrailerBytes : 0;
  const Layout layout = LayoutFor(reply.At(kMessageTypeByte));
  const size_t r = layout.r;
  const size_t userData = r + kUserDataAt;
  if (dataLength < userData) return outcome;  // the fixed fields are not all there

  record.kind = layout.kind;
  record.readOrSent = (reply.At(kStatusByte) & kUnreadOrUnsent) == 0 ? 1 : 0;
  const size_t headerOctets = (reply.At(kFirstOctetByte) & kHeaderIndicator) ? size_t{reply.At(userData)} + 1 : 0;
  const uint8_t coding = reply.At(r + kCodingAt);
  const size_t declared = reply.At(r + kUserDataLengthAt);
  const bool ucs2Coding = (coding & 0x08) != 0;
  // 8-bit data: the message-class group (1111 x1xx) or the general group (00xx 01xx);
  // read as 7-bit text it would come out as garbage.
  const bool eightBitCoding = (coding & 0xF4) == 0xF4 || (coding & 0xCC) == 0x04;

  if (layout.kind != kSmsKindStoredOutgoing) {
    int32_t *stamp[] = {&record.year, &record.month, &record.day, &record.hour, &record.minute, &record.second};
    for (size_t i = 0; i < kTimeStampBytes; ++i) *stamp[i] = SwappedBcdValue(reply.At(r + kTimeStampAt + i));
    const int digits = reply.At(r + kOriginAt);
    const auto octets = static_cast<uint8_t>(AddressOctets(digits));
    CopyField(record.sender, sizeof record.sender, AddressAt(reply, r + kOriginAt, octets).text);
    CopyField(record.centreNumber, sizeof record.centreNumber,
              AddressAt(reply, kCentreFieldByte, reply.At(kCentreFieldByte)).text);
  }
  record.ucs2 = 0;
  std::memset(record.text, 0, sizeof record.text);

  if (layout.kind == kSmsKindStatusReport) {
    SmsRecord::Report &report = record.report;
    report.reference = reply.At(kReportReferenceByte);
    report.status = reply.At(kReportStatusByte);
    // The discharge time follows the fixed fields; an answer cut short of all six of
    // its bytes leaves it zero rather than half read.
    if (dataLength >= r + kDischargeTimeAt + kTimeStampBytes) {
      for (size_t i = 0; i < kTimeStampBytes; ++i)
        report.discharged[i] = SwappedBcdValue(reply.At(r + kDischargeTimeAt + i));
    }
    CopyField(record.text, sizeof record.text, StatusReportText(static_cast<uint8_t>(report.status)));
  } else if (eightBitCoding || ucs2Coding) {
    if (userData + declared > dataLength) return outcome;
    record.eightBit = 1;
    std::memcpy(record.text, reply.bytes + userData, declared);
    if (!eightBitCoding) {
      record.ucs2 = 1;
      outcome.dumpUcs2Text = true;
    }
  } else {
    const int fill = FillBitsAfterHeader(headerOctets);
    const size_t headerSeptets = (8 * headerOctets + static_cast<size_t>(fill)) / 7;
    if (headerSeptets > declared || userData + PackedOctets(declared, 0) > dataLength ||
        userData + headerOctets > dataLength)
      return outcome;
    const size_t septets = declared - headerSeptets;
    uint8_t codes[256];
    const size_t count = UnpackSeptets(reply.bytes + userData + headerOctets, dataLength - userData - headerOctets,
                                       fill, septets, codes);
    record.eightBit = 0;
    for (size_t i = 0; i < count; ++i) record.text[i] = GsmToChar(codes[i]);
  }
  record.userDataLength = layout.kind != kSmsKindStatusReport && record.eightBit != 0
                              ? static_cast<int32_t>(declared)
                              : static_cast<int32_t>(std::strlen(record.text));
  if (layout.kind != kSmsKindStatusReport) {
    SmsRecord::Received &kept = record.received;
    kept.coding = coding;
    kept.declaredLength = static_cast<uint8_t>(declared);
    kept.headerOctets = static_cast<uint8_t>(headerOctets < 255 ? headerOctets : 255);
    const size_t available = dataLength - userData;
    const size_t octets = available < sizeof kept.userData ? available : sizeof kept.userData;
    std::memcpy(kept.userData, reply.bytes + userData, octets);
    kept.userDataOctets = static_cast<uint8_t>(octets);
    const size_t pduOctets =
        dataLength - kCentreFieldByte < sizeof kept.pdu ? dataLength - kCentreFieldByte : sizeof kept.pdu;
    std::memcpy(kept.pdu, reply.bytes + kCentreFieldByte, pduOctets);
    kept.pduOctets = static_cast<uint8_t>(pduOctets);
  }
  for (size_t i = 0; i < sizeof record.received.origin; ++i) record.received.origin[i] = reply.At(r + kOriginAt + i);
  outcome.dumpMessage = layout.kind != kSmsKindStatusReport && ucs2Coding;
  outcome.status = 0;
  return outcome;
}

}  // namespace pelkor
