// Delivering the encoded tone: straight to the connected phone, or to another phone as
// a Smart Messaging SMS.
#pragma once

#include <cstdint>

#include "ringtone/ringtone_model.h"

namespace pelkor {

// Sends the tone in the upload message of the given variant (0: type 0x12, any other:
// type 0x05 command 0x36). The phone's answer is not awaited: 0 once the message is
// handed to the link, 22 with nothing sent when the tone does not fit the message.
int32_t UploadRingtone(const Ringtone &tone, int32_t variant);

// Sends the tone as an 8-bit SMS to port 0x1581 of destination through the one SMS send
// record. The SMS send result (0, 4, 19, 22 ...), or 22 with nothing sent and the send
// record untouched when the tone does not fit one message.
int32_t SendRingtoneSms(const Ringtone &tone, const char *destination);

}  // namespace pelkor
