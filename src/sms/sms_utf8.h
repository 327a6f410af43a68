#pragma once
// UTF-8 beside the 8-bit SMS functions: sending a UTF-8 text in the GSM alphabet (with
// its extension table) or in UCS-2, as one message or concatenated parts, and the text
// and sender of a read message as UTF-8 whatever its coding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sms/sms_record.h"
#include "sms/sms_submit.h"
#include "sms/utf8_text.h"

namespace pelkor {

// Splits a text as the UTF-8 sender will: the number of parts and whether they go as
// UCS-2. 0, or 22 for text that is not UTF-8 or needs more than 255 parts.
int32_t PlanUtf8Message(const char *text, int32_t *parts, int32_t *ucs2);

// Builds the send request for part `part` (0-based) of `split`; the record supplies the
// destination, centre, class and status-report request. A split of several parts
// carries the concatenation header with `reference`. 0, or 22 as BuildSubmitRequest.
int32_t BuildUtf8SubmitRequest(SmsRecord &record, const SmsTextParts &split, size_t part, uint8_t reference,
                               SubmitRequest &out);

// Sends one part (1-based) of a text's split, as the whole sender would. 0 sent; 4, 19,
// 22 as SendSmsRecord; 22 also for text that is not UTF-8, a part it does not have or
// an empty destination.
int32_t SendUtf8Part(const char *destination, const char *text, int32_t centreIndex, int32_t options, int32_t reference,
                     int32_t part);

// Sends every part, one second apart; *partsSent (if given) counts the parts the phone
// confirmed, also when a later part fails (the rest are not sent).
int32_t SendUtf8Message(const char *destination, const char *text, int32_t centreIndex, int32_t options,
                        int32_t *partsSent);

// The text of a read record as UTF-8: 7-bit text through the extension table, 8-bit
// data as Latin-1, UCS-2 with surrogate pairs; the header is left out.
std::string RecordTextUtf8(const SmsRecord &record);

// The sender of a read record: an alphanumeric address as its text, else the number.
std::string RecordSenderUtf8(const SmsRecord &record);

}  // namespace pelkor
