#pragma once
// UTF-8 text for the SMS family: the GSM 03.38 default alphabet with its extension
// table and UCS-2 (UTF-16 big-endian, surrogate pairs for characters beyond the Basic
// Multilingual Plane), each to and from UTF-8; and the splitting of a text into the
// parts of a concatenated message. Pure functions over buffers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/utf8.h"

namespace pelkor {

constexpr uint8_t kGsmEscape = 0x1B;

// The code point of a GSM default-alphabet code (low 7 bits), and of an extension
// code after the escape: 0 where the extension table has no character.
char32_t GsmDefaultCharacter(uint8_t code);
char32_t GsmExtensionCharacter(uint8_t code);

// The GSM septets of one character: one code from the default alphabet, else the
// escape and an extension code. 0 septets when the alphabet cannot hold it.
size_t GsmSeptetsFor(char32_t point, uint8_t septets[2]);

// Septets of a whole text; false (and septets incomplete) when a character needs UCS-2.
bool EncodeGsmSeptets(const std::vector<char32_t> &points, std::vector<uint8_t> &septets);

// UTF-8 of GSM septets. An escape followed by a code the extension table lacks shows
// that code's default character; an escape at the very end shows nothing.
std::string DecodeGsmSeptets(const uint8_t *septets, size_t count);

// UTF-16 big-endian bytes of code points, and UTF-8 of such bytes. An unpaired
// surrogate reads as U+FFFD; an odd last byte is ignored.
void EncodeUcs2(const std::vector<char32_t> &points, std::vector<uint8_t> &bytes);
std::string DecodeUcs2(const uint8_t *bytes, size_t count);

// A text cut into the parts one message each can carry.
struct SmsTextParts {
  bool ucs2 = false;
  // Each part's septets (7-bit) or UTF-16 big-endian bytes (UCS-2).
  std::vector<std::vector<uint8_t>> parts;
};

constexpr size_t kSingleSeptets = 160;
constexpr size_t kPartSeptets = 153;  // 160 less the 7 of the concatenation header
constexpr size_t kSingleUcs2Units = 70;
constexpr size_t kPartUcs2Units = 67;  // 140 octets less the 6 of the header, in 16-bit units

// GSM 7-bit when every character allows it, else UCS-2. A text that fits one message
// is one part; a longer one is cut into parts of at most 153 septets or 67 UTF-16
// units, never between an escape and its code nor inside a surrogate pair. An empty
// text is one empty 7-bit part. False for text that is not UTF-8.
bool SplitSmsText(std::string_view utf8, SmsTextParts &out);

}  // namespace pelkor
