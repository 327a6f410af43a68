// ringtone_upload and ringtone_sendsms on the wire: what the link writes for each, and
// that a tone too long for its message sends nothing at all.
#include <gtest/gtest.h>
#include <pelkor16.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "../support/fake_port.h"
#include "link/reply_dispatch.h"
#include "ringtone/ringtone_model.h"
#include "sms/sms_send.h"

namespace pelkor::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// The tone "A", 100 bpm, one quarter c in scale 1, and its 13-byte encoding.
const Bytes kToneA = {0x02, 0x4A, 0x3A, 0x45, 0x04, 0x04, 0x00, 0x08, 0xD8, 0xC4, 0x91, 0x40, 0x00};

void LoadTone(const char *name, std::uint16_t tempo, std::size_t notes) {
  Ringtone &tone = CurrentRingtone();
  tone = Ringtone{};
  std::strncpy(tone.name, name, sizeof tone.name - 1);
  tone.tempo = tempo;
  for (std::size_t i = 0; i < notes; ++i) tone.notes[i] = {32, 14};
  tone.noteCount = static_cast<std::uint16_t>(notes);
}

struct WrittenFrame {
  std::uint8_t type;
  Bytes body;  // message bytes of this frame
  std::uint8_t framesLeft;
};

std::vector<WrittenFrame> Frames(FakePort &port) {
  std::vector<WrittenFrame> frames;
  for (const Bytes &f : port.Writes()) {
    const std::size_t length = static_cast<std::size_t>(f[4]) << 8 | f[5];
    frames.push_back(
        {f[3], Bytes(f.begin() + 6, f.begin() + 6 + static_cast<std::ptrdiff_t>(length) - 2), f[6 + length - 2]});
  }
  return frames;
}

Bytes Concat(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class RingtoneTransfer : public LinkTest {
 protected:
  void TearDown() override {
    CurrentRingtone() = Ringtone{};
    LinkTest::TearDown();
  }
};

TEST_F(RingtoneTransfer, EachUploadVariantSendsItsMessageOnce) {
  LoadTone("A", 100, 1);
  ASSERT_EQ(ringtone_upload(0), PELKOR_OK);
  ASSERT_EQ(ringtone_upload(1), PELKOR_OK);
  ASSERT_EQ(ringtone_upload(-5), PELKOR_OK);  // every variant but 0 takes the command form

  const auto frames = Frames(port);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].type, 0x12);
  EXPECT_EQ(frames[0].body, Concat(Concat({0x0C, 0x01, 0x06, 0x05, 0x04, 0x15, 0x81, 0x15, 0x81}, kToneA), {0x01}));
  const Bytes command = Concat(Concat({0x00, 0x01, 0x00, 0x36, 0x00, 0x00, 0x0D}, kToneA), {0x01});
  for (std::size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(frames[i].type, 0x05);
    EXPECT_EQ(frames[i].body, command);
    EXPECT_EQ(frames[i].framesLeft, 1);
  }
  // Encoding leaves the tone as it was.
  EXPECT_EQ(CurrentRingtone().noteCount, 1u);
  EXPECT_STREQ(CurrentRingtone().name, "A");
}

TEST_F(RingtoneTransfer, LargestUploadGoesOutWholeAcrossFrames) {
  LoadTone("A", 100, 157);  // 247 bytes of tone: the most the command form carries
  ASSERT_EQ(ringtone_upload(1), PELKOR_OK);
  const auto frames = Frames(port);
  ASSERT_EQ(frames.size(), 3u);
  Bytes message;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].type, 0x05);
    EXPECT_EQ(frames[i].framesLeft, 3 - i);
    message = Concat(message, frames[i].body);
  }
  ASSERT_EQ(message.size(), 255u);
  EXPECT_EQ(Bytes(message.begin(), message.begin() + 7), (Bytes{0x00, 0x01, 0x00, 0x36, 0x00, 0x00, 247}));
  EXPECT_EQ(message[7], 0x02);    // the tone starts with its command count
  EXPECT_EQ(message[253], 0x00);  // and ends with the command end
  EXPECT_EQ(message[254], 0x01);
}

