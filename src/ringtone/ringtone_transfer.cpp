#include "ringtone/ringtone_transfer.h"

#include <pelkor16.h>

#include <algorithm>
#include <cstring>

#include "link/frame_sender.h"
#include "ringtone/ringtone_messages.h"
#include "sms/sms_record.h"
#include "sms/sms_send.h"

namespace pelkor {
namespace {

constexpr int32_t kSmartMessagingClass = 1;  // data coding scheme 0xF5

}  // namespace

int32_t UploadRingtone(const Ringtone &tone, int32_t variant) {
  RingtoneUploadMessage message{};
  const int built = BuildRingtoneUploadMessage(tone, variant, message);
  if (built != PELKOR_OK) return built;
  Send(message.length, message.messageType, message.bytes.data());
  return PELKOR_OK;
}

int32_t SendRingtoneSms(const Ringtone &tone, const char *destination) {
  // Encode first, so that a tone too long for one message leaves the send record as it was.
  RingtoneSmsPayload payload{};
  const int built = BuildRingtoneSmsPayload(tone, payload);
  if (built != PELKOR_OK) return built;

  SmsRecord &record = SmsSendRecord();
  record.ucs2 = 0;
  record.kind = kSmsKindStoredOutgoing;
  record.messageClass = kSmartMessagingClass;
  record.eightBit = 1;
  record.validityMinutes = kSmsValidityMinutes;
  CopyField(record.destination, sizeof record.destination, destination);
  record.hasHeader = 1;
  std::memset(record.header, 0, sizeof record.header);
  std::copy(kRingtoneSmsHeader.begin(), kRingtoneSmsHeader.end(), record.header);
  std::memset(record.text, 0, sizeof record.text);
  std::copy_n(payload.tone.begin(), payload.length, reinterpret_cast<uint8_t *>(record.text));
  // statusReport and the message centre stay as earlier calls left them.
  return SendSmsRecord(record, static_cast<int32_t>(payload.length));
}

}  // namespace pelkor
