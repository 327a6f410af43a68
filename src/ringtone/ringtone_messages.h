// The messages that carry an encoded ringtone: the two FBUS upload forms and the payload of
// a Smart Messaging SMS. Pure builders; sending is left to the caller.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "ringtone/ringtone_model.h"

namespace pelkor {

inline constexpr uint8_t kRingtoneUploadTypeDirect = 0x12;   // variant 0
inline constexpr uint8_t kRingtoneUploadTypeCommand = 0x05;  // any other variant
// The message length travels in one byte: 9 + tone + 1 and 7 + tone + 1 must stay <= 255.
inline constexpr size_t kRingtoneUploadMaxToneDirect = 245;
inline constexpr size_t kRingtoneUploadMaxToneCommand = 247;
inline constexpr size_t kRingtoneUploadMaxMessage = 255;

struct RingtoneUploadMessage {
  uint8_t messageType;
  size_t length;
  std::array<uint8_t, kRingtoneUploadMaxMessage> bytes;
};

// Fills message for the given upload variant. 0, or 22 when the tone does not fit the
// message or has more instructions than its count field holds (message is then empty).
int BuildRingtoneUploadMessage(const Ringtone &tone, int32_t variant, RingtoneUploadMessage &message);

// User data header of a ringtone SMS: 16-bit application ports, 0x1581 to 0x1581.
inline constexpr std::array<uint8_t, 7> kRingtoneSmsHeader = {0x06, 0x05, 0x04, 0x15, 0x81, 0x15, 0x81};
// One message carries 140 octets of user data, 7 of them the header.
inline constexpr size_t kRingtoneSmsMaxTone = 140 - kRingtoneSmsHeader.size();

struct RingtoneSmsPayload {
  size_t length;  // bytes of tone; user data length is this + 7
  std::array<uint8_t, kRingtoneSmsMaxTone> tone;
};

// Encodes the tone for an SMS. 0, or 22 when it is longer than 133 bytes or has more
// instructions than its count field holds (payload is then empty).
int BuildRingtoneSmsPayload(const Ringtone &tone, RingtoneSmsPayload &payload);

}  // namespace pelkor
