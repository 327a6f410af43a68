#include "sms/sms_send.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/sleep.h"
#include "sms/number_codec.h"
#include "sms/sms_submit.h"
#include "link/request_writer.h"

namespace pelkor {

namespace {

constexpr int32_t kSendChecks = 700;
constexpr int32_t kSendStepMs = 10;
constexpr int32_t kCentreChecks = 100;
constexpr int32_t kCentreStepMs = 10;

constexpr size_t kPartCharacters = 153;  // 160 septets less the 7 of the concatenation header
constexpr size_t kMaxParts = 255;        // the header counts parts in one byte
constexpr int32_t kPauseBetweenPartsMs = 1000;
constexpr size_t kUcs2FileMaxBytes = 255;

constexpr auto kCentreQuery = CommandRequest(0x33, 0x64);

bool ValidNumber(const char *text) {
  uint8_t scratch[kEncodedNumberBytes];
  return EncodeNumber(text, scratch, sizeof scratch) != kInvalidNumber;
}

// The fields every text and UCS-2 send sets; the rest keep what earlier calls left.
void PrepareSend(SmsRecord &record, const char *destination, int32_t centreIndex, int32_t options, bool ucs2) {
  record.kind = kSmsKindStoredOutgoing;
  record.messageClass = options & 0xFFFF;
  record.statusReport = (options >> 16) & 1;
  record.eightBit = ucs2 ? 1 : 0;
  record.ucs2 = ucs2 ? 1 : 0;
  record.validityMinutes = kSmsValidityMinutes;
  record.centreIndex = centreIndex;
  CopyField(record.destination, sizeof record.destination, destination);
}

}  // namespace

void PrepareSmsSendRecord() {
  Sms().sendRecord = SmsRecord{};
  Sms().sendRecord.centreIndex = 1;
}

int32_t FetchMessageCentre(SmsRecord &record) {
  std::memset(record.centreNumber, 0, sizeof record.centreNumber);
  uint8_t query[kCentreQuery.size() + 1];
  std::memcpy(query, kCentreQuery.data(), kCentreQuery.size());
  query[kCentreQuery.size()] = static_cast<uint8_t>(record.centreIndex & 0xFF);
  return RunExchange(Sms().centreTarget, record, Sms().centreCell, kSmsSendType, query, sizeof query, kCentreChecks,
                     kCentreStepMs);
}

int32_t SendSmsRecord(SmsRecord &record, int32_t dataLength) {
  SubmitRequest request;
  // Everything that can be refused locally is refused before the phone is asked.
  int32_t built = BuildSubmitRequest(record, dataLength, request);
  if (built != kResultOk) return built;
  if (record.centreIndex != 0 && record.centreNumber[0] == '\0') {
    const int32_t fetched = FetchMessageCentre(record);
    if (fetched != kResultOk) return fetched;
    built = BuildSubmitRequest(record, dataLength, request);
    if (built != kResultOk) return built;
  }
  record.userDataLength = request.userDataLength;

  record.messageReference = -1;
  const int32_t result = RunExchange(Sms().sendTarget, record, Sms().sendCell, kSmsSendType, request.bytes,
                                     request.length, kSendChecks, kSendStepMs);
  if (result != kSmsSent) return result;
  NoteSentReference(record.messageReference);
  return kResultOk;
}

void ClearSentReferences() { Sms().sentReferenceCount = 0; }

void NoteSentReference(int32_t reference) {
  SmsSession &sms = Sms();
  if (static_cast<size_t>(sms.sentReferenceCount) < kMaxSentParts)
    sms.sentReferences[sms.sentReferenceCount++] = reference;
}

int32_t GetSentReferences(int32_t *references, int32_t size) {
  if (size < 0 || (references == nullptr && size > 0)) return -1;
  const SmsSession &sms = Sms();
  const int32_t copied = std::min(size, sms.sentReferenceCount);
  for (int32_t i = 0; i < copied; ++i) references[i] = sms.sentReferences[i];
  return sms.sentReferenceCount;
}

int32_t SendSmartMessage(const char *destination, const uint8_t *header, size_t headerLength, const uint8_t *payload,
                         size_t length) {
  ClearSentReferences();
  SmsRecord &record = Sms().sendRecord;
  if (length > sizeof record.text || headerLength > sizeof record.header) return kResultRefused;
  record.kind = kSmsKindStoredOutgoing;
  record.messageClass = 1;
  record.eightBit = 1;
  record.ucs2 = 0;
  record.validityMinutes = kSmsValidityMinutes;
  CopyField(record.destination, sizeof record.destination, destination);
  std::memset(record.header, 0, sizeof record.header);
  std::memcpy(record.header, header, headerLength);
  record.hasHeader = 1;
  std::memset(record.text, 0, sizeof record.text);
  std::memcpy(record.text, payload, length);
  return SendSmsRecord(record, static_cast<int32_t>(length));
}

int32_t SendTextMessage(const char *destination, const char *text, int32_t centreIndex, int32_t options) {
  ClearSentReferences();
  if (text == nullptr) text = "";
  if (!ValidNumber(destination)) return kResultRefused;
  SmsRecord &record = Sms().sendRecord;
  PrepareSend(record, destination, centreIndex, options, false);

  const size_t length = std::strlen(text);
  if (length <= kMaxSingleText) {
    record.hasHeader = 0;
    CopyField(record.text, sizeof record.text, text);
    return SendSmsRecord(record, 0);
  }

  const size_t parts = (length + kPartCharacters - 1) / kPartCharacters;
  if (parts > kMaxParts) return kResultRefused;
  record.hasHeader = 1;
  for (size_t part = 1; part <= parts; ++part) {
    if (part > 1) platform::SleepMs(kPauseBetweenPartsMs);
    const uint8_t header[] = {0x05, 0x00, 0x03, 0x01, static_cast<uint8_t>(parts), static_cast<uint8_t>(part)};
    std::memset(record.header, 0, sizeof record.header);
    std::memcpy(record.header, header, sizeof header);
    std::memset(record.text, 0, sizeof record.text);
    std::memcpy(record.text, text + (part - 1) * kPartCharacters,
                std::min(kPartCharacters, length - (part - 1) * kPartCharacters));
    const int32_t result = SendSmsRecord(record, 0);
    if (result != kResultOk) return result;  // later parts are not sent
  }
  return kResultOk;
}

int32_t SendUcs2File(const char *destination, const char *fileName, int32_t centreIndex, int32_t options) {
  ClearSentReferences();
  SmsRecord &record = Sms().sendRecord;
  PrepareSend(record, destination, centreIndex, options, true);
  record.hasHeader = 0;
  if (!ValidNumber(destination)) return kResultRefused;
  if (fileName == nullptr || fileName[0] == '\0') return kResultRefused;
  std::FILE *file = std::fopen(fileName, "rb");
  if (file == nullptr) return kResultRefused;
  uint8_t mark[2];
  size_t length = 0;
  uint8_t data[kUcs2FileMaxBytes] = {};
  if (std::fread(mark, 1, sizeof mark, file) == sizeof mark) length = std::fread(data, 1, sizeof data, file);
  const bool unreadable = std::ferror(file) != 0;  // a directory opens, but does not read
  std::fclose(file);
  // Nothing to send: the source could not be read or holds no whole character after
  // its byte-order mark. An empty message is not what the caller asked for.
  if (unreadable || length < 2) return kResultRefused;

  std::memset(record.text, 0, sizeof record.text);
  std::memcpy(record.text, data, length);
  return SendSmsRecord(record, static_cast<int32_t>(length));
}

int32_t SetMessageCentre(int32_t centreIndex, const char *number) {
  // A set on the phone is looked up when it is next needed.
  CopyField(Sms().sendRecord.centreNumber, sizeof Sms().sendRecord.centreNumber, centreIndex != 0 ? "" : number);
  Sms().sendRecord.centreIndex = centreIndex;
  return kResultOk;
}

int32_t GetMessageCentre(char *buffer, int32_t size) {
  if (Sms().sendRecord.centreIndex != 0 && Sms().sendRecord.centreNumber[0] == '\0')
    FetchMessageCentre(Sms().sendRecord);
  CopyToCaller(buffer, size, Sms().sendRecord.centreNumber);
  return Sms().sendRecord.centreIndex;
}

}  // namespace pelkor
