#pragma once
// Phone-number address fields (semi-octet digits) and swapped-nibble decimal bytes.

#include <cstddef>
#include <cstdint>

namespace pelkor {

inline constexpr int kMaxNumberDigits = 20;  // 10 digit bytes of a field
inline constexpr size_t kNumberDigitBytes = 10;
inline constexpr size_t kEncodedNumberBytes = 1 + kNumberDigitBytes;  // type byte + digits
inline constexpr int kInvalidNumber = -1;

inline constexpr uint8_t kTypeInternational = 0x91;
inline constexpr uint8_t kTypeUnknown = 0x81;

// Octets that follow the length byte for `digits` digits: the digit bytes,
// rounded up, plus the type byte. This is the message-centre length byte, and
// turns a received originating address's digit count into DecodeNumber's form.
constexpr int AddressOctets(int digits) { return (digits + 1) / 2 + 1; }

// Writes the type byte to out[0] (0x91 after a leading '+', else 0x81) and the
// digits as semi-octets from out[1], an odd count padded with 0xF. Returns the
// digit count, or kInvalidNumber (writing nothing) when the text holds anything
// but an optional leading '+' and the digits 0-9, has more than 20 digits, or
// does not fit outCapacity. A null text is an empty number.
int EncodeNumber(const char *text, uint8_t *out, size_t outCapacity);

// A decoded number: '+' and up to 20 digits, or an alphanumeric sender name.
struct NumberText {
  char text[kMaxNumberDigits + 2];
};

// Decodes an address field: field[0] is the octet count after it (type byte
// included), field[1] the type, then the digit bytes. Nibbles 10-15 are skipped.
// A type of number "alphanumeric" (bits 6-4 = 101, e.g. 0xD0) is packed GSM text
// and is returned as host characters. fieldSize is the room the field has in
// its message; nothing beyond it or beyond 10 digit bytes is read.
NumberText DecodeNumber(const uint8_t *field, size_t fieldSize);

// Two decimal digits with the tens in the low nibble: 0x21 -> 12.
constexpr int SwappedBcdValue(uint8_t byte) { return (byte & 0x0F) * 10 + (byte >> 4); }

}  // namespace pelkor
