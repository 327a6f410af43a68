#pragma once
// UTF-8 code points, and Latin-1 to and from UTF-8: pure functions over strings, for
// every family that hands text to a host as UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelkor {

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Code points of a UTF-8 text. False for anything that is not well-formed UTF-8
// (stray continuation bytes, overlong forms, surrogates, values above U+10FFFF).
bool DecodeUtf8(std::string_view text, std::vector<char32_t> &points);

// Appends the UTF-8 form of one code point (U+FFFD for a value that has none).
void AppendUtf8(std::string &out, char32_t point);

// UTF-8 of Latin-1 bytes; Latin-1 of UTF-8 text (false when a character is above
// U+00FF or the text is not UTF-8).
std::string DecodeLatin1(const uint8_t *bytes, size_t count);
bool EncodeLatin1(std::string_view utf8, std::string &latin1);

}  // namespace pelkor
