#include <gtest/gtest.h>

#include <initializer_list>

#include "sms/sms_details.h"

namespace pelkor {
namespace {

SmsRecord WithUserData(uint8_t coding, std::initializer_list<uint8_t> userData, uint8_t headerOctets) {
  SmsRecord record;
  record.received.coding = coding;
  size_t n = 0;
  for (const uint8_t byte : userData) record.received.userData[n++] = byte;
  record.received.userDataOctets = static_cast<uint8_t>(n);
  record.received.headerOctets = headerOctets;
  return record;
}

TEST(SmsDetails, ClassComesFromEitherCodingGroup) {
  EXPECT_EQ(DetailsOf(WithUserData(0x00, {}, 0)).messageClass, kSmsNoClass);
  EXPECT_EQ(DetailsOf(WithUserData(0x08, {}, 0)).messageClass, kSmsNoClass);
  EXPECT_EQ(DetailsOf(WithUserData(0x12, {}, 0)).messageClass, 2);
  EXPECT_EQ(DetailsOf(WithUserData(0xF5, {}, 0)).messageClass, 1);
  EXPECT_EQ(DetailsOf(WithUserData(0xF5, {}, 0)).codingScheme, 0xF5);
}

TEST(SmsDetails, ConcatenationAmongOtherElements) {
  // A port-addressing element (05) before the 16-bit concatenation element (08).
  const SmsDetails d = DetailsOf(
      WithUserData(0x04, {0x0C, 0x05, 0x04, 0x15, 0x81, 0x00, 0x00, 0x08, 0x04, 0xAB, 0xCD, 0x02, 0x01, 'x'}, 13));
  EXPECT_EQ(d.concatReference, 0xABCD);
  EXPECT_EQ(d.concatPart, 1);
  EXPECT_EQ(d.concatTotal, 2);
}

TEST(SmsDetails, BrokenHeadersGiveNoPart) {
  struct Case {
    const char *why;
    SmsRecord record;
  };
  const Case cases[] = {
      {"part beyond the total", WithUserData(0x00, {0x05, 0x00, 0x03, 0x07, 0x02, 0x03}, 6)},
      {"part 0", WithUserData(0x00, {0x05, 0x00, 0x03, 0x07, 0x02, 0x00}, 6)},
      {"no parts", WithUserData(0x00, {0x05, 0x00, 0x03, 0x07, 0x00, 0x00}, 6)},
      {"wrong element length", WithUserData(0x00, {0x06, 0x00, 0x04, 0x07, 0x02, 0x01, 0x00}, 7)},
      {"element past the header", WithUserData(0x00, {0x03, 0x00, 0x03, 0x07, 0x02, 0x01}, 4)},
      {"header longer than the data", WithUserData(0x00, {0x05, 0x00, 0x03}, 6)},
  };
  for (const Case &c : cases) {
    const SmsDetails d = DetailsOf(c.record);
    EXPECT_EQ(d.concatPart, 0) << c.why;
    EXPECT_EQ(d.concatTotal, 0) << c.why;
    EXPECT_EQ(d.concatReference, 0) << c.why;
  }
}

}  // namespace
}  // namespace pelkor
