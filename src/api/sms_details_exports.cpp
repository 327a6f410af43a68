// Extensions: what a listed message's header and coding say, and its raw bytes, for
// hosts that store messages whole (gateways joining concatenated parts); the fields of
// a listed status report and the references of the last send, for hosts that pair
// reports with what they sent.
#include <pelkor16.h>

#include "sms/listed_messages.h"
#include "transaction/result_codes.h"
#include "sms/sms_send.h"

extern "C" {

PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsgdetails(int32_t kind_code, int32_t n, int32_t *coding_scheme,
                                                       int32_t *message_class, int32_t *concat_reference,
                                                       int32_t *concat_part, int32_t *concat_total) {
  return pelkor::GetListedDetails(kind_code, n, coding_scheme, message_class, concat_reference, concat_part,
                                  concat_total);
}

PELKOR_API int32_t PELKOR_CALL pelkor_getsmsmsgpdu(int32_t kind_code, int32_t n, uint8_t *buffer, int32_t size) {
  return pelkor::GetListedPdu(kind_code, n, buffer, size);
}

PELKOR_API int32_t PELKOR_CALL pelkor_getsendreferences(int32_t *references, int32_t size) {
  return pelkor::GetSentReferences(references, size);
}

PELKOR_API int32_t PELKOR_CALL pelkor_getsmsreportdetails(int32_t n, int32_t *reference, char *recipient,
                                                          int32_t recipient_size, int32_t *submitted,
                                                          int32_t *discharged, int32_t *status) {
  return pelkor::GetReportDetails(n, reference, recipient, recipient_size, submitted, discharged, status);
}

}  // extern "C"
