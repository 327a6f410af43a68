#pragma once
// Decoding of a stored message as the phone returns it (message type 0x14, command
// 0x08). Pure: the dump files a UCS-2 message asks for are written by the caller.
#include <cstdint>

#include "link/reply_dispatch.h"
#include "sms/sms_record.h"
#include "transaction/result_codes.h"

namespace pelkor {

struct ReadReplyOutcome {
  int32_t status = kResultSmsReadError;  // 0 decoded, 14 malformed
  bool dumpMessage = false;              // the whole message goes to a .dat dump file
  bool dumpUcs2Text = false;             // the UCS-2 text goes to a .txt dump file
};

// Fills record (which the caller has cleared) from the reply. Every length in the reply
// is checked against the message: a reply too short for its fixed fields or for the
// user data it declares is malformed and leaves record's text empty.
ReadReplyOutcome DecodeReadReply(const ReplyMessage &reply, SmsRecord &record);

// Text of a status report for its status byte.
const char *StatusReportText(uint8_t status);

}  // namespace pelkor
