#pragma once
// Sending short messages through the phone: the one send record, the SMS transport
// that every sender uses (text, UCS-2 and the Smart Messaging payloads of the ringtone
// and logo senders) and the message-centre setting.
//
// The Smart Messaging senders (ringtone, logo) go through SendSmartMessage.
#include <cstdint>

#include "transaction/transaction.h"
#include "sms/sms_record.h"
#include "sms/sms_session.h"
#include "transaction/result_codes.h"

namespace pelkor {

constexpr int32_t kSmsValidityMinutes = 4320;  // three days, for every sender

// Sends one message built from record. dataLength counts the raw bytes of text for
// 8-bit and UCS-2 messages. 0 sent; 4 no verdict in time; 19 refused; 21 text over
// 160 characters without a header; 22 invalid number, user data over 140 octets or
// message centre refused; or 4 from the message-centre query.
int32_t SendSmsRecord(SmsRecord &record, int32_t dataLength);

// Asks the phone for the number of message centre record.centreIndex and stores it in
// record. 0, 22 (refused) or 4.
int32_t FetchMessageCentre(SmsRecord &record);

// Sends a Smart Messaging payload through the send record: 8-bit, class 1, valid three
// days, with `header` (its first byte is its length, e.g. the port addressing
// 06 05 04 <dst hi> <dst lo> <src hi> <src lo>) before `payload`. The status report
// and the message centre stay as earlier calls left them. 22 when the payload or the
// header is larger than the record holds; otherwise as SendSmsRecord.
int32_t SendSmartMessage(const char *destination, const uint8_t *header, size_t headerLength, const uint8_t *payload,
                         size_t length);

// sendsms: text in the host's 8-bit characters, split into concatenated parts of 153
// characters when longer than 160. options: class in bits 0-15, bit 16 status report.
int32_t SendTextMessage(const char *destination, const char *text, int32_t centreIndex, int32_t options);

// senducs2: big-endian UCS-2 from a file whose first two bytes are a byte-order mark.
int32_t SendUcs2File(const char *destination, const char *fileName, int32_t centreIndex, int32_t options);

// The references the phone gave the parts of the last send. Every sender starts with
// ClearSentReferences; NoteSentReference adds the reference of a part the phone
// confirmed. GetSentReferences copies up to size of them and returns how many there
// are; -1 for size < 0, or a null array with size > 0.
void ClearSentReferences();
void NoteSentReference(int32_t reference);
int32_t GetSentReferences(int32_t *references, int32_t size);

int32_t SetMessageCentre(int32_t centreIndex, const char *number);
int32_t GetMessageCentre(char *buffer, int32_t size);

// Session hook: the first answered init of the process clears the send record and
// selects message centre 1.
void PrepareSmsSendRecord();

}  // namespace pelkor
