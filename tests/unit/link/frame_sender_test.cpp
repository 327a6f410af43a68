#include <gtest/gtest.h>

#include <vector>

#include "../support/fake_port.h"
#include "../support/phone_frames.h"
#include "link/frame_format.h"
#include "link/frame_receiver.h"
#include "link/frame_sender.h"

namespace pelkor::testing {

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kStatusRequest = {0x00, 0x01, 0x00, 0x01};

TEST(FrameFormat, StatusRequestOnCableHasKnownChecksums) {
  uint8_t frame[kMaxFrameSize];
  const uint8_t payload[] = {0x00, 0x01, 0x00, 0x01, 0x01, 0x40};
  size_t n = BuildFrame(kStartCable, 0x04, payload, sizeof payload, frame);
  EXPECT_EQ(Bytes(frame, frame + n),
            (Bytes{0x1E, 0x00, 0x0C, 0x04, 0x00, 0x06, 0x00, 0x01, 0x00, 0x01, 0x01, 0x40, 0x13, 0x42}));
  n = BuildFrame(kStartInfrared, 0x04, payload, sizeof payload, frame);
  EXPECT_EQ(frame[0], 0x1C);
  EXPECT_EQ(frame[n - 2], 0x11);
  EXPECT_EQ(frame[n - 1], 0x42);
}

TEST(FrameFormat, OddPayloadGetsOnePadByteBeforeTheChecksums) {
  uint8_t frame[kMaxFrameSize];
  const uint8_t payload[] = {1, 2, 3, 4, 5, 6, 7};
  size_t n = BuildFrame(kStartCable, 0x02, payload, sizeof payload, frame);
  ASSERT_EQ(n, 6u + 7 + 1 + 2);
  EXPECT_EQ(frame[13], 0x00);
  EXPECT_EQ(frame[14], AlternateXor(frame, 0, 14));
  EXPECT_EQ(frame[15], AlternateXor(frame, 1, 14));
}

class SenderTest : public LinkTest {};

TEST_F(SenderTest, EmptyMessageIsOneFrameOfTrailerOnly) {
  Session().sendSequence = 3;
  Send(0, 0x40, nullptr);
  auto writes = port.Writes();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0][5], 2);
  EXPECT_EQ(writes[0][6], 0x01);
  EXPECT_EQ(writes[0][7], 0x43);
  EXPECT_EQ(Session().framesSent.load(), 1u);
}

TEST_F(SenderTest, StatusRequestGoesOutAsOneNumberedFrame) {
  Send(kStatusRequest.size(), 0x04, kStatusRequest.data());
  auto writes = port.Writes();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0], (Bytes{0x1E, 0x00, 0x0C, 0x04, 0x00, 0x06, 0x00, 0x01, 0x00, 0x01, 0x01, 0x40, 0x13, 0x42}));
  EXPECT_EQ(Session().sendSequence.load() & 7, 1u);
}

TEST_F(SenderTest, APhoneThatAnswersBeforeTheWriteReturnsLeavesNothingUnacknowledged) {
  // On a loaded machine the watch thread may take the phone's acknowledgement of a frame,
  // and its reply, before the thread that wrote the frame is back from the port.
  Session().lastFrameSent = 0xFFFF;
  port.duringNextWrite = [] {
    for (uint8_t b : PhoneFrame(kTypeAck, {0x04, 0x00})) OnByte(b);
    for (uint8_t b : PhoneFrame(0x04, DataPayload({0x01, 0x08, 0x00, 0x02, 0x01, 0x03, 0x01, 0x00, 0x02}, 1, 0x41)))
      OnByte(b);
  };
  Send(kStatusRequest.size(), 0x04, kStatusRequest.data());
  EXPECT_EQ(Session().framesSent.load(), 1u);
  EXPECT_EQ(Session().framesAcked.load(), Session().framesSent.load());
}

TEST_F(SenderTest, AFrameThatCouldNotBeWrittenIsNotCounted) {
  port.failWrites = true;
  Send(kStatusRequest.size(), 0x04, kStatusRequest.data());
  EXPECT_EQ(Session().framesSent.load(), 0u);
}

struct SplitCase {
  size_t length;
  std::vector<size_t> blocks;
};

class SplitTest : public SenderTest, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SplitTest, LongMessagesAreSplitIntoBlocksOf120) {
  const SplitCase c = GetParam();
  Session().sendSequence = 6;
  Bytes message(c.length);
  for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i * 7);
  Send(message.size(), 0x05, message.data());
  auto writes = port.Writes();
  ASSERT_EQ(writes.size(), c.blocks.size());
  Bytes joined;
  for (size_t i = 0; i < writes.size(); ++i) {
    const Bytes &f = writes[i];
    const size_t block = c.blocks[i];
    ASSERT_EQ(f[5], block + 2) << "frame " << i;
    EXPECT_EQ(f[6 + block], c.blocks.size() - i) << "frames left of frame " << i;
    const uint8_t s = static_cast<uint8_t>((6 + i) % 8);
    EXPECT_EQ(f[7 + block], i == 0 ? 0x40 + s : s) << "sequence of frame " << i;
    joined.insert(joined.end(), f.begin() + 6, f.begin() + 6 + static_cast<long>(block));
  }
  EXPECT_EQ(joined, message);
  EXPECT_EQ(Session().framesSent.load(), c.blocks.size());
}

INSTANTIATE_TEST_SUITE_P(Sizes, SplitTest,
                         ::testing::Values(SplitCase{120, {120}}, SplitCase{121, {120, 1}},
                                           SplitCase{250, {120, 120, 10}}, SplitCase{512, {120, 120, 120, 120, 32}}));

TEST_F(SenderTest, MessageNeedingMoreThan255FramesIsRefusedUnwritten) {
  Bytes huge(255 * 120 + 1, 0xAA);
  EXPECT_EQ(Send(huge.size(), 0x05, huge.data()), 0);
  EXPECT_TRUE(port.Writes().empty());
  Bytes largest(255 * 120, 0xAA);
  EXPECT_EQ(Send(largest.size(), 0x05, largest.data()), 1);
  EXPECT_EQ(port.Writes().size(), 255u);
}

TEST_F(SenderTest, FrameNotWrittenWholeIsNotCounted) {
  port.failWrites = true;
  EXPECT_EQ(Send(kStatusRequest.size(), 0x04, kStatusRequest.data()), 1);
  EXPECT_EQ(Session().framesSent.load(), 0u);
}

TEST_F(SenderTest, RepeatedAcknowledgementIsSuppressedUntilAnotherComesBetween) {
  EXPECT_EQ(SendAck(0x04, 0x02), 1);
  EXPECT_EQ(SendAck(0x04, 0x02), 0);
  EXPECT_EQ(SendAck(0x04, 0x03), 1);
  EXPECT_EQ(SendAck(0x04, 0x02), 1);
  auto writes = port.Writes();
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0],
            (Bytes{0x1E, 0x00, 0x0C, 0x7F, 0x00, 0x02, 0x04, 0x02, static_cast<uint8_t>(0x1E ^ 0x0C ^ 0x00 ^ 0x04),
                   static_cast<uint8_t>(0x00 ^ 0x7F ^ 0x02 ^ 0x02)}));
  // Acknowledgements take no sequence number and are not counted as sent frames.
  EXPECT_EQ(Session().framesSent.load(), 0u);
  EXPECT_EQ(Session().sendSequence.load(), 0u);
  EXPECT_TRUE(Session().phoneHeard.load());
  EXPECT_TRUE(Session().linkUp.load());
}

}  // namespace
}  // namespace pelkor::testing
