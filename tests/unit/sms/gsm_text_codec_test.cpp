// GSM default alphabet and 7-bit packing.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sms/gsm_alphabet.h"
#include "sms/septet_packing.h"

namespace {

using pelkor::CharToGsm;
using pelkor::GsmToChar;
using pelkor::PackSeptets;
using pelkor::UnpackSeptets;

using Bytes = std::vector<uint8_t>;

Bytes Pack(const char *text, int fill, size_t capacity = 200) {
  Bytes out(capacity, 0xAA);
  out.resize(PackSeptets(text, fill, out.data(), out.size()));
  return out;
}

std::string UnpackToText(const Bytes &in, int fill, size_t maxSeptets) {
  std::vector<uint8_t> codes(maxSeptets);
  const size_t count = UnpackSeptets(in.data(), in.size(), fill, maxSeptets, codes.data());
  std::string text;
  for (size_t n = 0; n < count; ++n) text += GsmToChar(codes[n]);
  return text;
}

TEST(GsmAlphabet, MapsCharactersToTheirCodes) {
  EXPECT_EQ(CharToGsm('@'), 0x00);
  EXPECT_EQ(CharToGsm('$'), 0x02);
  EXPECT_EQ(CharToGsm('_'), 0x11);
  EXPECT_EQ(CharToGsm('?'), 0x3F) << "not the first placeholder entry 0x10";
  EXPECT_EQ(CharToGsm(static_cast<char>(0xE8)), 0x04);  // e grave
  EXPECT_EQ(CharToGsm(static_cast<char>(0xA4)), 0x24);  // currency sign
  EXPECT_EQ(CharToGsm(static_cast<char>(0xA7)), 0x5F);  // section sign
  EXPECT_EQ(CharToGsm('\n'), 0x0A);
  EXPECT_EQ(CharToGsm('A'), 0x41);
  EXPECT_EQ(CharToGsm('z'), 0x7A);
}

TEST(GsmAlphabet, CharactersOutsideTheTableBecomeQuestionMarks) {
  for (char ch : {'{', '}', '[', ']', '~', '\\', '^', '|', '`', '\0'}) {
    EXPECT_EQ(CharToGsm(ch), 0x3F) << "character " << static_cast<int>(ch);
  }
  EXPECT_EQ(CharToGsm(static_cast<char>(0x80)), 0x3F);  // euro sign (Windows Latin-1)
  EXPECT_EQ(CharToGsm(static_cast<char>(0xFF)), 0x3F);
}

TEST(GsmAlphabet, EveryCodeWithAHostCharacterRoundTrips) {
  for (int code = 0; code < 128; ++code) {
    const char host = GsmToChar(static_cast<uint8_t>(code));
    if (host == '?' && code != 0x3F) continue;  // Greek capitals and the escape code
    EXPECT_EQ(CharToGsm(host), code) << "code " << code;
  }
  EXPECT_EQ(GsmToChar(0x11), '_');
  EXPECT_EQ(GsmToChar(0x10), '?');
  EXPECT_EQ(GsmToChar(0x1B), '?');
  EXPECT_EQ(static_cast<uint8_t>(GsmToChar(0x7F)), 0xE0);
  EXPECT_EQ(GsmToChar(0x80 | 0x41), 'A') << "only the low 7 bits index the table";
}

TEST(SeptetPacking, PacksKnownTexts) {
  EXPECT_EQ(Pack("hellohello", 0), (Bytes{0xE8, 0x32, 0x9B, 0xFD, 0x46, 0x97, 0xD9, 0xEC, 0x37}));
  EXPECT_EQ(Pack("abcdefgh", 0), (Bytes{0x61, 0xF1, 0x98, 0x5C, 0x36, 0x9F, 0xD1}));
  EXPECT_EQ(Pack("Hello World", 0), (Bytes{0xC8, 0x32, 0x9B, 0xFD, 0x06, 0x5D, 0xDF, 0x72, 0x36, 0x19}));
  EXPECT_TRUE(Pack("", 0).empty());
  EXPECT_TRUE(Pack(nullptr, 0).empty());
}

TEST(SeptetPacking, FillBitsShiftTheFirstSeptet) {
  EXPECT_EQ(Pack("ab", 1), (Bytes{0xC2, 0x62}));
  // Six fill bits: 'a' starts at bit 6 of the first octet and spills over.
  EXPECT_EQ(Pack("a", 6), (Bytes{0x40, 0x18}));
  EXPECT_EQ(Pack("", 3), (Bytes{0x00}));
  EXPECT_TRUE(Pack("ab", 8).empty());
  EXPECT_TRUE(Pack("ab", -1).empty());
}

TEST(SeptetPacking, NeverWritesPastTheOutputCapacity) {
  Bytes out(12, 0xAA);
  // Ten septets need 9 octets; with room for 5 only 5 whole septets fit.
  EXPECT_EQ(PackSeptets("hellohello", 0, out.data(), 5), 5u);
  EXPECT_EQ(out[5], 0xAA);
  EXPECT_EQ(UnpackToText(Bytes(out.begin(), out.begin() + 5), 0, 5), "hello");

  EXPECT_EQ(PackSeptets("hello", 0, out.data(), 0), 0u);
  EXPECT_EQ(PackSeptets("hello", 0, nullptr, 10), 0u);
}

TEST(SeptetPacking, UnpacksKnownOctets) {
  const Bytes packed{0xE8, 0x32, 0x9B, 0xFD, 0x46, 0x97, 0xD9, 0xEC, 0x37};
  EXPECT_EQ(UnpackToText(packed, 0, 10), "hellohello");
  EXPECT_EQ(UnpackToText(packed, 0, 4), "hell") << "stops at maxSeptets";
  // Seven octets hold exactly eight septets.
  EXPECT_EQ(UnpackToText({0x61, 0xF1, 0x98, 0x5C, 0x36, 0x9F, 0xD1}, 0, 100), "abcdefgh");
  EXPECT_EQ(UnpackToText({0xC2, 0x62}, 1, 100), "ab");
}

TEST(SeptetPacking, UnpackStopsWhenTheOctetsRunOut) {
  // Only whole septets are read: 3 octets hold 3 septets plus 3 spare bits.
  const uint8_t in[4] = {0x41, 0xE1, 0x10, 0xFF};
  uint8_t codes[8] = {};
  EXPECT_EQ(UnpackSeptets(in, 3, 0, 8, codes), 3u);
  EXPECT_EQ(codes[2], 'C');
  EXPECT_EQ(UnpackSeptets(in, 0, 0, 8, codes), 0u);
  EXPECT_EQ(UnpackSeptets(in, 1, 2, 8, codes), 0u) << "6 bits after the fill are no septet";
  EXPECT_EQ(UnpackSeptets(nullptr, 3, 0, 8, codes), 0u);
  EXPECT_EQ(UnpackSeptets(in, 3, 9, 8, codes), 0u);
}

TEST(SeptetPacking, RoundTripsEveryLengthAndFill) {
  const std::string source = "The quick brown fox @ 12:30 $5 jumps over_the lazy dog!";
  for (int fill = 0; fill <= 7; ++fill) {
    for (size_t length = 0; length <= source.size(); ++length) {
      const std::string text = source.substr(0, length);
      const Bytes packed = Pack(text.c_str(), fill);
      ASSERT_EQ(packed.size(), (7 * length + fill + 7) / 8);
      if (fill > 0) {
        EXPECT_EQ(packed[0] & ((1 << fill) - 1), 0) << "fill bits must be zero";
      }
      EXPECT_EQ(UnpackToText(packed, fill, length), text) << "fill " << fill;
    }
  }
}

TEST(SeptetPacking, PacksASliceOfALongerText) {
  const std::string text = "0123456789abcdef";
  Bytes out(16, 0);
  out.resize(PackSeptets(std::string_view(text).substr(10, 3), 1, out.data(), out.size()));
  EXPECT_EQ(UnpackToText(out, 1, 3), "abc");
}

}  // namespace
