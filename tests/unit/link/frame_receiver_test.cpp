#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../support/fake_port.h"
#include "../support/phone_frames.h"
#include "link/frame_format.h"
#include "link/frame_receiver.h"
#include "link/reply_dispatch.h"

namespace pelkor::testing {
namespace {

using Bytes = std::vector<uint8_t>;

class ReceiverTest : public LinkTest {
 protected:
  // Feeds the bytes to the receiver one by one, without dispatching; the result for each.
  std::vector<int> Feed(const Bytes &bytes) {
    std::vector<int> results;
    for (uint8_t b : bytes) results.push_back(ReceiveByte(b));
    return results;
  }
  Bytes Message() const {
    const LinkSession &s = Session();
    return Bytes(s.message, s.message + s.messageLength);
  }
};

const Bytes kStatusReply = {0x01, 0x08, 0x00, 0x02, 0x01, 0x03, 0x01, 0x00, 0x02};

TEST_F(ReceiverTest, FrameIsFoundOnlyOnItsLastChecksumByte) {
  Bytes frame = PhoneFrame(0x04, DataPayload(kStatusReply, 1, 0x43));
  std::vector<int> results = Feed(frame);
  std::vector<int> expected(frame.size(), 0);
  expected.back() = 1;
  EXPECT_EQ(results, expected);
  EXPECT_EQ(Message(), DataPayload(kStatusReply, 1, 0x43));
  EXPECT_EQ(Session().lastType, 0x04);
  // The frame is acknowledged with its sequence number's low four bits.
  auto writes = port.Writes();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0][3], kTypeAck);
  EXPECT_EQ(writes[0][6], 0x04);
  EXPECT_EQ(writes[0][7], 0x03);
}

TEST_F(ReceiverTest, NoiseBeforeIsPassedOverAndNoiseAfterHidesTheFrame) {
  Bytes bytes = {0x55, 0x55, 0x1E, 0x0C, 0x13};
  Bytes frame = PhoneFrame(0x04, DataPayload(kStatusReply, 1, 0x41));
  bytes.insert(bytes.end(), frame.begin(), frame.end());
  EXPECT_EQ(Feed(bytes).back(), 1);
  EXPECT_EQ(Feed({0x00}).back(), 0);  // no longer ends at the newest byte
}

TEST_F(ReceiverTest, MalformedFramesAreNeverRecognisedNorAcknowledged) {
  Bytes badChecksum = PhoneFrame(0x04, DataPayload(kStatusReply, 1, 0x41));
  badChecksum.back() ^= 0x01;
  Bytes highLength = PhoneFrame(0x04, DataPayload(kStatusReply, 1, 0x42));
  highLength[4] = 0x01;
  highLength[highLength.size() - 2] ^= 0x01;  // keep the even checksum consistent
  Bytes wrongAddress = PhoneFrame(0x04, DataPayload(kStatusReply, 1, 0x43));
  wrongAddress[1] = 0x00;
  Bytes infraredOnCable = PhoneFrame(0x04, DataPayload(kStatusReply, 1, 0x44), kStartInfrared);
  for (const Bytes &f : {badChecksum, highLength, wrongAddress, infraredOnCable})
    for (int r : Feed(f)) EXPECT_EQ(r, 0);
  EXPECT_TRUE(port.Writes().empty());
}

TEST_F(ReceiverTest, InfraredLinkIgnoresCableFrames) {
  Session().connectionType = kConnectionInfrared;
  EXPECT_EQ(Feed(PhoneFrame(0x04, DataPayload(kStatusReply, 1, 0x41))).back(), 0);
  EXPECT_EQ(Feed(PhoneFrame(0x04, DataPayload(kStatusReply, 1, 0x41), kStartInfrared)).back(), 1);
  auto writes = port.Writes();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0][0], kStartInfrared);
}

TEST_F(ReceiverTest, ThreeFrameReplyIsJoinedWithThreeAcksAndOneCompletion) {
  Bytes a(120, 0xA1), b(120, 0xB2), c = {0xC3, 0xC4, 0xC5};
  int completions = 0;
  for (int r : Feed(PhoneFrame(0x14, DataPayload(a, 3, 0x45)))) completions += r;
  EXPECT_EQ(completions, 0);
  for (int r : Feed(PhoneFrame(0x14, DataPayload(b, 2, 0x06)))) completions += r;
  EXPECT_EQ(completions, 0);
  for (int r : Feed(PhoneFrame(0x14, DataPayload(c, 1, 0x07)))) completions += r;
  EXPECT_EQ(completions, 1);

  Bytes expected = a;
  expected.insert(expected.end(), b.begin(), b.end());
  expected.insert(expected.end(), c.begin(), c.end());
  expected.push_back(1);
  expected.push_back(0x07);
  EXPECT_EQ(Message(), expected);
  EXPECT_EQ(Session().messageLength, 122 + 122 + 5 - 4);
  auto writes = port.Writes();
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0][7], 0x05);
  EXPECT_EQ(writes[1][7], 0x06);
  EXPECT_EQ(writes[2][7], 0x07);
}

