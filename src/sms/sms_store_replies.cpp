// Replies of message type 0x14 (the message store) and the arrival notice (type 0x02,
// command 0x10). Store replies count only while a store transaction waits for one.
#include "sms/reply_routes.h"
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

void HandleSmsRead(const ReplyMessage &reply) {
  Sms().sendTarget.Fill([&](SmsRecord &record) {
    const ReadReplyOutcome outcome = DecodeReadReply(reply, record);
    if (outcome.dumpMessage) {
      const int32_t n = NextUcs2DumpNumber();
      WriteUcs2MessageDump(n, reply.bytes, reply.length);
      if (outcome.dumpUcs2Text) {
        WriteUcs2TextDump(n, reinterpret_cast<const uint8_t *>(record.text),
                          static_cast<size_t>(record.userDataLength));
      }
    }
    Sms().sendCell.Complete(outcome.status);
  });
}

void HandleSmsReadRefused(const ReplyMessage &reply) {
  switch (reply.At(kRefusalCodeByte)) {
    case kRefusedInvalidLocation:
      Sms().sendCell.Complete(kResultSmsInvalidLocation);
      break;
    case kRefusedEmptyLocation:
      Sms().sendCell.Complete(kResultSmsReadError);
      break;
    default:
      break;  // other codes leave the read waiting
  }
}

void HandleSmsDeleted(const ReplyMessage &) { Sms().sendCell.Complete(kResultOk); }

void HandleSmsCounts(const ReplyMessage &reply) {
  Sms().countsTarget.Fill([&](SmsCounts &counts) {
    counts.unread = reply.At(kUnreadByte);
    counts.total = reply.At(kTotalByte);
  });
  Sms().countsCell.Complete(kResultOk);
}

void HandleSmsStoreOther(const ReplyMessage &) { Sms().countsCell.Complete(kResultRefused); }

void HandleSmsArrival(const ReplyMessage &reply) { NoteSmsArrival(reply.At(kArrivalLocationByte)); }

// Whether the request each reply answers is waiting for it.
bool StoreRequestWaits() { return Sms().sendTarget.Attached(); }
bool CountsQueryWaits() { return Sms().countsTarget.Attached(); }

// The arrival notice comes whenever a message arrives; the store answers a read, a
// delete or the counts query. Any other type 0x14 reply ends a waiting counts query
// as refused.
const ReplyRoute kRows[] = {
    // type, command byte at, command, handler, awaited by
    {0x02, 3, 0x10, HandleSmsArrival, kUnsolicited},
    {0x14, 3, 0x08, HandleSmsRead, StoreRequestWaits},
    {0x14, 3, 0x09, HandleSmsReadRefused, StoreRequestWaits},
    {0x14, 3, 0x0B, HandleSmsDeleted, StoreRequestWaits},
    {0x14, 3, 0x37, HandleSmsCounts, CountsQueryWaits},
    {0x14, 3, kAnyCommand, HandleSmsStoreOther, CountsQueryWaits},
};

}  // namespace

const ReplyRouteTable kSmsStoreReplies = RouteTable(kRows);

}  // namespace pelkor
