// UTF-8 against the GSM default alphabet and its extension table and UCS-2, and the
// splitting of long texts into concatenated parts.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sms/utf8_text.h"

namespace {

using namespace pelkor;
using Bytes = std::vector<uint8_t>;

std::string Utf8Of(char32_t point) {
  std::string out;
  AppendUtf8(out, point);
  return out;
}

std::string Repeat(const std::string &piece, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += piece;
  return out;
}

TEST(GsmUtf8, EveryDefaultCharacterRoundTrips) {
  for (uint8_t code = 0; code < 128; ++code) {
    if (code == kGsmEscape) continue;
    const std::string text = Utf8Of(GsmDefaultCharacter(code));
    SmsTextParts split;
    ASSERT_TRUE(SplitSmsText(text, split)) << int{code};
    ASSERT_FALSE(split.ucs2) << int{code};
    ASSERT_EQ(split.parts.size(), 1u);
    EXPECT_EQ(split.parts[0], Bytes{code}) << "code " << int{code};
    EXPECT_EQ(DecodeGsmSeptets(&code, 1), text) << int{code};
  }
}

TEST(GsmUtf8, EveryExtensionCharacterGoesBehindTheEscapeAndBack) {
  const std::vector<std::pair<std::string, uint8_t>> table = {{"\f", 0x0A}, {"^", 0x14}, {"{", 0x28}, {"}", 0x29},
                                                              {"\\", 0x2F}, {"[", 0x3C}, {"~", 0x3D}, {"]", 0x3E},
                                                              {"|", 0x40},  {"€", 0x65}};
  for (const auto &[text, code] : table) {
    SmsTextParts split;
    ASSERT_TRUE(SplitSmsText(text, split));
    EXPECT_FALSE(split.ucs2) << text;
    EXPECT_EQ(split.parts.at(0), (Bytes{kGsmEscape, code})) << text;
    const uint8_t septets[] = {kGsmEscape, code};
    EXPECT_EQ(DecodeGsmSeptets(septets, 2), text);
  }
}

TEST(GsmUtf8, EscapesTheTableLacksAndALoneEscapeAtTheEnd) {
  const uint8_t unknown[] = {kGsmEscape, 0x41, 0x42};  // no extension for 'A': shows 'A'
  EXPECT_EQ(DecodeGsmSeptets(unknown, 3), "AB");
  const uint8_t trailing[] = {0x41, kGsmEscape};
  EXPECT_EQ(DecodeGsmSeptets(trailing, 2), "A");
  const uint8_t greek[] = {0x10, 0x13, 0x1F};
  EXPECT_EQ(DecodeGsmSeptets(greek, 3), "ΔΓÉ");
}

TEST(Utf8, MalformedTextIsRefused) {
  std::vector<char32_t> points;
  for (const std::string bad :
       {"\x80", "\xC0\x80", "\xE2\x82", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "ok\xFF"}) {
    EXPECT_FALSE(DecodeUtf8(bad, points)) << bad;
    SmsTextParts split;
    EXPECT_FALSE(SplitSmsText(bad, split));
  }
  ASSERT_TRUE(DecodeUtf8("a€😀", points));
  EXPECT_EQ(points, (std::vector<char32_t>{U'a', 0x20AC, 0x1F600}));
}

TEST(Utf8, Ucs2SurrogatePairsBothWays) {
  std::vector<char32_t> points;
  ASSERT_TRUE(DecodeUtf8("日😀", points));
  Bytes bytes;
  EncodeUcs2(points, bytes);
  EXPECT_EQ(bytes, (Bytes{0x65, 0xE5, 0xD8, 0x3D, 0xDE, 0x00}));
  EXPECT_EQ(DecodeUcs2(bytes.data(), bytes.size()), "日😀");
  const Bytes lone = {0xD8, 0x3D, 0x00, 0x41, 0xDE, 0x00};  // high, 'A', low: both unpaired
  EXPECT_EQ(DecodeUcs2(lone.data(), lone.size()),
            "\xEF\xBF\xBD"
            "A"
            "\xEF\xBF\xBD");
}

TEST(SplitSmsText, SevenBitPartsOf153Septets) {
  SmsTextParts split;
  ASSERT_TRUE(SplitSmsText(Repeat("a", 160), split));
  EXPECT_EQ(split.parts.size(), 1u);
  ASSERT_TRUE(SplitSmsText(Repeat("a", 161), split));
  ASSERT_EQ(split.parts.size(), 2u);
  EXPECT_EQ(split.parts[0].size(), 153u);
  EXPECT_EQ(split.parts[1].size(), 8u);
  ASSERT_TRUE(SplitSmsText(Repeat("a", 306), split));
  EXPECT_EQ(split.parts.size(), 2u);
  // Extension characters count two septets: 80 euro signs are 160 septets, 81 are not.
  ASSERT_TRUE(SplitSmsText(Repeat("€", 80), split));
  EXPECT_EQ(split.parts.size(), 1u);
  ASSERT_TRUE(SplitSmsText(Repeat("€", 81), split));
  EXPECT_EQ(split.parts.size(), 2u);
}

TEST(SplitSmsText, AnEscapeIsNeverCutFromItsCode) {
  SmsTextParts split;
  // 152 letters and a euro sign: the escape would be septet 153, so both go to part 2.
  ASSERT_TRUE(SplitSmsText(Repeat("a", 152) + "€" + Repeat("b", 20), split));
  ASSERT_EQ(split.parts.size(), 2u);
  EXPECT_EQ(split.parts[0].size(), 152u);
  EXPECT_EQ(split.parts[1].front(), kGsmEscape);
  EXPECT_EQ(split.parts[1][1], 0x65);
  for (const Bytes &part : split.parts) EXPECT_NE(part.back(), kGsmEscape);
  std::string joined;
  for (const Bytes &part : split.parts) joined += DecodeGsmSeptets(part.data(), part.size());
  EXPECT_EQ(joined, Repeat("a", 152) + "€" + Repeat("b", 20));
}

TEST(SplitSmsText, Ucs2PartsOf67CharactersAndWholeSurrogatePairs) {
  SmsTextParts split;
  ASSERT_TRUE(SplitSmsText(Repeat("Ж", 70), split));
  EXPECT_TRUE(split.ucs2);
  EXPECT_EQ(split.parts.size(), 1u);
  EXPECT_EQ(split.parts[0].size(), 140u);
  ASSERT_TRUE(SplitSmsText(Repeat("Ж", 71), split));
  ASSERT_EQ(split.parts.size(), 2u);
  EXPECT_EQ(split.parts[0].size(), 134u);
  EXPECT_EQ(split.parts[1].size(), 8u);
  // 66 units and then a pair: the pair would straddle the cut, so it opens part 2.
  ASSERT_TRUE(SplitSmsText(Repeat("Ж", 66) + "😀" + Repeat("Ж", 10), split));
  ASSERT_EQ(split.parts.size(), 2u);
  EXPECT_EQ(split.parts[0].size(), 132u);
  EXPECT_EQ(split.parts[1][0], 0xD8);
  // One character outside the GSM alphabet sends the whole text as UCS-2.
  ASSERT_TRUE(SplitSmsText("Grüße €uro ÄÖÜ ñ 日本 {x}", split));
  EXPECT_TRUE(split.ucs2);
  EXPECT_EQ(DecodeUcs2(split.parts[0].data(), split.parts[0].size()), "Grüße €uro ÄÖÜ ñ 日本 {x}");
  ASSERT_TRUE(SplitSmsText("Grüße €uro ÄÖÜ ñ {x}", split));
  EXPECT_FALSE(split.ucs2) << "the extension table holds the euro sign and the braces";
  ASSERT_TRUE(SplitSmsText("", split));
  EXPECT_EQ(split.parts.size(), 1u);
  EXPECT_TRUE(split.parts[0].empty());
}

}  // namespace
