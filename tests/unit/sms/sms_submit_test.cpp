// The send-SMS request built from a record: fixed bytes, coding, numbers, headers and
// the refusals that keep a bad message from ever reaching the phone.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sms/sms_submit.h"

namespace pelkor {
namespace {

using Bytes = std::vector<uint8_t>;

SmsRecord TextRecord(const char *destination, const std::string &text, int32_t cls = 0) {
  SmsRecord r;
  r.validityMinutes = 4320;
  r.messageClass = cls;
  CopyField(r.destination, sizeof r.destination, destination);
  std::memcpy(r.text, text.data(), std::min(text.size(), sizeof r.text - 1));
  return r;
}

Bytes Build(const SmsRecord &record, int32_t dataLength, int32_t *result = nullptr) {
  SubmitRequest request;
  const int32_t built = BuildSubmitRequest(record, dataLength, request);
  if (result != nullptr) *result = built;
  return Bytes(request.bytes, request.bytes + request.length);
}

TEST(SubmitRequest, ShortTextByteForByte) {
  SmsRecord r = TextRecord("0612", "hellohello");
  CopyField(r.centreNumber, sizeof r.centreNumber, "+1234567");
  const Bytes expected = {0x00, 0x01, 0x00, 0x01, 0x02, 0x00,                            // command 0x01
                          0x05, 0x91, 0x21, 0x43, 0x65, 0xF7, 0,    0,    0,   0, 0, 0,  // centre, 5 octets
                          0x11, 0x00, 0x00, 0xF0, 0x0A,                                  // submit, class 0, 10 septets
                          0x04, 0x81, 0x60, 0x21, 0,    0,    0,    0,    0,   0, 0, 0,  // destination, 4 digits
                          0xA9, 0,    0,    0,    0,    0,    0,                         // three days
                          0xE8, 0x32, 0x9B, 0xFD, 0x46, 0x97, 0xD9, 0xEC, 0x37};         // packed text
  int32_t result = -1;
  EXPECT_EQ(Build(r, 0, &result), expected);
  EXPECT_EQ(result, 0);
}

TEST(SubmitRequest, OptionsSetClassAndStatusReport) {
  SmsRecord r = TextRecord("+1234567", "x", 1);
  r.statusReport = 1;
  Bytes b = Build(r, 0);
  ASSERT_GE(b.size(), 43u);
  EXPECT_EQ(b[21], 0xF1);
  EXPECT_EQ(b[18], 0x31);
  EXPECT_EQ(Bytes(b.begin() + 23, b.begin() + 29), (Bytes{0x07, 0x91, 0x21, 0x43, 0x65, 0xF7}));

  r = TextRecord("+1234567", "x", 4);  // no class
  b = Build(r, 0);
  EXPECT_EQ(b[21], 0x00);
  EXPECT_EQ(b[18], 0x11);
  EXPECT_EQ(b[6], 0x01) << "an empty centre is its type byte alone";
  EXPECT_EQ(b[7], 0x81);
}

TEST(SubmitRequest, ConcatenatedPartCarriesItsHeaderAndFill) {
  SmsRecord r = TextRecord("123", std::string(153, 'A'));
  r.hasHeader = 1;
  const uint8_t header[] = {0x05, 0x00, 0x03, 0x01, 0x02, 0x01};
  std::memcpy(r.header, header, sizeof header);
  const Bytes b = Build(r, 0);
  ASSERT_EQ(b.size(), 42u + 140u) << "153 characters after the header fill one message";
  EXPECT_EQ(b[18], 0x51);
  EXPECT_EQ(b[22], 160);
  EXPECT_EQ(Bytes(b.begin() + 42, b.begin() + 48), Bytes(header, header + 6));
  // One fill bit: 'A' (0x41) starts at bit 1 of the first text octet.
  EXPECT_EQ(b[48], 0x82);

  std::memset(r.text, 0, sizeof r.text);
  std::memcpy(r.text, "AAAAAAAA", 8);
  EXPECT_EQ(Build(r, 0)[22], 15) << "7 septets of header and fill plus 8 characters";
}

TEST(SubmitRequest, Ucs2KeepsTheClassItWasAskedFor) {
  SmsRecord r = TextRecord("123", "");
  r.ucs2 = r.eightBit = 1;
  const uint8_t hi[] = {0x00, 0x48, 0x00, 0x69};
  std::memcpy(r.text, hi, sizeof hi);
  Bytes b = Build(r, 4);
  ASSERT_EQ(b.size(), 46u);
  EXPECT_EQ(Bytes(b.begin() + 18, b.begin() + 23), (Bytes{0x11, 0xFF, 0x00, 0x18, 0x04}));
  EXPECT_EQ(Bytes(b.begin() + 42, b.end()), Bytes(hi, hi + 4));
  const std::pair<int32_t, uint8_t> classes[] = {{1, 0x19}, {2, 0x1A}, {3, 0x1B}, {7, 0x08}, {-1, 0x08}};
  for (auto [cls, dcs] : classes) {
    r.messageClass = cls;
    EXPECT_EQ(Build(r, 4)[21], dcs) << "class " << cls;
  }
  // A header left in the record from an earlier send is neither sent nor flagged.
  r.hasHeader = 1;
  r.header[0] = 5;
  r.statusReport = 1;
  b = Build(r, 4);
  EXPECT_EQ(b[18], 0x31);
  EXPECT_EQ(b.size(), 46u);
}

TEST(SubmitRequest, PortAddressedEightBitPayload) {
  SmsRecord r = TextRecord("5551234", "", 1);
  r.eightBit = r.hasHeader = 1;
  const uint8_t header[] = {0x06, 0x05, 0x04, 0x15, 0x81, 0x15, 0x81};
  std::memcpy(r.header, header, sizeof header);
  const uint8_t payload[] = {0x02, 0x4A, 0x3A, 0x00, 0x51};  // zero bytes travel too
  std::memcpy(r.text, payload, sizeof payload);
  const Bytes b = Build(r, sizeof payload);
  ASSERT_EQ(b.size(), 42u + 7 + 5);
  EXPECT_EQ(b[18], 0x51);
  EXPECT_EQ(b[21], 0xF5);
  EXPECT_EQ(b[22], 12);
  EXPECT_EQ(Bytes(b.begin() + 42, b.begin() + 49), Bytes(header, header + 7));
  EXPECT_EQ(Bytes(b.begin() + 49, b.end()), Bytes(payload, payload + 5));
}

TEST(SubmitRequest, RefusesWhatCannotBeSentWhole) {
  int32_t result = 0;
  Build(TextRecord("123", std::string(160, 'x')), 0, &result);
  EXPECT_EQ(result, 0);
  Build(TextRecord("123", std::string(161, 'x')), 0, &result);
  EXPECT_EQ(result, 21);

  for (const char *bad : {"12a4", "++1", "12 34", "*100#", "123456789012345678901"}) {
    Build(TextRecord(bad, "hi"), 0, &result);
    EXPECT_EQ(result, 22) << "destination " << bad;
  }
  Build(TextRecord("12345678901234567890", "hi"), 0, &result);
  EXPECT_EQ(result, 0) << "20 digits fit";

  SmsRecord r = TextRecord("123", "hi");
  CopyField(r.centreNumber, sizeof r.centreNumber, "+44 7785");
  Build(r, 0, &result);
  EXPECT_EQ(result, 22) << "centre number";

  // 8-bit: header and payload together may fill 140 octets, not one more.
  r = TextRecord("123", "");
  r.eightBit = r.hasHeader = 1;
  r.header[0] = 6;
  Build(r, 133, &result);
  EXPECT_EQ(result, 0);
  Build(r, 134, &result);
  EXPECT_EQ(result, 22);
  Build(r, -1, &result);
  EXPECT_EQ(result, 22);
  r.header[0] = 10;  // would read past the 10-byte header field
  Build(r, 1, &result);
  EXPECT_EQ(result, 22);

  r = TextRecord("123", "");
  r.ucs2 = r.eightBit = 1;
  Build(r, 140, &result);
  EXPECT_EQ(result, 0);
  Build(r, 142, &result);
  EXPECT_EQ(result, 22);
}

TEST(SubmitRequest, ValidityPeriodFromMinutes) {
  const std::pair<int32_t, uint8_t> cases[] = {{4320, 0xA9},  {5, 0},         {720, 143},   {750, 144},
                                               {1440, 167},   {2880, 168},    {43200, 196}, {50400, 197},
                                               {635040, 255}, {700000, 0xA9}, {0, 0},       {-30, 0}};
  for (auto [minutes, byte] : cases) EXPECT_EQ(ValidityPeriodByte(minutes), byte) << minutes;
}

}  // namespace
}  // namespace pelkor
