#pragma once
// Voice calls, DTMF, tones and reset: requests sent without waiting, and the call
// state the phone announces on its own (type 0x01).
#include <cstdint>

#include "link/reply_dispatch.h"

namespace pelkor {

constexpr size_t kMaxDialledDigits = 49;
constexpr size_t kMaxDtmfCharacters = 58;

int32_t DialVoice(const char *number);  // 0, or 22 for a number too long to send
int32_t HangUp();
int32_t SendDtmf(const char *digits);  // 0, or 22 for a string too long to send
int32_t ResetPhone(const char *kind);  // "hard" or anything else (soft)
int32_t PlayTone(int32_t volume, int32_t frequency, int32_t durationMs);
int32_t Beep(int32_t on);
int32_t IncomingCall(char *buffer, int32_t size);  // 0 with the call text, 23 when none
int32_t TakeIncomingCallEvent();                   // 1 once per announcement

// The rows of the replies this file handles (services/services_module.cpp lists them).
extern const ReplyRouteTable kCallReplies;

}  // namespace pelkor
