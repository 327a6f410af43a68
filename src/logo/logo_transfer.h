// Moving the logo between the library and the phone, and sending operator and
// caller-group logos to other phones by SMS. Every operation runs on the host's
// thread and ends before it returns.
#pragma once

#include <cstdint>

#include "logo/logo_bitmap.h"
#include "logo/logo_state.h"
#include "transaction/transaction.h"
#include "transaction/result_codes.h"

namespace pelkor {

// Uploads `logo` as its kind says. 0 stored, 24 refused, 4 no answer (also for a
// kind that has nothing to send, after the full wait).
int32_t UploadLogo(const LogoBitmap &logo);

// Sends `text` (at most 255 characters; null is empty) as the start-up text. The
// shared logo is not touched.
int32_t UploadStartupText(const char *text);

// Uploads the shared logo; an operator logo without a network code takes the code
// of the network the phone is in.
int32_t UploadSharedLogo();

// Replaces the shared logo with the phone's logo of `kind` (the group number stays
// and selects the caller group). 0, 24 or 4; on 24 and 4 the shared logo is left
// cleared except for its kind and group number.
int32_t DownloadSharedLogo(LogoKind kind);

// Sends the shared operator or caller-group logo as a Smart Messaging SMS: the
// result of the SMS send, -1 for any other kind, 22 when the logo is too large for
// one message.
int32_t SendSharedLogoBySms(const char *destination);

}  // namespace pelkor