TEST_F(ReceiverTest, RepeatedFrameIsCompletedAgainButAcknowledgedOnce) {
  Bytes frame = PhoneFrame(0x04, DataPayload(kStatusReply, 1, 0x42));
  EXPECT_EQ(Feed(frame).back(), 1);
  EXPECT_EQ(Feed(frame).back(), 1);
  EXPECT_EQ(port.Writes().size(), 1u);
}

TEST_F(ReceiverTest, PhoneAcknowledgementIsCountedAndNotAcknowledged) {
  Bytes ack = PhoneFrame(kTypeAck, {0x04, 0x02});
  EXPECT_EQ(Feed(ack).back(), 1);
  EXPECT_EQ(Session().messageLength, 2);
  ProcessMessage();
  EXPECT_EQ(Session().framesAcked.load(), 1u);
  EXPECT_TRUE(Session().linkUp.load());
  EXPECT_TRUE(port.Writes().empty());
}

TEST_F(ReceiverTest, ReplyLongerThanTheMessageBufferIsDroppedWhole) {
  // 26 frames of 120 bytes is more than 3072: nothing is dispatched, every frame is
  // still acknowledged, and the next message is received normally.
  int completions = 0;
  for (int i = 0; i < 26; ++i) {
    const uint8_t seq = static_cast<uint8_t>((i == 0 ? 0x40 : 0) | (i % 8));
    for (int r : Feed(PhoneFrame(0x14, DataPayload(Bytes(120, 0x11), 26 - i, seq)))) completions += r;
  }
  EXPECT_EQ(completions, 0);
  EXPECT_EQ(port.Writes().size(), 26u);
  EXPECT_EQ(Session().reassembled, 0);
  EXPECT_EQ(Feed(PhoneFrame(0x04, DataPayload(kStatusReply, 1, 0x43))).back(), 1);
  EXPECT_EQ(Message(), DataPayload(kStatusReply, 1, 0x43));
}

TEST_F(ReceiverTest, DataFrameTooShortForItsTrailerIsIgnored) {
  // A one-byte payload that looks like a first frame cannot hold frames-left and
  // sequence bytes; it must not unbalance the reassembly count.
  EXPECT_EQ(Feed(PhoneFrame(0x04, {0x41})).back(), 0);
  EXPECT_EQ(Session().reassembled, 0);
  EXPECT_EQ(Feed(PhoneFrame(0x04, DataPayload(kStatusReply, 1, 0x43))).back(), 1);
}

TEST(ReplyMessage, ReadsPastTheEndAsZeroAndCutsTexts) {
  const uint8_t bytes[] = {0x00, 0x01, 'A', 'B', 'C'};
  ReplyMessage reply{0x40, bytes, sizeof bytes};
  EXPECT_EQ(reply.At(4), 'C');
  EXPECT_EQ(reply.At(5), 0);
  EXPECT_EQ(reply.At(100000), 0);
  char text[3];
  reply.CopyText(2, text, sizeof text);
  EXPECT_STREQ(text, "AB");
  char whole[10];
  reply.CopyText(2, whole, sizeof whole);  // unterminated at the end of the message
  EXPECT_STREQ(whole, "ABC");
}

}  // namespace
}  // namespace pelkor::testing

