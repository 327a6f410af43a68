// Decoding of stored messages as the phone returns them, including replies whose
// lengths do not add up, and the handlers that route them to a waiting read.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sms/number_codec.h"
#include "sms/reply_routes.h"
#include "sms/septet_packing.h"
#include "sms/sms_read_reply.h"
#include "sms/sms_send.h"

namespace pelkor {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Packed(const char *text, int fill = 0) {
  Bytes out(256);
  out.resize(PackSeptets(text, fill, out.data(), out.size()));
  return out;
}

// A read reply laid out by message type: r = 4 received, 3 status report, 5 stored
// outgoing. The fixed part is there; fields are put in by offset.
class ReadReply {
 public:
  ReadReply(uint8_t messageType, uint8_t status) {
    r_ = messageType == 0x01 ? 3 : messageType == 0x02 ? 5 : 4;
    bytes_ = {0x01, 0x08, 0x00, 0x08, status, 0x03, 0x00, messageType};
    bytes_.resize(r_ + 39, 0x00);
    Put(8, {0x05, 0x91, 0x21, 0x43, 0x65, 0xF7});  // centre +1234567
  }
  size_t r() const { return r_; }
  ReadReply &Put(size_t offset, const Bytes &value) {
    if (bytes_.size() < offset + value.size()) bytes_.resize(offset + value.size(), 0x00);
    std::copy(value.begin(), value.end(), bytes_.begin() + static_cast<long>(offset));
    return *this;
  }
  ReadReply &Cut(size_t size) {
    bytes_.resize(size);
    return *this;
  }
  // As the receiver hands it over: the last frame's two trailer bytes included.
  ReplyMessage Message() {
    framed_ = bytes_;
    framed_.push_back(0x01);
    framed_.push_back(0x41);
    return ReplyMessage{0x14, framed_.data(), framed_.size()};
  }

