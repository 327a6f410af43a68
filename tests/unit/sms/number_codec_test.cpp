// Phone-number address fields and swapped-nibble decimal bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sms/number_codec.h"

namespace {

using pelkor::AddressOctets;
using pelkor::DecodeNumber;
using pelkor::EncodeNumber;
using pelkor::kInvalidNumber;

using Bytes = std::vector<uint8_t>;

struct Encoded {
  int digits;
  Bytes bytes;  // type byte and digit bytes
};

Encoded Encode(const char *text) {
  Bytes out(pelkor::kEncodedNumberBytes, 0xAA);
  const int digits = EncodeNumber(text, out.data(), out.size());
  out.resize(digits < 0 ? 0 : 1 + static_cast<size_t>(digits + 1) / 2);
  return {digits, out};
}

std::string Decode(const Bytes &field) { return DecodeNumber(field.data(), field.size()).text; }

TEST(NumberEncoding, WritesTypeAndSemiOctets) {
  const Encoded international = Encode("+1234567");
  EXPECT_EQ(international.digits, 7);
  EXPECT_EQ(international.bytes, (Bytes{0x91, 0x21, 0x43, 0x65, 0xF7}));
  EXPECT_EQ(AddressOctets(7), 5) << "message-centre length byte";

  const Encoded national = Encode("0612");
  EXPECT_EQ(national.digits, 4);
  EXPECT_EQ(national.bytes, (Bytes{0x81, 0x60, 0x21}));

  EXPECT_EQ(Encode("").digits, 0);
  EXPECT_EQ(Encode(nullptr).digits, 0);
  EXPECT_EQ(Encode("+").bytes, (Bytes{0x91}));
}

TEST(NumberEncoding, TwentyDigitsFillTheField) {
  const Encoded longest = Encode("+12345678901234567890");
  EXPECT_EQ(longest.digits, 20);
  ASSERT_EQ(longest.bytes.size(), 11u);
  EXPECT_EQ(longest.bytes[10], 0x09);
  EXPECT_EQ(Encode("123456789012345678901").digits, kInvalidNumber);
}

TEST(NumberEncoding, RejectsAnythingButDigitsAfterAnOptionalPlus) {
  for (const char *bad : {"12a4", "1 234", "*100#", "++123", "12+3", "-5", "0x12", "123 "}) {
    Bytes out(pelkor::kEncodedNumberBytes, 0xAA);
    EXPECT_EQ(EncodeNumber(bad, out.data(), out.size()), kInvalidNumber) << bad;
    EXPECT_EQ(out, Bytes(pelkor::kEncodedNumberBytes, 0xAA)) << "nothing written for " << bad;
  }
}

TEST(NumberEncoding, RefusesAnOutputTooSmall) {
  Bytes out(3, 0xAA);
  EXPECT_EQ(EncodeNumber("12345", out.data(), out.size()), kInvalidNumber);
  EXPECT_EQ(out, Bytes(3, 0xAA));
  EXPECT_EQ(EncodeNumber("1234", out.data(), out.size()), 4);
  EXPECT_EQ(EncodeNumber("1", nullptr, 10), kInvalidNumber);
}

TEST(NumberDecoding, ReadsDigitsAndThePlusSign) {
  EXPECT_EQ(Decode({0x05, 0x91, 0x21, 0x43, 0x65, 0xF7}), "+1234567");
  EXPECT_EQ(Decode({0x03, 0x81, 0x60, 0x21}), "0612");
  // Any other type is read as digits; nibbles 10-15 are skipped wherever they are.
  EXPECT_EQ(Decode({0x03, 0xA1, 0x1A, 0xB2}), "12");
  EXPECT_EQ(Decode({0x01, 0x91}), "+");
}

TEST(NumberDecoding, RoundTripsEncodedNumbers) {
  for (const char *number : {"+1234567", "0612", "+4917012345678", "112", "5", "+98765432109876543210"}) {
    const Encoded encoded = Encode(number);
    ASSERT_GE(encoded.digits, 0) << number;
    Bytes field{static_cast<uint8_t>(AddressOctets(encoded.digits))};
    field.insert(field.end(), encoded.bytes.begin(), encoded.bytes.end());
    EXPECT_EQ(Decode(field), number);
  }
}

TEST(NumberDecoding, AlphanumericSenderIsPackedText) {
  // A network name as sender: 14 semi-octets, type 0xD0, "INDOSAT" in 7-bit packing.
  const Bytes indosat{static_cast<uint8_t>(AddressOctets(14)), 0xD0, 0x49, 0x27, 0xF1, 0x39, 0x0D, 0x52, 0x01};
  EXPECT_EQ(Decode(indosat), "INDOSAT") << "the spare bits are no '@'";

  EXPECT_EQ(Decode({static_cast<uint8_t>(AddressOctets(6)), 0xD0, 0x41, 0xE1, 0x10}), "ABC");
  // Eight characters fill seven octets exactly; the last one is real.
  EXPECT_EQ(Decode({0x08, 0xD0, 0x41, 0xE1, 0x90, 0x58, 0x34, 0x1E, 0x91}), "ABCDEFGH");
  // Type bits 101 with another numbering plan are still text.
  EXPECT_EQ(Decode({0x04, 0xD1, 0x41, 0xE1, 0x10}), "ABC");
}

TEST(NumberDecoding, HostileLengthBytesStayInsideTheField) {
  // The length byte claims more than the message carries.
  const uint8_t shortField[] = {0xFF, 0x81, 0x21, 0x43};
  EXPECT_STREQ(DecodeNumber(shortField, sizeof shortField).text, "1234");

  // A field never holds more than 10 digit bytes, whatever follows it.
  Bytes longField{0xFF, 0x91};
  for (int n = 0; n < 30; ++n) longField.push_back(0x11);
  EXPECT_EQ(Decode(longField), "+" + std::string(20, '1'));

  Bytes longName{0xFF, 0xD0};
  for (int n = 0; n < 30; ++n) longName.push_back(0xFF);
  EXPECT_EQ(Decode(longName).size(), 11u) << "10 octets hold 11 septets";

  EXPECT_STREQ(DecodeNumber(shortField, 1).text, "");
  EXPECT_STREQ(DecodeNumber(nullptr, 8).text, "");
  EXPECT_EQ(Decode({0x00, 0x91, 0x21}), "");
}

TEST(SwappedBcd, TensAreInTheLowNibble) {
  EXPECT_EQ(pelkor::SwappedBcdValue(0x10), 1);
  EXPECT_EQ(pelkor::SwappedBcdValue(0x21), 12);
  EXPECT_EQ(pelkor::SwappedBcdValue(0x99), 99);
  EXPECT_EQ(pelkor::SwappedBcdValue(0x00), 0);
  EXPECT_EQ(pelkor::SwappedBcdValue(0x50), 5);
}

}  // namespace
