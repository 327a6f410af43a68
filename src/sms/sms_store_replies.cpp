// Replies of message type 0x14 (the message store) and the arrival notice (type 0x02,
// command 0x10). Store replies count only while a store transaction waits for one.
#include "sms/reply_handlers.h"
#include "sms/sms_dump_files.h"
#include "sms/sms_read_reply.h"
#include "sms/sms_send.h"
#include "sms/sms_store.h"

namespace pelkor {

namespace {

constexpr size_t kRefusalCodeByte = 4;
constexpr uint8_t kRefusedInvalidLocation = 0x02;
constexpr uint8_t kRefusedEmptyLocation = 0x07;
constexpr size_t kUnreadByte = 11;
constexpr size_t kTotalByte = 10;
constexpr size_t kArrivalLocationByte = 5;

}  // namespace

void HandleSmsRead(const ReplyMessage &reply) {
  SmsTarget().Fill([&](SmsRecord &record) {
    const ReadReplyOutcome outcome = DecodeReadReply(reply, record);
    if (outcome.dumpMessage) {
      const int32_t n = NextUcs2DumpNumber();
      WriteUcs2MessageDump(n, reply.bytes, reply.length);
      if (outcome.dumpUcs2Text) {
        WriteUcs2TextDump(n, reinterpret_cast<const uint8_t *>(record.text),
                          static_cast<size_t>(record.userDataLength));
      }
    }
    SmsStatus().Complete(outcome.status);
  });
}

void HandleSmsReadRefused(const ReplyMessage &reply) {
  SmsTarget().Fill([&](SmsRecord &) {
    switch (reply.At(kRefusalCodeByte)) {
      case kRefusedInvalidLocation:
        SmsStatus().Complete(kResultSmsInvalidLocation);
        break;
      case kRefusedEmptyLocation:
        SmsStatus().Complete(kResultSmsReadError);
        break;
      default:
        break;  // other codes leave the read waiting
    }
  });
}

void HandleSmsDeleted(const ReplyMessage &) {
  SmsTarget().Fill([](SmsRecord &) { SmsStatus().Complete(0); });
}

void HandleSmsCounts(const ReplyMessage &reply) {
  SmsTarget().Fill([&](SmsRecord &) {
    CountsTarget().Fill([&](SmsCounts &counts) {
      counts.unread = reply.At(kUnreadByte);
      counts.total = reply.At(kTotalByte);
    });
    CountsStatus().Complete(0);
  });
}

void HandleSmsStoreOther(const ReplyMessage &) {
  SmsTarget().Fill([](SmsRecord &) { CountsStatus().Complete(kResultRefused); });
}

void HandleSmsArrival(const ReplyMessage &reply) { NoteSmsArrival(reply.At(kArrivalLocationByte)); }

}  // namespace pelkor
