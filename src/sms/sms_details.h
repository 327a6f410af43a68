#pragma once
// What a read message's header and coding say about it, beyond its text: its coding
// scheme, class and, for a part of a concatenated message, which part of which message.
#include <cstdint>

#include "sms/sms_record.h"

namespace pelkor {

constexpr int32_t kSmsNoClass = -1;

struct SmsDetails {
  int32_t codingScheme = 0;            // the data coding scheme byte
  int32_t messageClass = kSmsNoClass;  // 0..3
  int32_t concatReference = 0;         // 8- or 16-bit reference; all three 0 for no part
  int32_t concatPart = 0;              // from 1
  int32_t concatTotal = 0;
};

// From the user data header's concatenation element (8-bit reference 00, or 16-bit
// reference 08; a part number outside 1..total is ignored) and the coding byte.
SmsDetails DetailsOf(const SmsRecord &record);

}  // namespace pelkor
