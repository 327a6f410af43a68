#include "sms/sms_details.h"

#include <cstddef>

namespace pelkor {
namespace {

constexpr uint8_t kConcat8BitReference = 0x00;
constexpr uint8_t kConcat16BitReference = 0x08;

// The class a coding byte names: bits 0-1 in the general group 00xx with bit 4 set, and
// in the data coding/message class group 1111.
int32_t ClassOf(uint8_t coding) {
  if ((coding & 0xC0) == 0x00 && (coding & 0x10) != 0) return coding & 0x03;
  if ((coding & 0xF0) == 0xF0) return coding & 0x03;
  return kSmsNoClass;
}

}  // namespace

SmsDetails DetailsOf(const SmsRecord &record) {
  const SmsRecord::Received &kept = record.received;
  SmsDetails details;
  details.codingScheme = kept.coding;
  details.messageClass = ClassOf(kept.coding);
  // header[0] counts the octets after it; the elements follow as (id, length, data).
  const size_t headerOctets = kept.headerOctets < kept.userDataOctets ? kept.headerOctets : kept.userDataOctets;
  size_t at = 1;
  while (at + 2 <= headerOctets) {
    const uint8_t id = kept.userData[at];
    const size_t length = kept.userData[at + 1];
    const uint8_t *data = kept.userData + at + 2;
    if (at + 2 + length > headerOctets) break;
    if (id == kConcat8BitReference && length == 3 && data[1] > 0 && data[2] >= 1 && data[2] <= data[1]) {
      details.concatReference = data[0];
      details.concatTotal = data[1];
      details.concatPart = data[2];
    } else if (id == kConcat16BitReference && length == 4 && data[2] > 0 && data[3] >= 1 && data[3] <= data[2]) {
      details.concatReference = data[0] << 8 | data[1];
      details.concatTotal = data[2];
      details.concatPart = data[3];
    }
    at += 2 + length;
  }
  return details;
}

}  // namespace pelkor
