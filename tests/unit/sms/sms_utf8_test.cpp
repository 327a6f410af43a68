// The UTF-8 sender's requests and the UTF-8 view of read messages.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <random>
#include <cstring>
#include <string>
#include <vector>

#include "sms/septet_packing.h"
#include "sms/sms_read_reply.h"
#include "sms/sms_save.h"
#include "sms/sms_utf8.h"

namespace {

using namespace pelkor;
using Bytes = std::vector<uint8_t>;

SmsRecord Outgoing(int32_t messageClass = 0xFFFF) {
  SmsRecord record;
  record.messageClass = messageClass;
  record.validityMinutes = 4320;
  std::strcpy(record.destination, "+1234567");
  std::strcpy(record.centreNumber, "+4477001122");
  return record;
}

Bytes UserData(const SubmitRequest &request) {
  return Bytes(request.bytes + kSubmitUserDataOffset, request.bytes + request.length);
}

TEST(Utf8Submit, ExtensionCharactersGoAsEscapedSeptets) {
  SmsTextParts split;
  ASSERT_TRUE(SplitSmsText("€", split));
  SmsRecord record = Outgoing();
  SubmitRequest request;
  ASSERT_EQ(BuildUtf8SubmitRequest(record, split, 0, 0, request), 0);
  EXPECT_EQ(request.bytes[18], 0x11) << "no header";
  EXPECT_EQ(request.bytes[21], 0x00) << "7-bit, no class";
  EXPECT_EQ(request.bytes[22], 2) << "the escape and its code";
  EXPECT_EQ(UserData(request), (Bytes{0x9B, 0x32}));  // 1B then 65, packed
}

TEST(Utf8Submit, ConcatenatedSevenBitPartsCarryTheHeaderAndTheirSeptets) {
  SmsTextParts split;
  ASSERT_TRUE(SplitSmsText(std::string(153, 'a') + "{}{}", split));
  ASSERT_EQ(split.parts.size(), 2u);
  SmsRecord record = Outgoing(1);
  SubmitRequest request;
  ASSERT_EQ(BuildUtf8SubmitRequest(record, split, 1, 0x2A, request), 0);
  EXPECT_EQ(request.bytes[18], 0x51);
  EXPECT_EQ(request.bytes[21], 0xF1);
  EXPECT_EQ(request.bytes[22], 7 + 8) << "header septets and four escaped braces";
  const Bytes data = UserData(request);
  ASSERT_GE(data.size(), 6u);
  EXPECT_EQ(Bytes(data.begin(), data.begin() + 6), (Bytes{0x05, 0x00, 0x03, 0x2A, 0x02, 0x02}));
  // Septets after one fill bit: 1B 28 1B 29.
  uint8_t codes[8];
  ASSERT_EQ(UnpackSeptets(data.data() + 6, data.size() - 6, 1, 4, codes), 4u);
  EXPECT_EQ(Bytes(codes, codes + 4), (Bytes{0x1B, 0x28, 0x1B, 0x29}));
  ASSERT_EQ(BuildUtf8SubmitRequest(record, split, 0, 0x2A, request), 0);
  EXPECT_EQ(request.bytes[22], 160);
  EXPECT_EQ(request.length, kSubmitUserDataOffset + 140);
  EXPECT_EQ(BuildUtf8SubmitRequest(record, split, 2, 0x2A, request), 22) << "no third part";
}

TEST(Utf8Submit, Ucs2PartsKeepTheConcatenationHeader) {
  SmsTextParts split;
  std::string text;
  for (int i = 0; i < 71; ++i) text += "Ж";
  ASSERT_TRUE(SplitSmsText(text, split));
  ASSERT_EQ(split.parts.size(), 2u);
  SmsRecord record = Outgoing(0);
  SubmitRequest request;
  ASSERT_EQ(BuildUtf8SubmitRequest(record, split, 0, 7, request), 0);
  EXPECT_EQ(request.bytes[18], 0x51) << "SMS-SUBMIT with a header";
  EXPECT_EQ(request.bytes[19], 0xFF);
  EXPECT_EQ(request.bytes[21], 0x18);
  EXPECT_EQ(request.bytes[22], 6 + 134);
  const Bytes data = UserData(request);
  EXPECT_EQ(Bytes(data.begin(), data.begin() + 8), (Bytes{0x05, 0x00, 0x03, 0x07, 0x02, 0x01, 0x04, 0x16}));
  // A single UCS-2 message has no header at all.
  ASSERT_TRUE(SplitSmsText("Привет", split));
  ASSERT_EQ(BuildUtf8SubmitRequest(record, split, 0, 0, request), 0);
  EXPECT_EQ(request.bytes[18], 0x11);
  EXPECT_EQ(request.bytes[22], 12);
}

TEST(Utf8Submit, BadNumbersAreRefusedBeforeAnythingIsSent) {
  SmsTextParts split;
  ASSERT_TRUE(SplitSmsText("hi", split));
  SmsRecord record = Outgoing();
  std::strcpy(record.destination, "12ab");
  SubmitRequest request;
  EXPECT_EQ(BuildUtf8SubmitRequest(record, split, 0, 0, request), 22);
  int32_t parts = -1, ucs2 = -1;
  EXPECT_EQ(PlanUtf8Message("Grüße", &parts, &ucs2), 0);
  EXPECT_EQ(parts, 1);
  EXPECT_EQ(ucs2, 0);
  EXPECT_EQ(PlanUtf8Message("\xC3", &parts, &ucs2), 22);
  EXPECT_EQ(parts, 0);
}

// A read reply (type 0x14, command 0x08) of a received message: r = 4.
Bytes ReceivedReply(uint8_t coding, uint8_t declared, const Bytes &origin, const Bytes &userData, bool header = false) {
  Bytes reply(4 + 39, 0x00);
  reply[3] = 0x08;
  reply[7] = 0x00;
  reply[8] = 0x01;
  reply[9] = 0x91;
  reply[20] = header ? 0x44 : 0x04;
  reply[4 + 18] = coding;
  reply[4 + 19] = declared;
  for (size_t i = 0; i < origin.size() && i < 12; ++i) reply[4 + 20 + i] = origin[i];
  reply.insert(reply.end(), userData.begin(), userData.end());
  reply.push_back(0x01);  // frames left and sequence
  reply.push_back(0x40);
  return reply;
}

SmsRecord Decode(const Bytes &reply) {
  SmsRecord record;
  const ReplyMessage message{0x14, reply.data(), reply.size()};
  EXPECT_EQ(DecodeReadReply(message, record).status, 0);
  return record;
}

TEST(Utf8Read, SevenBitWithExtensionAndGreekCharacters) {
  // "Δ€[" = 10 1B 65 1B 3C: five septets.
  const Bytes packed = {0x90, 0x4D, 0x79, 0xC3, 0x03};
  const SmsRecord record = Decode(ReceivedReply(0x00, 5, {0x04, 0x81, 0x21, 0x43}, packed));
  EXPECT_EQ(RecordTextUtf8(record), "Δ€[");
  EXPECT_EQ(std::string(record.text), "??e?<") << "the 8-bit text keeps its old form";
  EXPECT_EQ(RecordSenderUtf8(record), "1234");
}

TEST(Utf8Read, Ucs2AfterAHeaderAndEightBitAsLatin1) {
  const Bytes ucs2 = {0x05, 0x00, 0x03, 0x01, 0x02, 0x01, 0x04, 0x1F, 0xD8, 0x3D, 0xDE, 0x00};
  EXPECT_EQ(RecordTextUtf8(Decode(ReceivedReply(0x08, 12, {0x02, 0x81, 0x21}, ucs2, true))), "П😀");
  const Bytes latin = {'K', 0xF6, 'l', 'n'};
  EXPECT_EQ(RecordTextUtf8(Decode(ReceivedReply(0xF4, 4, {0x02, 0x81, 0x21}, latin))), "Köln");
}

TEST(Utf8Read, AlphanumericSenderIsItsName) {
  // "INDOSAT" packed as septets: 7 characters, 49 bits, 13 semi-octets.
  const Bytes origin = {13, 0xD0, 0x49, 0x27, 0xF1, 0x39, 0x0D, 0x52, 0x01};
  const Bytes text = {0xC8, 0x34};  // "Hi"
  const SmsRecord record = Decode(ReceivedReply(0x00, 2, origin, text));
  EXPECT_EQ(RecordSenderUtf8(record), "INDOSAT");
  EXPECT_EQ(RecordTextUtf8(record), "Hi");
}

// Whatever a phone sends, the UTF-8 view is well-formed UTF-8 and stays in the reply.
TEST(Utf8Read, ArbitraryRepliesGiveWellFormedUtf8) {
  std::mt19937 random(20261209);
  std::vector<char32_t> points;
  for (int round = 0; round < 20000; ++round) {
    Bytes reply(43 + random() % 160);
    for (uint8_t &b : reply) b = static_cast<uint8_t>(random());
    reply[3] = 0x08;
    reply[7] = static_cast<uint8_t>(random() % 4);
    const uint8_t codings[] = {0x00, 0x08, 0xF4, 0x18, 0xF0, static_cast<uint8_t>(random())};
    reply[4 + 18] = codings[random() % 6];
    SmsRecord record;
    const ReplyMessage message{0x14, reply.data(), reply.size()};
    if (DecodeReadReply(message, record).status != 0) continue;
    const std::string text = RecordTextUtf8(record);
    const std::string sender = RecordSenderUtf8(record);
    ASSERT_TRUE(DecodeUtf8(text, points)) << "round " << round;
    ASSERT_TRUE(DecodeUtf8(sender, points)) << "round " << round;
    ASSERT_LE(points.size(), 11u + 20u);
  }
}

// The store request lays the message out as the read reply does: read back through the
// reader, it is the message that was stored.
TEST(Utf8Save, TheStoreRequestReadsBackAsTheSameMessage) {
  const struct {
    int32_t kind;
    bool read;
    const char *number, *text;
  } cases[] = {{13, false, "INDOSAT", "Grüße {€} Δ"},
               {13, true, "+4912345", "Привет 😀"},
               {11, true, "555", "draft [1]"},
               {11, false, "", ""}};
  for (const auto &c : cases) {
    StoredSms message;
    message.location = 7;
    message.kindCode = c.kind;
    message.read = c.read;
    message.number = c.number;
    message.text = c.text;
    const int32_t time[6] = {2026, 12, 8, 9, 15, 30};
    std::copy(time, time + 6, message.time);
    Bytes request;
    ASSERT_EQ(BuildSaveRequest(message, request), 0) << c.text;
    EXPECT_EQ(Bytes(request.begin(), request.begin() + 4), (Bytes{0x00, 0x01, 0x00, 0x04}));
    EXPECT_EQ(request[5], 7);
    Bytes reply = request;
    reply[3] = 0x08;
    reply.push_back(0x01);  // frames left and sequence, as a reply ends
    reply.push_back(0x41);
    const SmsRecord record = Decode(reply);
    EXPECT_EQ(record.kind, c.kind == 11 ? kSmsKindStoredOutgoing : kSmsKindReceived);
    EXPECT_EQ(record.readOrSent, c.read ? 1 : 0);
    EXPECT_EQ(RecordTextUtf8(record), c.text);
    if (c.kind == 13) {
      EXPECT_EQ(RecordSenderUtf8(record), c.number);
      EXPECT_EQ(
          (std::vector<int32_t>{record.year, record.month, record.day, record.hour, record.minute, record.second}),
          (std::vector<int32_t>{26, 12, 8, 9, 15, 30}));
    }
  }
  StoredSms bad;
  bad.location = 1;
  Bytes request;
  bad.kindCode = 12;
  EXPECT_EQ(BuildSaveRequest(bad, request), 22) << "status reports are not stored";
  bad.kindCode = 13;
  bad.location = 256;
  EXPECT_EQ(BuildSaveRequest(bad, request), 22);
  bad.location = 1;
  const std::string longText(161, 'x');
  bad.text = longText.c_str();
  EXPECT_EQ(BuildSaveRequest(bad, request), 21);
  bad.text = "ok";
  bad.number = "twelve chars";
  EXPECT_EQ(BuildSaveRequest(bad, request), 22) << "a name holds at most 11 characters";
}

}  // namespace
