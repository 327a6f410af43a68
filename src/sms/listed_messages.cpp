#include "sms/listed_messages.h"

#include <cstddef>
#include <cstring>

#include "transaction/result_codes.h"
#include "sms/sms_details.h"
#include "sms/sms_store.h"
#include "sms/sms_utf8.h"
#include "transaction/bounded_copy.h"

namespace pelkor {
namespace {

void Put(int32_t *out, int32_t value) {
  if (out != nullptr) *out = value;
}

void PutStamp(int32_t *out, const int32_t (&values)[6]) {
  if (out == nullptr) return;
  for (size_t i = 0; i < 6; ++i) out[i] = values[i];
}

}  // namespace

int32_t GetListedField(int32_t kindCode, int32_t n, int32_t field, char *buffer, int32_t size) {
  CopyToCaller(buffer, size, "");
  const SmsRecord *entry = FindEntry(kindCode, n);
  if (entry == nullptr) return kResultNotFound;
  switch (field) {
    case 1:
      CopyToCaller(buffer, size, entry->text);
      break;
    case 2:
      CopyToCaller(buffer, size, entry->sender);
      break;
    case 3:
      CopyToCaller(buffer, size, entry->destination);
      break;
    default:
      break;
  }
  return kResultOk;
}

int32_t GetListedTime(int32_t kindCode, int32_t n, int32_t *year, int32_t *month, int32_t *day, int32_t *hour,
                      int32_t *minute, int32_t *second) {
  const SmsRecord *entry = FindEntry(kindCode, n);
  const SmsRecord none;
  const SmsRecord &from = entry != nullptr ? *entry : none;
  int32_t *out[] = {year, month, day, hour, minute, second};
  const int32_t values[] = {from.year, from.month, from.day, from.hour, from.minute, from.second};
  for (size_t i = 0; i < 6; ++i) Put(out[i], values[i]);
  return entry != nullptr ? kResultOk : kResultNotFound;
}

int32_t ListedReadOrSent(int32_t kindCode, int32_t n) {
  const SmsRecord *entry = FindEntry(kindCode, n);
  return entry != nullptr && entry->readOrSent == 1 ? 1 : 0;
}

int32_t ListedLocation(int32_t kindCode, int32_t n) {
  const SmsRecord *entry = FindEntry(kindCode, n);
  return entry != nullptr ? entry->location : kResultNotFound;
}

int32_t GetListedTextUtf8(int32_t kindCode, int32_t n, char *buffer, int32_t size) {
  CopyToCaller(buffer, size, "");
  const SmsRecord *entry = FindEntry(kindCode, n);
  if (entry == nullptr) return kResultNotFound;
  CopyToCaller(buffer, size, RecordTextUtf8(*entry), TextCut::kBetweenUtf8Characters);
  return kResultOk;
}

int32_t GetListedSenderUtf8(int32_t kindCode, int32_t n, char *buffer, int32_t size) {
  CopyToCaller(buffer, size, "");
  const SmsRecord *entry = FindEntry(kindCode, n);
  if (entry == nullptr) return kResultNotFound;
  CopyToCaller(buffer, size, RecordSenderUtf8(*entry), TextCut::kBetweenUtf8Characters);
  return kResultOk;
}

int32_t GetListedDetails(int32_t kindCode, int32_t n, int32_t *codingScheme, int32_t *messageClass,
                         int32_t *concatReference, int32_t *concatPart, int32_t *concatTotal) {
  const SmsRecord *entry = FindEntry(kindCode, n);
  const SmsDetails details = entry != nullptr ? DetailsOf(*entry) : SmsDetails{};
  Put(codingScheme, details.codingScheme);
  Put(messageClass, details.messageClass);
  Put(concatReference, details.concatReference);
  Put(concatPart, details.concatPart);
  Put(concatTotal, details.concatTotal);
  return entry != nullptr ? kResultOk : kResultNotFound;
}

int32_t GetListedPdu(int32_t kindCode, int32_t n, uint8_t *buffer, int32_t size) {
  const SmsRecord *entry = FindEntry(kindCode, n);
  if (entry == nullptr) return kResultNotFound;
  const SmsRecord::Received &kept = entry->received;
  if (buffer == nullptr || size < kept.pduOctets) return kept.pduOctets;  // the size it needs
  std::memcpy(buffer, kept.pdu, kept.pduOctets);
  return kept.pduOctets;
}

int32_t GetReportDetails(int32_t n, int32_t *reference, char *recipient, int32_t recipientSize, int32_t *submitted,
                         int32_t *discharged, int32_t *status) {
  const SmsRecord *entry = FindEntry(kKindCodeStatusReport, n);
  const SmsRecord none;
  const SmsRecord &from = entry != nullptr ? *entry : none;
  Put(reference, from.report.reference);
  Put(status, from.report.status);
  const int32_t stamp[6] = {from.year, from.month, from.day, from.hour, from.minute, from.second};
  PutStamp(submitted, stamp);
  PutStamp(discharged, from.report.discharged);
  CopyToCaller(recipient, recipientSize, from.sender);
  return entry != nullptr ? kResultOk : kResultNotFound;
}

}  // namespace pelkor
