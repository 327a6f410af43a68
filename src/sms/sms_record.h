#pragma once
// The one record layout of the SMS subsystem: the send record and every entry of the
// message list share it.
#include <cstddef>
#include <cstdint>

#include "transaction/bounded_copy.h"

namespace pelkor {

constexpr size_t kSmsHeaderSize = 10;
constexpr size_t kSmsTextSize = 257;
constexpr size_t kSmsCentreNumberSize = 40;
constexpr size_t kSmsSenderSize = 41;
constexpr size_t kSmsDestinationSize = 51;
constexpr size_t kSmsUserDataSize = 140;
constexpr size_t kSmsAddressFieldSize = 12;
// A read answer from the centre field on: centre, first octet, origin, protocol, coding,
// time stamp, length and at most 140 octets of user data.
constexpr size_t kSmsPduSize = 12 + 1 + 12 + 2 + 7 + 1 + kSmsUserDataSize;

// Values of SmsRecord::kind.
constexpr int32_t kSmsKindStoredOutgoing = 0;
constexpr int32_t kSmsKindReceived = 1;
constexpr int32_t kSmsKindStatusReport = 2;
constexpr int32_t kSmsKindOther = 3;

struct SmsRecord {
  // Time stamp of a received message.
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  // Septets for 7-bit text, octets otherwise; for a list entry the length of text.
  int32_t userDataLength = 0;
  int32_t validityMinutes = 0;
  int32_t hasHeader = 0;
  // UDHL followed by the elements; header[0] + 1 bytes are used.
  uint8_t header[kSmsHeaderSize] = {};
  // Zero-terminated text, or the raw user data of an 8-bit or UCS-2 message.
  char text[kSmsTextSize] = {};
  // Message-centre set on the phone, from 1; 0 sends centreNumber as it stands.
  int32_t centreIndex = 0;
  char centreNumber[kSmsCentreNumberSize] = {};
  char sender[kSmsSenderSize] = {};
  char destination[kSmsDestinationSize] = {};
  int32_t kind = kSmsKindStoredOutgoing;
  int32_t readOrSent = 0;
  int32_t messageClass = 0;  // 0..3; any other value means no class
  int32_t eightBit = 0;
  int32_t location = 0;
  int32_t statusReport = 0;
  int32_t ucs2 = 0;

  // Send record: the message reference (TP-MR) the phone named in its confirmation of
  // the part sent last; -1 when the confirmation carried none.
  int32_t messageReference = -1;

  // A status report's own fields. Its recipient is in sender and the centre's time
  // stamp of the submission in year ... second.
  struct Report {
    int32_t reference = 0;       // the reference of the message reported on
    int32_t status = 0;          // TP-ST as the phone gave it
    int32_t discharged[6] = {};  // year, month, day, hour, minute, second
  } report;

  // A read message as it came from the phone, for the UTF-8 readers: `text` holds
  // Latin-1, which loses the extension table, the Greek capitals and alphanumeric
  // senders. The user data starts with the header when there is one.
  struct Received {
    uint8_t coding = 0;
    uint8_t declaredLength = 0;  // septets for 7-bit text, octets otherwise
    uint8_t headerOctets = 0;
    uint8_t userDataOctets = 0;
    uint8_t userData[kSmsUserDataSize] = {};
    uint8_t origin[kSmsAddressFieldSize] = {};  // length byte counting digits, type, digits
    uint8_t pduOctets = 0;
    uint8_t pdu[kSmsPduSize] = {};  // the read answer from the centre field on
  } received;
};

}  // namespace pelkor
