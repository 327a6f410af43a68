// Extensions: what a listed message's header and coding say, and its raw bytes, for
// hosts that store messages whole (gateways joining concatenated parts); the fields of
// a listed status report and the references of the last send, for hosts that pair
// reports with what they sent.
#include <pelkor16.h>

#include <cstring>

#include "services/bounded_copy.h"
#include "transaction/result_codes.h"
#include "sms/sms_details.h"
#include "sms/sms_send.h"
#include "sms/sms_store.h"

namespace {

void Put(int32_t *out, int32_t value) {
  if (out != nullptr) *out = value;
}

void PutStamp(int32_t *out, const int32_t (&values)[6]) {
  if (out == nullptr) return;
  for (size_t i = 0; i < 6; ++i) out[i] = values[i];
}

}  // namespace

extern "C" {

PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsgdetails(int32_t kind_code, int32_t n, int32_t *coding_scheme,
                                                       int32_t *message_class, int32_t *concat_reference,
                                                       int32_t *concat_part, int32_t *concat_total) {
  const pelkor::SmsRecord *entry = pelkor::FindEntry(kind_code, n);
  const pelkor::SmsDetails details = entry != nullptr ? pelkor::DetailsOf(*entry) : pelkor::SmsDetails{};
  Put(coding_scheme, details.codingScheme);
  Put(message_class, details.messageClass);
  Put(concat_reference, details.concatReference);
  Put(concat_part, details.concatPart);
  Put(concat_total, details.concatTotal);
  return entry != nullptr ? pelkor::kResultOk : pelkor::kResultNotFound;
}

PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsgpdu(int32_t kind_code, int32_t n, uint8_t *buffer, int32_t size) {
  const pelkor::SmsRecord *entry = pelkor::FindEntry(kind_code, n);
  if (entry == nullptr) return pelkor::kResultNotFound;
  const pelkor::SmsRecord::Received &kept = entry->received;
  if (buffer == nullptr || size < kept.pduOctets) return kept.pduOctets;  // the size it needs
  std::memcpy(buffer, kept.pdu, kept.pduOctets);
  return kept.pduOctets;
}

PELKOR_API int32_t PELKOR_CALL pelkor_getsendreferences(int32_t *references, int32_t size) {
  return pelkor::GetSentReferences(references, size);
}

PELKOR_API int32_t PELKOR_CALL pelkor_getsmsreportdetails(int32_t n, int32_t *reference, char *recipient,
                                                          int32_t recipient_size, int32_t *submitted,
                                                          int32_t *discharged, int32_t *status) {
  const pelkor::SmsRecord *entry = pelkor::FindEntry(pelkor::kKindCodeStatusReport, n);
  const pelkor::SmsRecord none;
  const pelkor::SmsRecord &from = entry != nullptr ? *entry : none;
  Put(reference, from.report.reference);
  Put(status, from.report.status);
  const int32_t stamp[6] = {from.year, from.month, from.day, from.hour, from.minute, from.second};
  PutStamp(submitted, stamp);
  PutStamp(discharged, from.report.discharged);
  pelkor::CopyToCaller(recipient, recipient_size, from.sender);
  return entry != nullptr ? pelkor::kResultOk : pelkor::kResultNotFound;
}

}  // extern "C"
