// The decoder of stored-message replies (type 0x14, command 0x08) on arbitrary bytes,
// taken as the whole message the receiver hands over (trailer included). The bytes sit
// in a buffer of exactly their size, so any read past the message is caught.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "sms/sms_read_reply.h"
#include "sms/sms_record.h"

namespace {

bool Terminated(const char *text, size_t capacity) { return std::memchr(text, '\0', capacity) != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  const pelkor::ReplyMessage reply{0x14, bytes.data(), bytes.size()};
  pelkor::SmsRecord record;  // cleared, as the waiting read clears it
  const pelkor::ReadReplyOutcome outcome = pelkor::DecodeReadReply(reply, record);

  FUZZ_CHECK(outcome.status == 0 || outcome.status == pelkor::kResultSmsReadError);
  FUZZ_CHECK(!outcome.dumpUcs2Text || outcome.dumpMessage);
  FUZZ_CHECK(Terminated(record.text, sizeof record.text));
  FUZZ_CHECK(Terminated(record.sender, sizeof record.sender));
  FUZZ_CHECK(Terminated(record.centreNumber, sizeof record.centreNumber));
  FUZZ_CHECK(record.userDataLength >= 0 && record.userDataLength < static_cast<int32_t>(sizeof record.text));
  if (outcome.status != 0) {
    // A malformed reply leaves the text empty.
    FUZZ_CHECK_MSG(record.text[0] == '\0', "a reply refused as malformed left text in the record");
    FUZZ_CHECK(!outcome.dumpMessage);
  } else if (record.eightBit == 0) {
    FUZZ_CHECK(static_cast<size_t>(record.userDataLength) == std::strlen(record.text));
  }
  if (outcome.dumpMessage) FUZZ_CHECK(record.kind != pelkor::kSmsKindStatusReport);
  return 0;
}
