#pragma once
// The send-SMS request (message type 0x02, command 0x01) around one SMS-SUBMIT, built
// from an SmsRecord. Pure: nothing here touches the link.
#include <cstddef>
#include <cstdint>

#include "sms/sms_record.h"

namespace pelkor {

constexpr uint8_t kSmsSendType = 0x02;
constexpr size_t kSubmitUserDataOffset = 42;
constexpr size_t kMaxUserDataOctets = 140;  // what one message carries, header included
constexpr size_t kSubmitMaxBytes = kSubmitUserDataOffset + kMaxUserDataOctets;
constexpr size_t kMaxSingleText = 160;

struct SubmitRequest {
  size_t length = 0;
  int32_t userDataLength = 0;  // as written to byte 22
  uint8_t bytes[kSubmitMaxBytes] = {};
};

// Byte 35 for a relative validity period of `minutes`.
uint8_t ValidityPeriodByte(int32_t minutes);

// Byte 21 for the record's coding and class.
uint8_t DataCodingScheme(const SmsRecord &record);

// Fill bits that align 7-bit text after a header of `headerOctets` octets.
constexpr int FillBitsAfterHeader(size_t headerOctets) { return static_cast<int>((7 - (headerOctets * 8) % 7) % 7); }

// Builds the request. dataLength counts the raw bytes of text for 8-bit and UCS-2
// messages. Returns 0; 21 for text over 160 characters without a header; 22 for a
// destination or centre number that is not '+' and up to 20 digits, a header that
// does not fit its field, or user data over 140 octets.
int32_t BuildSubmitRequest(const SmsRecord &record, int32_t dataLength, SubmitRequest &out);

}  // namespace pelkor