 private:
  size_t r_ = 4;
  Bytes bytes_;
  Bytes framed_;
};

SmsRecord Decode(ReadReply &reply, int32_t *status = nullptr) {
  SmsRecord record;
  const ReadReplyOutcome outcome = DecodeReadReply(reply.Message(), record);
  if (status != nullptr) *status = outcome.status;
  return record;
}

TEST(ReadReply, ReceivedTextWithAlphanumericSender) {
  ReadReply reply(0x00, 0x01);
  const size_t r = reply.r();
  Bytes sender = {14, 0xD0};  // 14 semi-octets: "INDOSAT" packed into 7 octets
  const Bytes name = Packed("INDOSAT");
  sender.insert(sender.end(), name.begin(), name.end());
  reply.Put(20, {0x04})
      .Put(r + 18, {0x00, 10})
      .Put(r + 20, sender)
      .Put(r + 32, {0x42, 0x50, 0x60, 0x71, 0x32, 0x54, 0x00})
      .Put(r + 39, Packed("hellohello"));
  int32_t status = -1;
  const SmsRecord m = Decode(reply, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(m.kind, kSmsKindReceived);
  EXPECT_EQ(m.readOrSent, 1);
  EXPECT_STREQ(m.sender, "INDOSAT");
  EXPECT_STREQ(m.centreNumber, "+1234567");
  EXPECT_STREQ(m.text, "hellohello");
  EXPECT_EQ(m.userDataLength, 10);
  EXPECT_EQ(m.eightBit, 0);
  EXPECT_EQ((std::vector<int32_t>{m.year, m.month, m.day, m.hour, m.minute, m.second}),
            (std::vector<int32_t>{24, 5, 6, 17, 23, 45}));
}

TEST(ReadReply, ConcatenationHeaderIsSkippedWithItsFillBit) {
  ReadReply reply(0x00, 0x03);
  const size_t r = reply.r();
  Bytes userData = {0x05, 0x00, 0x03, 0x01, 0x02, 0x01};
  const Bytes text = Packed("Hello, world!", 1);
  userData.insert(userData.end(), text.begin(), text.end());
  reply.Put(20, {0x44}).Put(r + 18, {0x00, 20}).Put(r + 20, {0x04, 0x81, 0x21, 0x43}).Put(r + 39, userData);
  int32_t status = -1;
  const SmsRecord m = Decode(reply, &status);
  EXPECT_EQ(status, 0);
  EXPECT_STREQ(m.text, "Hello, world!");
  EXPECT_STREQ(m.sender, "1234");
  EXPECT_EQ(m.readOrSent, 0) << "status 0x03 is unread";
}

TEST(ReadReply, StatusReportsReadTheirStatusByte) {
  const std::pair<uint8_t, const char *> cases[] = {
      {0x00, "Delivered"}, {0x02, "Delivered"}, {0x41, "Failed"}, {0x20, "Pending"}, {0x03, "Unknown"}};
  for (auto [statusByte, text] : cases) {
    ReadReply reply(0x01, 0x01);
    reply.Put(22, {statusByte}).Put(reply.r() + 20, {0x03, 0x91, 0x21, 0xF3});
    int32_t status = -1;
    const SmsRecord m = Decode(reply, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m.kind, kSmsKindStatusReport);
    EXPECT_STREQ(m.text, text) << "status byte " << int{statusByte};
    EXPECT_STREQ(m.sender, "+123");
  }
}

// A status report as the store lays it out: reference in byte 21, status in 22, the
// recipient from r + 20, the submission's time stamp from r + 32 and the discharge time
// after it, where other messages have their user data.
ReadReply StatusReport(uint8_t reference, uint8_t statusByte) {
  ReadReply reply(0x01, 0x01);
  const size_t r = reply.r();
  reply.Put(20, {0x06})
      .Put(21, {reference, statusByte})
      .Put(r + 20, {0x0B, 0x91, 0x94, 0x71, 0x10, 0x32, 0x54, 0xF6})  // +49170123456
      .Put(r + 32, {0x42, 0x01, 0x31, 0x32, 0x54, 0x75, 0x40})        // 24-10-13 23:45:57, zone
      .Put(r + 39, {0x42, 0x11, 0x41, 0x80, 0x50, 0x20, 0x40});       // 24-11-14 08:05:02, zone
  return reply;
}

TEST(ReadReply, StatusReportFieldsForEachOutcome) {
  const std::pair<uint8_t, const char *> cases[] = {{0x00, "Delivered"}, {0x20, "Pending"}, {0x41, "Failed"}};
  for (auto [statusByte, text] : cases) {
    ReadReply reply = StatusReport(0xFE, statusByte);
    int32_t status = -1;
    const SmsRecord m = Decode(reply, &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(m.kind, kSmsKindStatusReport);
    EXPECT_STREQ(m.text, text);
    EXPECT_EQ(m.report.status, statusByte);
    EXPECT_EQ(m.report.reference, 0xFE);
    EXPECT_STREQ(m.sender, "+49170123456");
    EXPECT_EQ((std::vector<int32_t>{m.year, m.month, m.day, m.hour, m.minute, m.second}),
              (std::vector<int32_t>{24, 10, 13, 23, 45, 57}));
    EXPECT_EQ(std::vector<int32_t>(m.report.discharged, m.report.discharged + 6),
              (std::vector<int32_t>{24, 11, 14, 8, 5, 2}));
  }
}

TEST(ReadReply, StatusReportCutShortKeepsOnlyWhatIsThere) {
  // Four bytes of the discharge time: with the two trailer bytes behind them there
  // would be six, which must not be taken for the rest of it.
  ReadReply reply = StatusReport(7, 0x20);
  reply.Cut(reply.r() + 39 + 4);
  int32_t status = -1;
  SmsRecord m = Decode(reply, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(m.report.reference, 7);
  EXPECT_EQ(m.report.status, 0x20);
  EXPECT_EQ(m.day, 13);
  EXPECT_EQ(std::vector<int32_t>(m.report.discharged, m.report.discharged + 6), std::vector<int32_t>(6, 0));

  // Ending inside the fixed fields it is no report at all, and nothing of it is kept.
  ReadReply stub = StatusReport(7, 0x41);
  stub.Cut(30);
  m = Decode(stub, &status);
  EXPECT_EQ(status, kResultSmsReadError);
  EXPECT_EQ(m.report.reference, 0);
  EXPECT_EQ(m.report.status, 0);
  EXPECT_STREQ(m.sender, "");
}

TEST(ReadReply, StoredOutgoingKeepsNoTimeAndNoNumbers) {
  ReadReply reply(0x02, 0x07);
  const size_t r = reply.r();
  reply.Put(20, {0x11})
      .Put(r + 18, {0x00, 2})
      .Put(r + 20, {0x03, 0x81, 0x21, 0xF3})
      .Put(r + 32, {0x42, 0x50, 0x60, 0x71, 0x32, 0x54})
      .Put(r + 39, Packed("ok"));
  int32_t status = -1;
  const SmsRecord m = Decode(reply, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(m.kind, kSmsKindStoredOutgoing);
  EXPECT_EQ(m.readOrSent, 0) << "0x07: not sent";
  EXPECT_STREQ(m.text, "ok");
  EXPECT_STREQ(m.sender, "");
  EXPECT_STREQ(m.centreNumber, "");
  EXPECT_EQ(m.year + m.month + m.day + m.hour + m.minute + m.second, 0);
}

TEST(ReadReply, EightBitAndUcs2KeepTheRawOctets) {
  ReadReply eight(0x00, 0x01);
  const Bytes payload = {0x06, 0x05, 0x04, 0x15, 0x82, 0x00, 0x00, 0x00, 0x7F};
  eight.Put(20, {0x44}).Put(eight.r() + 18, {0xF5, 9}).Put(eight.r() + 39, payload);
  SmsRecord record;
  ReadReplyOutcome outcome = DecodeReadReply(eight.Message(), record);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_FALSE(outcome.dumpMessage);
  EXPECT_EQ(record.eightBit, 1);
  EXPECT_EQ(record.ucs2, 0);
  EXPECT_EQ(record.userDataLength, 9);
  EXPECT_EQ(Bytes(record.text, record.text + 9), payload) << "header included";

  ReadReply general(0x00, 0x01);  // 8-bit in the general coding group, class 1
  general.Put(general.r() + 18, {0x15, 3}).Put(general.r() + 39, {0x41, 0x00, 0xE8});
  record = SmsRecord{};
  outcome = DecodeReadReply(general.Message(), record);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(record.eightBit, 1);
  EXPECT_EQ(Bytes(record.text, record.text + 4), (Bytes{0x41, 0x00, 0xE8, 0x00}));

  ReadReply wide(0x00, 0x01);
  wide.Put(20, {0x04}).Put(wide.r() + 18, {0x08, 4}).Put(wide.r() + 39, {0x00, 0x48, 0x00, 0x69});
  record = SmsRecord{};
  outcome = DecodeReadReply(wide.Message(), record);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_TRUE(outcome.dumpMessage);
  EXPECT_TRUE(outcome.dumpUcs2Text);
  EXPECT_EQ(record.ucs2, 1);
  EXPECT_EQ(Bytes(record.text, record.text + 5), (Bytes{0x00, 0x48, 0x00, 0x69, 0x00}));
}

TEST(ReadReply, LengthsThatDoNotAddUpAreReadErrors) {
  int32_t status = 0;
  {
    ReadReply reply(0x00, 0x01);
    reply.Cut(30);  // ends inside the fixed fields
    Decode(reply, &status);
    EXPECT_EQ(status, kResultSmsReadError);
  }
  {
    ReadReply reply(0x00, 0x01);
    reply.Put(reply.r() + 18, {0x00, 200}).Put(reply.r() + 39, Packed("only a few"));
    const SmsRecord m = Decode(reply, &status);
    EXPECT_EQ(status, kResultSmsReadError) << "200 septets declared, 9 octets there";
    EXPECT_STREQ(m.text, "");
  }
  {
    ReadReply reply(0x00, 0x01);
    reply.Put(reply.r() + 18, {0xF4, 50}).Put(reply.r() + 39, Bytes(10, 0x41));
    Decode(reply, &status);
    EXPECT_EQ(status, kResultSmsReadError) << "8-bit data cut short";
  }
  {
    ReadReply reply(0x00, 0x01);  // header length byte larger than the user data
    reply.Put(20, {0x44}).Put(reply.r() + 18, {0x00, 10}).Put(reply.r() + 39, {0xFF, 0x00, 0x03});
    reply.Put(reply.r() + 39 + 8, {0x00});
    Decode(reply, &status);
    EXPECT_EQ(status, kResultSmsReadError);
  }
  {
    ReadReply reply(0x00, 0x01);  // digit count far beyond the field
    reply.Put(reply.r() + 18, {0x00, 0}).Put(reply.r() + 20, {0xFF, 0x81, 0x21, 0x43});
    const SmsRecord m = Decode(reply, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::string(m.sender), "1234" + std::string(16, '0')) << "ten digit bytes at most";
  }
}

TEST(ReadReply, LongestTextFitsTheRecord) {
  ReadReply reply(0x05, 0x01);  // unknown message type: "other", received layout
  const std::string text(255, 'z');
  reply.Put(reply.r() + 18, {0x00, 255}).Put(reply.r() + 39, Packed(text.c_str()));
  int32_t status = -1;
  const SmsRecord m = Decode(reply, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(m.kind, kSmsKindOther);
  EXPECT_EQ(std::string(m.text), text);
}

class ReadHandlers : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pelkor-sms-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    const char *old = getenv("TMPDIR");
    hadTmpdir_ = old != nullptr;
    if (hadTmpdir_) oldTmpdir_ = old;
    setenv("TMPDIR", directory_.c_str(), 1);
  }
  void TearDown() override {
    Sms().sendTarget.Detach();
    if (hadTmpdir_)
      setenv("TMPDIR", oldTmpdir_.c_str(), 1);
    else
      unsetenv("TMPDIR");
    std::filesystem::remove_all(directory_);
  }
  std::vector<std::filesystem::path> Files() const {
    std::vector<std::filesystem::path> files;
    for (auto &entry : std::filesystem::directory_iterator(directory_)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
  }
  static Bytes Contents(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  std::string directory_;
  std::string oldTmpdir_;
  bool hadTmpdir_ = false;
};

TEST_F(ReadHandlers, Ucs2MessageIsDumpedOnlyForAWaitingRead) {
  ReadReply reply(0x00, 0x01);
  reply.Put(20, {0x04}).Put(reply.r() + 18, {0x08, 4}).Put(reply.r() + 39, {0x00, 0x48, 0x00, 0x69});
  const ReplyMessage message = reply.Message();

  SmsRecord record;
  Sms().sendTarget.Attach(&record);
  Sms().sendCell.Arm();
  DispatchReply(message);
  Sms().sendTarget.Detach();
  EXPECT_EQ(Sms().sendCell.Value(), 0);
  EXPECT_EQ(record.ucs2, 1);

  const auto files = Files();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].extension(), ".dat");
  EXPECT_EQ(files[1].extension(), ".txt");
  EXPECT_EQ(files[0].stem(), files[1].stem());
  EXPECT_EQ(Contents(files[0]), Bytes(message.bytes, message.bytes + message.length));
  EXPECT_EQ(Contents(files[1]), (Bytes{0xFE, 0xFF, 0x00, 0x48, 0x00, 0x69}));

  // A late reply finds no read waiting: no record, no status, no file.
  Sms().sendCell.Arm();
  DispatchReply(message);
  EXPECT_EQ(Sms().sendCell.Value(), kPending);
  EXPECT_EQ(Files().size(), 2u);
}

TEST_F(ReadHandlers, RefusalsNameInvalidAndEmptyLocations) {
  SmsRecord record;
  Sms().sendTarget.Attach(&record);
  const std::pair<uint8_t, int32_t> cases[] = {{0x02, 8}, {0x07, 14}, {0x05, kPending}};
  for (auto [code, expected] : cases) {
    Sms().sendCell.Arm();
    const uint8_t bytes[] = {0x01, 0x08, 0x00, 0x09, code, 0x01, 0x40};
    DispatchReply(ReplyMessage{0x14, bytes, sizeof bytes});
    EXPECT_EQ(Sms().sendCell.Value(), expected) << "code " << int{code};
  }
}

}  // namespace
}  // namespace pelkor
