#include "ringtone/ringtone_transfer.h"

#include <pelkor16.h>

#include "link/frame_sender.h"
#include "ringtone/ringtone_messages.h"
#include "sms/sms_send.h"
#include "transaction/result_codes.h"

namespace pelkor {

int32_t UploadRingtone(const Ringtone &tone, int32_t variant) {
  RingtoneUploadMessage message{};
  const int built = BuildRingtoneUploadMessage(tone, variant, message);
  if (built != kResultOk) return built;
  Send(message.length, message.messageType, message.bytes.data());
  return kResultOk;
}

int32_t SendRingtoneSms(const Ringtone &tone, const char *destination) {
  // Encode first, so that a tone too long for one message leaves the send record as it was.
  RingtoneSmsPayload payload{};
  const int built = BuildRingtoneSmsPayload(tone, payload);
  if (built != kResultOk) return built;

  return SendSmartMessage(destination, kRingtoneSmsHeader.data(), kRingtoneSmsHeader.size(), payload.tone.data(),
                          payload.length);
}

}  // namespace pelkor