TEST_F(RingtoneTransfer, TonesThatDoNotFitAreRefusedWithNothingSent) {
  LoadTone("A", 100, 156);  // 246 bytes: one too many for type 0x12, fine for 0x05
  EXPECT_EQ(ringtone_upload(0), PELKOR_ERR_REFUSED);
  EXPECT_TRUE(port.Writes().empty());

  LoadTone("AB", 100, 157);  // 248 bytes
  EXPECT_EQ(ringtone_upload(1), PELKOR_ERR_REFUSED);
  EXPECT_TRUE(port.Writes().empty());

  // Alternating tones and pauses: 2 + 2 x 128 instructions overflow the count field.
  LoadTone("", 100, 128);
  for (std::size_t i = 1; i < 128; i += 2) CurrentRingtone().notes[i].pitch = kPausePitch;
  EXPECT_EQ(ringtone_upload(0), PELKOR_ERR_REFUSED);

  // 134 bytes of tone do not fit one SMS beside the port header; the send record keeps
  // what the last sender left in it.
  SmsRecord &record = Sms().sendRecord;
  SetMessageCentre(0, "+358405202000");
  CopyField(record.destination, sizeof record.destination, "+4412345");
  CopyField(record.text, sizeof record.text, "earlier text");
  record.hasHeader = 0;
  LoadTone("AB", 100, 81);
  EXPECT_EQ(ringtone_sendsms("+123"), PELKOR_ERR_REFUSED);
  EXPECT_STREQ(record.destination, "+4412345");
  EXPECT_STREQ(record.text, "earlier text");
  EXPECT_EQ(record.hasHeader, 0);
  EXPECT_TRUE(port.Writes().empty());
}

// Answers the send request with the given command as soon as it is written.
class SmsVerdict {
 public:
  SmsVerdict(FakePort &port, std::uint8_t command)
      : thread_([&port, command] {
          for (int i = 0; i < 2000 && port.Writes().empty(); ++i) std::this_thread::sleep_for(1ms);
          const Bytes reply{0x01, 0x08, 0x00, command, 0x01, 0x00};
          DispatchReply(ReplyMessage{0x02, reply.data(), reply.size()});
        }) {}
  ~SmsVerdict() { thread_.join(); }

 private:
  std::thread thread_;
};

TEST_F(RingtoneTransfer, SmsCarriesThePortHeaderAndTheToneAsEightBitData) {
  SmsRecord &record = Sms().sendRecord;
  SetMessageCentre(0, "+358405202000");
  record.ucs2 = 1;          // left by a UCS-2 send: must not make this one UCS-2
  record.statusReport = 1;  // left by sendsms: kept
  record.messageClass = 0;
  LoadTone("A", 100, 1);
  {
    SmsVerdict phone(port, 0x02);
    ASSERT_EQ(ringtone_sendsms("+1234567"), PELKOR_OK);
  }
  const auto frames = Frames(port);
  ASSERT_EQ(frames.size(), 1u);
  ASSERT_EQ(frames[0].type, 0x02);
  const Bytes &request = frames[0].body;
  ASSERT_EQ(request.size(), 42u + 20u);
  EXPECT_EQ(request[18], 0x71);  // SMS-SUBMIT, header present, status report asked for
  EXPECT_EQ(request[19], 0x00);  // not the UCS-2 reference
  EXPECT_EQ(request[21], 0xF5);  // 8-bit, class 1
  EXPECT_EQ(request[22], 20);    // 7 header octets + 13 tone octets
  EXPECT_EQ(Bytes(request.begin() + 23, request.begin() + 29), (Bytes{0x07, 0x91, 0x21, 0x43, 0x65, 0xF7}));
  EXPECT_EQ(request[35], 0xA9);  // three days
  EXPECT_EQ(Bytes(request.begin() + 42, request.end()), Concat({0x06, 0x05, 0x04, 0x15, 0x81, 0x15, 0x81}, kToneA));
  EXPECT_EQ(record.ucs2, 0);
  EXPECT_STREQ(record.centreNumber, "+358405202000");
}

TEST_F(RingtoneTransfer, SmsResultIsTheSendersVerdict) {
  SetMessageCentre(0, "+358405202000");
  Sms().sendRecord.statusReport = 0;
  LoadTone("A", 100, 1);
  {
    SmsVerdict phone(port, 0x03);
    EXPECT_EQ(ringtone_sendsms("+1234567"), PELKOR_ERR_SMS_SEND);
  }
  ASSERT_EQ(Frames(port).size(), 1u);
  EXPECT_EQ(Frames(port)[0].body[18], 0x51);

  // A destination that is no number is refused before anything is written.
  EXPECT_EQ(ringtone_sendsms("not a number"), PELKOR_ERR_REFUSED);
  EXPECT_EQ(ringtone_sendsms("+123456789012345678901"), PELKOR_ERR_REFUSED);  // 21 digits
  EXPECT_EQ(Frames(port).size(), 1u);
}

}  // namespace
}  // namespace pelkor::testing
