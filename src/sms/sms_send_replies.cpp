// Replies of message type 0x02: the phone's verdict on a send and the message-centre
// details.
#include <cstring>

#include "sms/number_codec.h"
#include "sms/reply_routes.h"
#include "sms/sms_send.h"

namespace pelkor {

namespace {

constexpr size_t kCentreIndexByte = 4;
constexpr size_t kReferenceByte = 5;
constexpr size_t kTrailerBytes = 2;  // frames-left and sequence of the last frame
constexpr size_t kCentreFieldByte = 21;
constexpr size_t kAddressFieldBytes = 2 + kNumberDigitBytes;  // length, type, digits

// The confirmation names the reference the phone gave the message in byte 5; the
// last frame's two trailer bytes follow the message.
void HandleSmsSent(const ReplyMessage &reply) {
  const int32_t reference = reply.length >= kReferenceByte + 1 + kTrailerBytes ? reply.At(kReferenceByte) : -1;
  Sms().sendTarget.Fill([&](SmsRecord &record) { record.messageReference = reference; });
  Sms().sendCell.Complete(kSmsSent);
}

void HandleSmsSendRefused(const ReplyMessage &) { Sms().sendCell.Complete(kResultSmsRefused); }

void HandleCentreStored(const ReplyMessage &) { Sms().centreCell.Complete(kResultOk); }

void HandleCentreDetails(const ReplyMessage &reply) {
  uint8_t field[kAddressFieldBytes];
  for (size_t i = 0; i < sizeof field; ++i) field[i] = reply.At(kCentreFieldByte + i);
  const NumberText number = DecodeNumber(field, sizeof field);
  Sms().centreTarget.Fill([&](SmsRecord &record) {
    record.centreIndex = reply.At(kCentreIndexByte);
    CopyField(record.centreNumber, sizeof record.centreNumber, number.text);
  });
  Sms().centreCell.Complete(kResultOk);
}

void HandleCentreRefused(const ReplyMessage &) { Sms().centreCell.Complete(kResultRefused); }

// Whether the request each reply answers is waiting for it.
bool SendWaits() { return Sms().sendTarget.Attached(); }
bool CentreWaits() { return Sms().centreCell.Holds(kPending); }

// Type 0x02: the verdict on a send, and the message centre.
const ReplyRoute kRows[] = {
    // type, command byte at, command, handler, awaited by
    {0x02, 3, 0x02, HandleSmsSent, SendWaits},         {0x02, 3, 0x03, HandleSmsSendRefused, SendWaits},
    {0x02, 3, 0x31, HandleCentreStored, CentreWaits},  {0x02, 3, 0x34, HandleCentreDetails, CentreWaits},
    {0x02, 3, 0x35, HandleCentreRefused, CentreWaits},
};

}  // namespace

const ReplyRouteTable kSmsSendReplies = RouteTable(kRows);

}  // namespace pelkor
