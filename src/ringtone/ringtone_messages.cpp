#include "ringtone/ringtone_messages.h"

#include <pelkor16.h>

#include <algorithm>
#include <iterator>
#include <span>

#include "ringtone/smart_ringtone.h"
#include "link/request_writer.h"
#include "transaction/result_codes.h"

namespace pelkor {
namespace {

constexpr uint8_t kDirectPrefix[] = {0x0C, 0x01, 0x06, 0x05, 0x04, 0x15, 0x81, 0x15, 0x81};
constexpr auto kCommandPrefix = CommandRequest(0x36, 0x00, 0x00);  // then the length
constexpr uint8_t kUploadTrailer = 0x01;

bool Encoded(const SmartRingtoneEncoding &encoding) { return encoding.status == SmartRingtoneStatus::kOk; }

}  // namespace

int BuildRingtoneUploadMessage(const Ringtone &tone, int32_t variant, RingtoneUploadMessage &message) {
  message = RingtoneUploadMessage{};
  const bool direct = variant == 0;
  const size_t prefixLength = direct ? sizeof kDirectPrefix : kCommandPrefix.size() + 1;
  const size_t maxTone = direct ? kRingtoneUploadMaxToneDirect : kRingtoneUploadMaxToneCommand;

  const std::span<uint8_t> toneBytes(message.bytes.data() + prefixLength, maxTone);
  const SmartRingtoneEncoding encoding = EncodeSmartRingtone(tone, toneBytes);
  if (!Encoded(encoding)) {
    message = RingtoneUploadMessage{};
    return kResultRefused;
  }

  if (direct) {
    std::copy(std::begin(kDirectPrefix), std::end(kDirectPrefix), message.bytes.begin());
    message.messageType = kRingtoneUploadTypeDirect;
  } else {
    std::copy(kCommandPrefix.begin(), kCommandPrefix.end(), message.bytes.begin());
    message.bytes[kCommandPrefix.size()] = static_cast<uint8_t>(encoding.length);
    message.messageType = kRingtoneUploadTypeCommand;
  }
  message.bytes[prefixLength + encoding.length] = kUploadTrailer;
  message.length = prefixLength + encoding.length + 1;
  return kResultOk;
}

int BuildRingtoneSmsPayload(const Ringtone &tone, RingtoneSmsPayload &payload) {
  payload = RingtoneSmsPayload{};
  const SmartRingtoneEncoding encoding = EncodeSmartRingtone(tone, payload.tone);
  if (!Encoded(encoding)) {
    payload = RingtoneSmsPayload{};
    return kResultRefused;
  }
  payload.length = encoding.length;
  return kResultOk;
}

}  // namespace pelkor
