#include "sms/number_codec.h"

#include <algorithm>

#include "sms/gsm_alphabet.h"
#include "sms/septet_packing.h"

namespace pelkor {

namespace {

bool IsAlphanumericType(uint8_t type) { return ((type >> 4) & 0x07) == 0x05; }

void DecodeDigits(const uint8_t *digits, size_t count, bool international, NumberText &result) {
  size_t length = 0;
  if (international) result.text[length++] = '+';
  for (size_t n = 0; n < count; ++n) {
    const uint8_t low = digits[n] & 0x0F;
    const uint8_t high = digits[n] >> 4;
    if (low < 10) result.text[length++] = static_cast<char>('0' + low);
    if (high < 10) result.text[length++] = static_cast<char>('0' + high);
  }
}

void DecodeAlphanumeric(const uint8_t *packed, size_t octets, NumberText &result) {
  // 10 octets carry at most 11 septets, well inside the text.
  uint8_t codes[sizeof result.text - 1];
  size_t count = UnpackSeptets(packed, octets, 0, sizeof codes, codes);
  // A name of 7n septets leaves 7 spare zero bits in its last octet, which read
  // back as one more septet 0 ('@'); drop it.
  if (count > 0 && count * 7 == octets * 8 && codes[count - 1] == 0) --count;
  for (size_t n = 0; n < count; ++n) result.text[n] = GsmToChar(codes[n]);
}

}  // namespace

int EncodeNumber(const char *text, uint8_t *out, size_t outCapacity) {
  if (text == nullptr) text = "";
  const bool international = text[0] == '+';
  const char *digits = international ? text + 1 : text;

  int count = 0;
  for (const char *p = digits; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || ++count > kMaxNumberDigits) return kInvalidNumber;
  }
  const size_t needed = 1 + static_cast<size_t>(count + 1) / 2;
  if (out == nullptr || needed > outCapacity) return kInvalidNumber;

  out[0] = international ? kTypeInternational : kTypeUnknown;
  for (int k = 0; k < count; ++k) {
    const uint8_t nibble = static_cast<uint8_t>(digits[k] - '0');
    uint8_t &byte = out[1 + k / 2];
    byte = (k % 2 == 0) ? nibble : static_cast<uint8_t>(byte | (nibble << 4));
  }
  if (count % 2 == 1) out[1 + count / 2] |= 0xF0;
  return count;
}

NumberText DecodeNumber(const uint8_t *field, size_t fieldSize) {
  NumberText result{};
  if (field == nullptr || fieldSize < 2 || field[0] < 1) return result;

  const size_t declared = static_cast<size_t>(field[0]) - 1;
  const size_t available = std::min(fieldSize - 2, kNumberDigitBytes);
  const size_t digitBytes = std::min(declared, available);
  const uint8_t type = field[1];

  if (IsAlphanumericType(type)) {
    DecodeAlphanumeric(field + 2, digitBytes, result);
  } else {
    DecodeDigits(field + 2, digitBytes, type == kTypeInternational, result);
  }
  return result;
}

}  // namespace pelkor
