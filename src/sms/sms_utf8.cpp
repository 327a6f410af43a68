#include "sms/sms_utf8.h"

#include <atomic>
#include <cstring>

#include "platform/sleep.h"
#include "sms/septet_packing.h"
#include "sms/sms_send.h"

namespace pelkor {

namespace {

constexpr int32_t kSendChecks = 700;
constexpr int32_t kSendStepMs = 10;
constexpr int32_t kPauseBetweenPartsMs = 1000;
constexpr size_t kMaxParts = 255;  // the header counts parts in one byte
constexpr size_t kConcatHeaderOctets = 6;
constexpr size_t kFirstOctetByte = 18;
constexpr size_t kUserDataLengthByte = 22;
constexpr uint8_t kHeaderIndicator = 0x40;
constexpr uint8_t kAlphanumericType = 0x50;  // type-of-number bits 6-4 = 101

// Packs GSM codes (already codes, not host characters) from bit fillBits of out.
size_t PackCodes(const uint8_t *codes, size_t count, int fillBits, uint8_t *out, size_t capacity) {
  const size_t octets = PackedOctets(count, fillBits);
  if (octets > capacity) return 0;
  std::memset(out, 0, octets);
  for (size_t n = 0; n < count; ++n) {
    for (size_t b = 0; b < 7; ++b) {
      if ((codes[n] >> b) & 1) {
        const size_t bit = static_cast<size_t>(fillBits) + 7 * n + b;
        out[bit / 8] = static_cast<uint8_t>(out[bit / 8] | (1u << (bit % 8)));
      }
    }
  }
  return octets;
}

void PrepareRecord(SmsRecord &record, const char *destination, int32_t centreIndex, int32_t options) {
  record.kind = kSmsKindStoredOutgoing;
  record.messageClass = options & 0xFFFF;
  record.statusReport = (options >> 16) & 1;
  record.validityMinutes = kSmsValidityMinutes;
  record.centreIndex = centreIndex;
  CopyField(record.destination, sizeof record.destination, destination);
}

bool IsEightBitCoding(uint8_t coding) { return (coding & 0xF4) == 0xF4 || (coding & 0xCC) == 0x04; }

// Sends the request built for one part, fetching the message centre first when the
// record names a set whose number is not known yet.
int32_t SendPart(SmsRecord &record, const SmsTextParts &split, size_t part, uint8_t reference) {
  SubmitRequest request;
  int32_t built = BuildUtf8SubmitRequest(record, split, part, reference, request);
  if (built != 0) return built;
  if (record.centreIndex != 0 && record.centreNumber[0] == '\0') {
    const int32_t fetched = FetchMessageCentre(record);
    if (fetched != 0) return fetched;
    built = BuildUtf8SubmitRequest(record, split, part, reference, request);
    if (built != 0) return built;
  }
  record.userDataLength = request.userDataLength;
  record.messageReference = -1;
  const int32_t result = RunExchange(Sms().sendTarget, record, Sms().sendCell, kSmsSendType, request.bytes,
                                     request.length, kSendChecks, kSendStepMs);
  if (result != kSmsSent) return result;
  NoteSentReference(record.messageReference);
  return 0;
}

uint8_t NextReference() {
  static std::atomic<uint32_t> counter{0};
  return static_cast<uint8_t>(counter.fetch_add(1) % 255 + 1);  // 1 ... 255
}

}  // namespace

int32_t PlanUtf8Message(const char *text, int32_t *parts, int32_t *ucs2) {
  if (parts != nullptr) *parts = 0;
  if (ucs2 != nullptr) *ucs2 = 0;
  SmsTextParts split;
  if (!SplitSmsText(text != nullptr ? text : "", split) || split.parts.size() > kMaxParts) return kResultRefused;
  if (parts != nullptr) *parts = static_cast<int32_t>(split.parts.size());
  if (ucs2 != nullptr) *ucs2 = split.ucs2 ? 1 : 0;
  return 0;
}

int32_t BuildUtf8SubmitRequest(SmsRecord &record, const SmsTextParts &split, size_t part, uint8_t reference,
                               SubmitRequest &out) {
  if (part >= split.parts.size() || split.parts.size() > kMaxParts) return kResultRefused;
  const std::vector<uint8_t> &data = split.parts[part];
  const bool concatenated = split.parts.size() > 1;
  const uint8_t header[kConcatHeaderOctets] = {
      0x05, 0x00, 0x03, reference, static_cast<uint8_t>(split.parts.size()), static_cast<uint8_t>(part + 1)};
  std::memset(record.header, 0, sizeof record.header);
  std::memset(record.text, 0, sizeof record.text);

  if (split.ucs2) {
    // The common builder sends UCS-2 without a header; the concatenation header goes
    // in front of the text bytes and the header indicator is set afterwards.
    const size_t headerOctets = concatenated ? kConcatHeaderOctets : 0;
    if (headerOctets + data.size() > kSmsUserDataSize) return kResultRefused;
    record.eightBit = 1;
    record.ucs2 = 1;
    record.hasHeader = 0;
    std::memcpy(record.text, header, headerOctets);
    if (!data.empty()) std::memcpy(record.text + headerOctets, data.data(), data.size());
    const int32_t built = BuildSubmitRequest(record, static_cast<int32_t>(headerOctets + data.size()), out);
    if (built != 0) return built;
    if (concatenated) out.bytes[kFirstOctetByte] |= kHeaderIndicator;
    return 0;
  }

  // 7-bit: the builder lays out the header (if any) with an empty text; the septets,
  // escapes included, are packed after it here.
  record.eightBit = 0;
  record.ucs2 = 0;
  record.hasHeader = concatenated ? 1 : 0;
  if (concatenated) std::memcpy(record.header, header, sizeof header);
  const int32_t built = BuildSubmitRequest(record, 0, out);
  if (built != 0) return built;
  const size_t headerOctets = concatenated ? kConcatHeaderOctets : 0;
  const int fill = FillBitsAfterHeader(headerOctets);
  const size_t room = kMaxUserDataOctets - headerOctets;
  const size_t packed =
      PackCodes(data.data(), data.size(), fill, out.bytes + kSubmitUserDataOffset + headerOctets, room);
  if (packed == 0 && !data.empty()) return kResultRefused;
  out.length = kSubmitUserDataOffset + headerOctets + packed;
  out.userDataLength += static_cast<int32_t>(data.size());
  out.bytes[kUserDataLengthByte] = static_cast<uint8_t>(out.userDataLength);
  return 0;
}

int32_t SendUtf8Part(const char *destination, const char *text, int32_t centreIndex, int32_t options, int32_t reference,
                     int32_t part) {
  ClearSentReferences();
  if (destination == nullptr || destination[0] == '\0') return kResultRefused;  // to nobody
  SmsTextParts split;
  if (!SplitSmsText(text != nullptr ? text : "", split)) return kResultRefused;
  if (part < 1 || static_cast<size_t>(part) > split.parts.size()) return kResultRefused;
  SmsRecord &record = Sms().sendRecord;
  PrepareRecord(record, destination, centreIndex, options);
  return SendPart(record, split, static_cast<size_t>(part - 1), static_cast<uint8_t>(reference & 0xFF));
}

int32_t SendUtf8Message(const char *destination, const char *text, int32_t centreIndex, int32_t options,
                        int32_t *partsSent) {
  if (partsSent != nullptr) *partsSent = 0;
  ClearSentReferences();
  if (destination == nullptr || destination[0] == '\0') return kResultRefused;  // to nobody
  SmsTextParts split;
  if (!SplitSmsText(text != nullptr ? text : "", split) || split.parts.size() > kMaxParts) return kResultRefused;
  SmsRecord &record = Sms().sendRecord;
  PrepareRecord(record, destination, centreIndex, options);
  const uint8_t reference = split.parts.size() > 1 ? NextReference() : 0;
  for (size_t part = 0; part < split.parts.size(); ++part) {
    if (part > 0) platform::SleepMs(kPauseBetweenPartsMs);
    const int32_t result = SendPart(record, split, part, reference);
    if (result != 0) return result;  // later parts are not sent
    if (partsSent != nullptr) *partsSent = static_cast<int32_t>(part + 1);
  }
  return 0;
}

std::string RecordTextUtf8(const SmsRecord &record) {
  if (record.kind == kSmsKindStatusReport) return record.text;
  const SmsRecord::Received &kept = record.received;
  const size_t octets = kept.userDataOctets;
  const size_t header = kept.headerOctets < octets ? kept.headerOctets : octets;
  const uint8_t *data = kept.userData;
  const bool ucs2 = (kept.coding & 0x08) != 0;
  if (IsEightBitCoding(kept.coding) || ucs2) {
    size_t length = kept.declaredLength < octets ? kept.declaredLength : octets;
    length = length > header ? length - header : 0;
    return IsEightBitCoding(kept.coding) ? DecodeLatin1(data + header, length) : DecodeUcs2(data + header, length);
  }
  const int fill = FillBitsAfterHeader(header);
  const size_t headerSeptets = (8 * header + static_cast<size_t>(fill)) / 7;
  if (headerSeptets > kept.declaredLength) return "";
  uint8_t codes[256];
  const size_t count = UnpackSeptets(data + header, octets - header, fill, kept.declaredLength - headerSeptets, codes);
  return DecodeGsmSeptets(codes, count);
}

std::string RecordSenderUtf8(const SmsRecord &record) {
  const uint8_t *origin = record.received.origin;
  // The reader's own decoding: digits, or a name in Latin-1.
  if (record.kind == kSmsKindStoredOutgoing || (origin[1] & 0x70) != kAlphanumericType)
    return DecodeLatin1(reinterpret_cast<const uint8_t *>(record.sender), strnlen(record.sender, sizeof record.sender));
  // An alphanumeric address: its length counts the semi-octets the packed name uses.
  const size_t semiOctets = origin[0] < 2 * (kSmsAddressFieldSize - 2) ? origin[0] : 2 * (kSmsAddressFieldSize - 2);
  const size_t septets = semiOctets * 4 / 7;
  uint8_t codes[kSmsAddressFieldSize * 8 / 7 + 1];
  const size_t count = UnpackSeptets(origin + 2, (semiOctets + 1) / 2, 0, septets, codes);
  return DecodeGsmSeptets(codes, count);
}

}  // namespace pelkor
