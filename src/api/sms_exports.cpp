// Exported entry points of the SMS family: sending, message centres and the message list.
#include <pelkor16.h>

#include "sms/listed_messages.h"
#include "sms/sms_send.h"
#include "sms/sms_store.h"
#include "transaction/result_codes.h"

extern "C" {

PELKOR_API int32_t PELKOR_CALL sendsms(const char *destination, const char *text, int32_t centre_index,
                                       int32_t options) {
  return pelkor::SendTextMessage(destination, text, centre_index, options);
}

PELKOR_API int32_t PELKOR_CALL senducs2(const char *destination, const char *file_name, int32_t centre_index,
                                        int32_t options) {
  return pelkor::SendUcs2File(destination, file_name, centre_index, options);
}

PELKOR_API int32_t PELKOR_CALL setsmsmessagecenter(int32_t centre_index, const char *number) {
  return pelkor::SetMessageCentre(centre_index, number);
}

PELKOR_API int32_t PELKOR_CALL getsmsmessagecenter(char *buffer, int32_t size) {
  return pelkor::GetMessageCentre(buffer, size);
}

PELKOR_API int32_t PELKOR_CALL updatesmslist(void) { return pelkor::UpdateSmsList(); }

PELKOR_API int32_t PELKOR_CALL getsmsmsgcount(int32_t kind_code) { return pelkor::CountEntries(kind_code); }

PELKOR_API int32_t PELKOR_CALL getsmsmsgunread(void) {
  int32_t counts[2] = {0, 0};
  pelkor::GetSmsCounts(counts);
  return counts[0];
}

PELKOR_API int32_t PELKOR_CALL getsmsmsgtotal(void) {
  int32_t counts[2] = {0, 0};
  pelkor::GetSmsCounts(counts);
  return counts[1];
}

PELKOR_API int32_t PELKOR_CALL getsmssentread(int32_t kind_code, int32_t n) {
  return pelkor::ListedReadOrSent(kind_code, n);
}

PELKOR_API int32_t PELKOR_CALL getsmsmsgdata(int32_t kind_code, int32_t n, int32_t field, char *buffer, int32_t size) {
  return pelkor::GetListedField(kind_code, n, field, buffer, size);
}

PELKOR_API int32_t PELKOR_CALL getsmsmsgdatetime(int32_t kind_code, int32_t n, int32_t *year, int32_t *month,
                                                 int32_t *day, int32_t *hour, int32_t *minute, int32_t *second) {
  return pelkor::GetListedTime(kind_code, n, year, month, day, hour, minute, second);
}

PELKOR_API int32_t PELKOR_CALL deletesmsmsg(int32_t kind_code, int32_t n) { return pelkor::DeleteEntry(kind_code, n); }

PELKOR_API int32_t PELKOR_CALL smsreceivedcount(void) { return pelkor::TakeArrival(); }

PELKOR_API int32_t PELKOR_CALL getsms(int32_t location, char *number, int32_t number_size, char *text,
                                      int32_t text_size) {
  return pelkor::ReadLocation(location, number, number_size, text, text_size);
}

}  // extern "C"
