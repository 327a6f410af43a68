// The message references of a send: taken from the phone's confirmation of each part
// and kept in part order for the host.
#include <gtest/gtest.h>

#include <vector>

#include "link/reply_dispatch.h"
#include "sms/sms_send.h"
#include "sms/sms_utf8.h"

namespace pelkor {
namespace {

class SendVerdicts : public ::testing::Test {
 protected:
  void SetUp() override {
    Sms().sendTarget.Attach(&record_);
    record_.messageReference = -1;
  }
  void TearDown() override { Sms().sendTarget.Detach(); }

  // As the receiver hands a message over: the last frame's two trailer bytes included.
  int32_t Verdict(std::vector<uint8_t> bytes) {
    bytes.push_back(0x01);
    bytes.push_back(0x45);
    Sms().sendCell.Arm();
    DispatchReply(ReplyMessage{0x02, bytes.data(), bytes.size()});
    return Sms().sendCell.Value();
  }

  SmsRecord record_;
};

TEST_F(SendVerdicts, ConfirmationNamesTheReferenceInByteFive) {
  for (int reference : {0, 1, 0x7F, 0xFF}) {
    EXPECT_EQ(Verdict({0x01, 0x08, 0x00, 0x02, 0x01, static_cast<uint8_t>(reference)}), kSmsSent);
    EXPECT_EQ(record_.messageReference, reference);
  }
}

TEST_F(SendVerdicts, ConfirmationWithoutAReferenceAndRefusalsLeaveNone) {
  // Too short to carry byte 5: the trailer behind it is no reference.
  EXPECT_EQ(Verdict({0x01, 0x08, 0x00, 0x02, 0x01}), kSmsSent);
  EXPECT_EQ(record_.messageReference, -1);
  EXPECT_EQ(Verdict({0x01, 0x08, 0x00, 0x03, 0x01, 0xC5}), kResultSmsRefused);
  EXPECT_EQ(record_.messageReference, -1);
}

TEST(SentReferences, CopiesWhatFitsAndCountsEveryConfirmedPart) {
  ClearSentReferences();
  EXPECT_EQ(GetSentReferences(nullptr, 0), 0);
  for (int32_t reference : {254, 255, 0}) NoteSentReference(reference);

  std::vector<int32_t> all(5, 99);
  EXPECT_EQ(GetSentReferences(all.data(), 5), 3);
  EXPECT_EQ(all, (std::vector<int32_t>{254, 255, 0, 99, 99}));
  std::vector<int32_t> two(3, 99);
  EXPECT_EQ(GetSentReferences(two.data(), 2), 3) << "the count, not what fitted";
  EXPECT_EQ(two, (std::vector<int32_t>{254, 255, 99}));
  EXPECT_EQ(GetSentReferences(nullptr, 0), 3);

  EXPECT_EQ(GetSentReferences(all.data(), -1), -1);
  EXPECT_EQ(GetSentReferences(nullptr, 1), -1);

  ClearSentReferences();
  EXPECT_EQ(GetSentReferences(all.data(), 5), 0);
}

TEST(SentReferences, KeepsNoMoreThanAMessageHasParts) {
  ClearSentReferences();
  for (int32_t i = 0; i < 300; ++i) NoteSentReference(i & 0xFF);
  std::vector<int32_t> out(300, -5);
  EXPECT_EQ(GetSentReferences(out.data(), 300), 255);
  EXPECT_EQ(out[254], 254);
  EXPECT_EQ(out[255], -5);
  ClearSentReferences();
}

TEST(SentReferences, EverySenderStartsAfresh) {
  // Refused before anything reaches the phone, so no link is needed.
  NoteSentReference(42);
  EXPECT_EQ(SendTextMessage("not a number", "hi", 0, 0), kResultRefused);
  EXPECT_EQ(GetSentReferences(nullptr, 0), 0);
  NoteSentReference(42);
  EXPECT_EQ(SendUcs2File("not a number", "/nonexistent", 0, 0), kResultRefused);
  EXPECT_EQ(GetSentReferences(nullptr, 0), 0);
  NoteSentReference(42);
  const uint8_t header[] = {0x06, 0x05, 0x04, 0x15, 0x81, 0x15, 0x81};
  const std::vector<uint8_t> tooLong(sizeof(SmsRecord::text) + 1, 0);
  EXPECT_EQ(SendSmartMessage("123", header, sizeof header, tooLong.data(), tooLong.size()), kResultRefused);
  EXPECT_EQ(GetSentReferences(nullptr, 0), 0);
  NoteSentReference(42);
  EXPECT_EQ(SendUtf8Message("", "hi", 0, 0, nullptr), kResultRefused);
  EXPECT_EQ(GetSentReferences(nullptr, 0), 0);
  NoteSentReference(42);
  EXPECT_EQ(SendUtf8Part("", "hi", 0, 0, 0, 1), kResultRefused);
  EXPECT_EQ(GetSentReferences(nullptr, 0), 0);
}

}  // namespace
}  // namespace pelkor
