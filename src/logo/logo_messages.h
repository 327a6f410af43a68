// The bytes of the logo transfer: requests to the phone, the reading of its replies,
// and the Smart Messaging user data of operator and caller-group logos. Pure functions
// over a LogoBitmap, so that every hostile length can be tried without a phone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/reply_dispatch.h"
#include "logo/logo_bitmap.h"

namespace pelkor {

inline constexpr uint8_t kLogoTypeStartupOperator = 0x05;  // start-up and operator logos
inline constexpr uint8_t kLogoTypeCallerGroup = 0x03;      // caller groups

// Longest request: a caller group with a 255-character name and a full bitmap.
inline constexpr size_t kLogoRequestCapacity = 4 + 2 + 255 + 2 + 2 + 4 + kLogoBitmapCapacity;
// Longest Smart Messaging user data: network code, bitmap header, full bitmap.
inline constexpr size_t kLogoSmsDataCapacity = 3 + 4 + kLogoBitmapCapacity;

struct LogoRequest {
  uint8_t type;   // FBUS message type
  size_t length;  // 0: nothing to send for this kind
  uint8_t bytes[kLogoRequestCapacity];
};

// The operator's network code packed as the phone expects it: low 4 bits of the
// digit characters 0-2 and 4-5, e.g. "244 05" gives 42 F4 50.
void PackNetworkCode(const char (&networkCode)[kLogoNetworkCodeCapacity], uint8_t (&packed)[3]);

// Meaningful bitmap bytes, never more than the bitmap holds.
size_t BoundedLogoSize(const LogoBitmap &logo);

// Length of the group name or start-up text (at most 255).
size_t BoundedGroupNameLength(const LogoBitmap &logo);

// The upload request of the record's kind: start-up logo (size not 0) or start-up
// text (size 0), operator logo, caller group. Any other kind gives length 0.
void BuildUploadRequest(const LogoBitmap &logo, LogoRequest &request);

// The download request for a kind; any other kind gives length 0.
void BuildDownloadRequest(LogoKind kind, uint8_t groupNumber, LogoRequest &request);

// Smart Messaging user data of an operator or caller-group logo; returns its length,
// or 0 for any other kind. `out` holds kLogoSmsDataCapacity bytes.
size_t BuildLogoSmsData(const LogoBitmap &logo, uint8_t *out);

// The phone's logo replies, read into `logo`. Every count is bounded by the field it
// fills; bytes a reply announces but does not carry read as 0.
void ReadStartupReply(const ReplyMessage &reply, LogoBitmap &logo);      // 0x05, 0x17
void ReadOperatorReply(const ReplyMessage &reply, LogoBitmap &logo);     // 0x05, 0x34
void ReadCallerGroupReply(const ReplyMessage &reply, LogoBitmap &logo);  // 0x03, 0x11

}  // namespace pelkor
