// The receive framer and the frame builder, without a terminal.
#include <gtest/gtest.h>

#include "frame_codec.h"
#include "test_client.h"

namespace {

using phonesim::Frame;
using phonesim::FrameReader;
using phonesim_test::Bytes;
using phonesim_test::ComputerFrame;
using phonesim_test::ComputerMessage;

// The status request exactly as the computer writes it on the cable, sequence 0.
const Bytes kStatusRequest = {0x1E, 0x00, 0x0C, 0x04, 0x00, 0x06, 0x00, 0x01, 0x00, 0x01, 0x01, 0x40, 0x13, 0x42};

std::vector<Frame> FeedBytewise(FrameReader &reader, const Bytes &bytes, size_t *completedAt = nullptr) {
  std::vector<Frame> all;
  for (size_t i = 0; i < bytes.size(); ++i) {
    auto found = reader.Feed(std::span<const uint8_t>(&bytes[i], 1));
    if (!found.empty() && completedAt != nullptr && all.empty()) *completedAt = i;
    all.insert(all.end(), found.begin(), found.end());
  }
  return all;
}

TEST(FrameReader, FindsTheStatusRequestOnlyWithItsLastByte) {
  FrameReader reader;
  size_t completedAt = 0;
  const auto frames = FeedBytewise(reader, kStatusRequest, &completedAt);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(completedAt, kStatusRequest.size() - 1);
  EXPECT_EQ(frames[0].start, 0x1E);
  EXPECT_EQ(frames[0].type, 0x04);
  EXPECT_EQ(frames[0].payload, (Bytes{0x00, 0x01, 0x00, 0x01, 0x01, 0x40}));
  EXPECT_EQ(reader.Pending(), 0u);
}

TEST(FrameReader, PassesOverSyncBytesWakeBurstsAndNoise) {
  Bytes stream(32, 0x55);
  stream.push_back(0xC1);
  stream.insert(stream.end(), 219, 0x55);  // a wake-up burst
  stream.push_back(0xC1);
  // Noise holding would-be frame starts, one of them claiming a long frame.
  stream.insert(stream.end(), {0x1E, 0x07, 0x1C, 0x00, 0x0C, 0x04, 0x01, 0x1E, 0x00, 0x0C, 0x02, 0x00, 0xF0});
  stream.insert(stream.end(), kStatusRequest.begin(), kStatusRequest.end());
  FrameReader reader;
  const auto frames = reader.Feed(stream);
  ASSERT_EQ(frames.size(), 1u) << "a frame behind a false start must not wait for the false one";
  EXPECT_EQ(frames[0].type, 0x04);
  // The same stream byte by byte gives the same result.
  FrameReader bytewise;
  EXPECT_EQ(FeedBytewise(bytewise, stream).size(), 1u);
}

TEST(FrameReader, IgnoresBadChecksumsForeignAddressesAndLongLengths) {
  Bytes corrupt = kStatusRequest;
  corrupt.back() ^= 0x01;
  Bytes wrongDirection = kStatusRequest;  // the phone's own addresses: an echo, not a request
  std::swap(wrongDirection[1], wrongDirection[2]);
  Bytes highLength = ComputerFrame(0x1E, 0x04, {0x01, 0x40});
  highLength[4] = 0x01;
  FrameReader reader;
  for (const Bytes &bad : {corrupt, wrongDirection, highLength}) {
    EXPECT_TRUE(reader.Feed(bad).empty());
  }
  // A good frame right after all that is still found.
  const auto frames = reader.Feed(kStatusRequest);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].payload.size(), 6u);
}

TEST(FrameReader, AcceptsInfraredFramesAndOddLengthsWithPad) {
  FrameReader reader;
  const Bytes infrared = ComputerMessage(0x1C, 0x40, {0x00, 0x01, 0x64, 0x01}, 3);
  const Bytes odd = ComputerMessage(0x1E, 0x40, {0x00, 0x01, 0x66}, 4);  // L = 5, one pad byte
  Bytes both = infrared;
  both.insert(both.end(), odd.begin(), odd.end());
  const auto frames = reader.Feed(both);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].start, 0x1C);
  EXPECT_EQ(frames[1].start, 0x1E);
  EXPECT_EQ(frames[1].payload, (Bytes{0x00, 0x01, 0x66, 0x01, 0x44}));
}

TEST(FrameReader, StaysSmallUnderEndlessNoise) {
  FrameReader reader;
  Bytes noise(100000);
  uint32_t x = 12345;
  for (auto &b : noise) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  reader.Feed(noise);
  EXPECT_LE(reader.Pending(), phonesim::kMaxFrameSize);
}

TEST(FrameBuilder, UsesThePhoneAddressesPadAndChecksums) {
  const Bytes payload = {0x01, 0x08, 0x00, 0x02, 0x01, 0x03, 0x01, 0x00, 0x02, 0x01, 0x40};
  const Bytes frame = phonesim::BuildPhoneFrame(0x1E, 0x04, payload);
  ASSERT_EQ(frame.size(), 6u + 11u + 1u + 2u);
  EXPECT_EQ((Bytes(frame.begin(), frame.begin() + 6)), (Bytes{0x1E, 0x0C, 0x00, 0x04, 0x00, 0x0B}));
  EXPECT_EQ(frame[17], 0x00) << "pad byte";
  uint8_t even = 0, odd = 0;
  for (size_t i = 0; i < 18; ++i) (i % 2 == 0 ? even : odd) ^= frame[i];
  EXPECT_EQ(frame[18], even);
  EXPECT_EQ(frame[19], odd);
}

TEST(Hex, ParsesAndPrints) {
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(phonesim::ParseHex("0x04 01,08 0a FF", bytes));
  EXPECT_EQ(bytes, (Bytes{0x04, 0x01, 0x08, 0x0A, 0xFF}));
  EXPECT_EQ(phonesim::ToHex(bytes), "04 01 08 0A FF");
  EXPECT_FALSE(phonesim::ParseHex("0 1", bytes));
  EXPECT_FALSE(phonesim::ParseHex("zz", bytes));
  EXPECT_FALSE(phonesim::ParseHex("123", bytes));
}

}  // namespace
