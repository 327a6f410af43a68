// Replies of message type 0x02: the phone's verdict on a send and the message-centre
// details.
#include <cstring>

#include "sms/number_codec.h"
#include "sms/reply_handlers.h"
#include "sms/sms_send.h"

namespace pelkor {

namespace {

constexpr size_t kCentreIndexByte = 4;
constexpr size_t kCentreFieldByte = 21;
constexpr size_t kAddressFieldBytes = 2 + kNumberDigitBytes;  // length, type, digits

// The verdict ends only a send that is waiting for one.
void CompleteSend(int32_t verdict) {
  SmsTarget().Fill([verdict](SmsRecord &) { SmsStatus().Complete(verdict); });
}

}  // namespace

void HandleSmsSent(const ReplyMessage &) { CompleteSend(kSmsSent); }

void HandleSmsSendRefused(const ReplyMessage &) { CompleteSend(kResultSmsRefused); }

void HandleCentreStored(const ReplyMessage &) { CentreStatus().Complete(0); }

void HandleCentreDetails(const ReplyMessage &reply) {
  uint8_t field[kAddressFieldBytes];
  for (size_t i = 0; i < sizeof field; ++i) field[i] = reply.At(kCentreFieldByte + i);
  const NumberText number = DecodeNumber(field, sizeof field);
  CentreTarget().Fill([&](SmsRecord &record) {
    record.centreIndex = reply.At(kCentreIndexByte);
    CopyField(record.centreNumber, sizeof record.centreNumber, number.text);
  });
  CentreStatus().Complete(0);
}

void HandleCentreRefused(const ReplyMessage &) { CentreStatus().Complete(kResultRefused); }

}  // namespace pelkor