namespace pelkor::testing {
namespace {

class ReassemblyTest : public ReceiverTest {
 protected:
  int FeedFrames(const std::vector<Bytes> &frames) {
    int completions = 0;
    for (const Bytes &f : frames)
      for (int r : Feed(f)) completions += r;
    return completions;
  }
  static Bytes Frame(uint8_t type, uint8_t fill, uint8_t framesLeft, uint8_t sequence) {
    return PhoneFrame(type, DataPayload(Bytes(120, fill), framesLeft, sequence));
  }
  size_t AcksWritten() { return port.Writes().size(); }
};

TEST_F(ReassemblyTest, AMessageThatLostAFrameIsNeverDispatched) {
  // Five frames, the third lost: the rest are acknowledged, nothing completes, and the
  // next message arrives whole.
  EXPECT_EQ(FeedFrames({Frame(0x05, 0x11, 5, 0x41), Frame(0x05, 0x22, 4, 0x02), Frame(0x05, 0x44, 2, 0x04),
                        Frame(0x05, 0x55, 1, 0x05)}),
            0);
  EXPECT_EQ(AcksWritten(), 4u);
  EXPECT_FALSE(Session().collecting);
  EXPECT_EQ(FeedFrames({PhoneFrame(0x04, DataPayload(kStatusReply, 1, 0x46))}), 1);
  EXPECT_EQ(Message(), DataPayload(kStatusReply, 1, 0x46));
}

TEST_F(ReassemblyTest, AFrameOutOfSequenceBreaksTheMessage) {
  // Frames-left counts down as it should, but a sequence number was skipped.
  EXPECT_EQ(FeedFrames({Frame(0x14, 0x11, 3, 0x41), Frame(0x14, 0x22, 2, 0x03), Frame(0x14, 0x33, 1, 0x04)}), 0);
  // Frames-left jumps while the numbers run on.
  EXPECT_EQ(FeedFrames({Frame(0x14, 0x11, 3, 0x45), Frame(0x14, 0x33, 1, 0x06)}), 0);
}

TEST_F(ReassemblyTest, AFrameSentAgainIsKeptOnce) {
  // Our acknowledgement of the second frame went missing and the phone repeats it.
  const Bytes second = Frame(0x14, 0x22, 2, 0x02);
  EXPECT_EQ(FeedFrames({Frame(0x14, 0x11, 3, 0x41), second, second, PhoneFrame(0x14, DataPayload({0x33}, 1, 0x03))}),
            1);
  EXPECT_EQ(Session().messageLength, 120 + 120 + 3);
  EXPECT_EQ(Message()[120], 0x22);
  EXPECT_EQ(Message()[240], 0x33);
}

TEST_F(ReassemblyTest, AFirstFrameAlwaysStartsANewMessage) {
  // The phone sent one of two frames, then a status reply of its own (another type),
  // then a complete two-frame message of the first type again.
  EXPECT_EQ(FeedFrames({Frame(0x14, 0x11, 2, 0x41)}), 0);
  EXPECT_EQ(FeedFrames({PhoneFrame(0x04, DataPayload(kStatusReply, 1, 0x42))}), 1);
  EXPECT_EQ(Message(), DataPayload(kStatusReply, 1, 0x42));
  EXPECT_EQ(FeedFrames({Frame(0x14, 0x11, 2, 0x43)}), 0);
  EXPECT_EQ(FeedFrames({Frame(0x14, 0x77, 2, 0x44), PhoneFrame(0x14, DataPayload({0x99}, 1, 0x05))}), 1);
  EXPECT_EQ(Session().messageLength, 120 + 1 + 2);
  EXPECT_EQ(Message()[0], 0x77);
}

TEST_F(ReassemblyTest, PiecesOfAMessageWhoseStartWasLostAreDropped) {
  EXPECT_EQ(FeedFrames({Frame(0x14, 0x22, 2, 0x02), PhoneFrame(0x14, DataPayload({0x08, 0x01}, 1, 0x03))}), 0);
  EXPECT_TRUE(port.Writes().empty());
}

TEST_F(ReassemblyTest, ThePhonesAcknowledgementsDoNotInterruptALongReply) {
  Session().lastFrameSent = 0xFFFF;  // the acknowledgement names no frame of ours
  EXPECT_EQ(FeedFrames({Frame(0x05, 0x11, 2, 0x41)}), 0);
  const uint32_t acked = Session().framesAcked.load();
  // Counted at once, and the reply's first frame stays as it was collected.
  EXPECT_EQ(FeedFrames({PhoneFrame(kTypeAck, {0x04, 0x02})}), 0);
  EXPECT_EQ(Session().framesAcked.load(), acked + 1);
  EXPECT_EQ(FeedFrames({PhoneFrame(0x05, DataPayload({0x33}, 1, 0x02))}), 1);
  EXPECT_EQ(Session().messageLength, 120 + 1 + 2);
  EXPECT_EQ(Message(), [] {
    Bytes whole(120, 0x11);
    whole.insert(whole.end(), {0x33, 0x01, 0x02});
    return whole;
  }());
}

TEST_F(ReassemblyTest, DataFromThePhoneSettlesEarlierUnacknowledgedFrames) {
  LinkSession &s = Session();
  s.framesSent = 7;
  s.framesAcked = 4;  // three acknowledgements lost on the way
  EXPECT_EQ(FeedFrames({PhoneFrame(0x04, DataPayload(kStatusReply, 1, 0x41))}), 1);
  EXPECT_EQ(s.framesAcked.load(), 7u);
}

TEST(PhoneAcknowledgements, TheNewestFrameAcknowledgedSettlesTheOlderOnes) {
  LinkSession &s = Session();
  s.framesSent = 10;
  s.framesAcked = 6;
  s.lastFrameSent = 0x0403;  // the status request, number 3
  const uint8_t older[] = {0x11, 0x02};
  DispatchReply({kTypeAck, older, sizeof older});
  EXPECT_EQ(s.framesAcked.load(), 7u);  // an older frame: counted, no more
  const uint8_t newest[] = {0x04, 0x03};
  DispatchReply({kTypeAck, newest, sizeof newest});
  EXPECT_EQ(s.framesAcked.load(), 10u);
}

}  // namespace
}  // namespace pelkor::testing
