// Numbering, splitting and joining on the phone's side of the link.
#include <gtest/gtest.h>

#include "frame_codec.h"
#include "link_layer.h"
#include "test_client.h"

namespace {

using phonesim::Frame;
using phonesim::LinkLayer;
using phonesim_test::Bytes;

struct Split {
  size_t block;
  uint8_t framesLeft;
  uint8_t sequence;
};

// Reads back what FramesFor produced: block size, frames-left and sequence byte.
std::vector<Split> Describe(const std::vector<Bytes> &frames) {
  std::vector<Split> out;
  for (const Bytes &frame : frames) {
    const size_t length = frame[5];
    out.push_back({length - 2, frame[6 + length - 2], frame[6 + length - 1]});
  }
  return out;
}

Frame DataFrame(uint8_t type, Bytes block, uint8_t framesLeft, uint8_t sequence) {
  block.push_back(framesLeft);
  block.push_back(sequence);
  return Frame{0x1E, type, block};
}

TEST(LinkSplit, SplitsAt120BytesWithCountdownAndSequence) {
  struct Case {
    size_t length;
    std::vector<size_t> blocks;
  };
  for (const Case &c : {Case{0, {0}}, Case{5, {5}}, Case{120, {120}}, Case{121, {120, 1}}, Case{250, {120, 120, 10}},
                        Case{512, {120, 120, 120, 120, 32}}}) {
    LinkLayer link;
    Bytes message(c.length);
    for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i);
    const auto frames = link.FramesFor(0x1E, 0x14, message);
    const auto splits = Describe(frames);
    ASSERT_EQ(splits.size(), c.blocks.size()) << "length " << c.length;
    Bytes joined;
    for (size_t i = 0; i < splits.size(); ++i) {
      EXPECT_EQ(splits[i].block, c.blocks[i]);
      EXPECT_EQ(splits[i].framesLeft, splits.size() - i);
      EXPECT_EQ(splits[i].sequence, i == 0 ? 0x40 : i % 8) << "length " << c.length << " frame " << i;
      EXPECT_LE(frames[i][5], 122);
      joined.insert(joined.end(), frames[i].begin() + 6, frames[i].begin() + 6 + static_cast<long>(splits[i].block));
    }
    EXPECT_EQ(joined, message);
  }
}

TEST(LinkSplit, SequenceRunsOnAcrossMessagesAndWrapsAtEight) {
  LinkLayer link;
  std::vector<uint8_t> firsts;
  for (int i = 0; i < 3; ++i) firsts.push_back(Describe(link.FramesFor(0x1E, 0x04, Bytes(4)))[0].sequence);
  EXPECT_EQ(firsts, (std::vector<uint8_t>{0x40, 0x41, 0x42}));
  const auto longOne = Describe(link.FramesFor(0x1E, 0x04, Bytes(700)));  // six frames: 3..8
  ASSERT_EQ(longOne.size(), 6u);
  EXPECT_EQ(longOne[0].sequence, 0x43);
  EXPECT_EQ(longOne[4].sequence, 7);
  EXPECT_EQ(longOne[5].sequence, 0) << "wraps after 7";
  EXPECT_EQ(link.NextSequence(), 1);
  // Acks do not take a number.
  LinkLayer::AckFrame(0x1E, 0x04, 0x02);
  EXPECT_EQ(link.NextSequence(), 1);
}

TEST(LinkSplit, RefusesMessagesBeyond255Frames) {
  LinkLayer link;
  EXPECT_EQ(link.FramesFor(0x1E, 0x05, Bytes(255 * 120)).size(), 255u);
  EXPECT_TRUE(link.FramesFor(0x1E, 0x05, Bytes(255 * 120 + 1)).empty());
}

TEST(LinkJoin, AcknowledgesEveryFrameAndJoinsThree) {
  LinkLayer link;
  const auto first = link.OnFrame(DataFrame(0x05, Bytes(120, 0xAA), 3, 0x45));
  const auto second = link.OnFrame(DataFrame(0x05, Bytes(120, 0xBB), 2, 0x06));
  const auto third = link.OnFrame(DataFrame(0x05, Bytes(7, 0xCC), 1, 0x07));
  for (const auto *event : {&first, &second, &third}) EXPECT_TRUE(event->needsAck);
  EXPECT_EQ(first.ackSequence, 0x05);
  EXPECT_EQ(second.ackSequence, 0x06);
  EXPECT_FALSE(first.message);
  EXPECT_FALSE(second.message);
  ASSERT_TRUE(third.message);
  EXPECT_EQ(third.message->bytes.size(), 247u);
  EXPECT_EQ(third.message->bytes[119], 0xAA);
  EXPECT_EQ(third.message->bytes[120], 0xBB);
  EXPECT_EQ(third.message->bytes[246], 0xCC);
}

TEST(LinkJoin, OtherTypesMayComeBetweenFrames) {
  LinkLayer link;
  link.OnFrame(DataFrame(0x05, {1, 2}, 2, 0x40));
  const auto status = link.OnFrame(DataFrame(0x04, {0, 1, 0, 1}, 1, 0x41));
  ASSERT_TRUE(status.message);
  EXPECT_EQ(status.message->type, 0x04);
  const auto last = link.OnFrame(DataFrame(0x05, {3}, 1, 0x02));
  ASSERT_TRUE(last.message);
  EXPECT_EQ(last.message->bytes, (Bytes{1, 2, 3}));
}

TEST(LinkJoin, DropsBrokenMessagesButStillAcknowledges) {
  LinkLayer link;
  // A continuation with nothing begun.
  auto orphan = link.OnFrame(DataFrame(0x05, {9}, 1, 0x03));
  EXPECT_TRUE(orphan.needsAck);
  EXPECT_FALSE(orphan.message);
  // A frame missing from the middle: frames-left jumps from 3 to 1.
  link.OnFrame(DataFrame(0x05, {1}, 3, 0x40));
  auto skipped = link.OnFrame(DataFrame(0x05, {3}, 1, 0x02));
  EXPECT_TRUE(skipped.needsAck);
  EXPECT_FALSE(skipped.message);
  // A new first frame replaces a message left half done.
  link.OnFrame(DataFrame(0x05, {1}, 2, 0x40));
  link.OnFrame(DataFrame(0x05, {7}, 2, 0x41));
  auto done = link.OnFrame(DataFrame(0x05, {8}, 1, 0x02));
  ASSERT_TRUE(done.message);
  EXPECT_EQ(done.message->bytes, (Bytes{7, 8}));
}

TEST(LinkJoin, AcksAndRuntFramesAreNotAcknowledged) {
  LinkLayer link;
  const auto ack = link.OnFrame(Frame{0x1E, 0x7F, {0x04, 0x01}});
  EXPECT_TRUE(ack.isAck);
  EXPECT_FALSE(ack.needsAck);
  const auto runt = link.OnFrame(Frame{0x1E, 0x04, {0x40}});
  EXPECT_FALSE(runt.needsAck);
  EXPECT_FALSE(runt.message);
}

}  // namespace
