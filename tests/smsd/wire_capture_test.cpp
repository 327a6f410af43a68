// The read answers pelkor-smsd takes from the wire trace: reassembly of several frames,
// the concatenation header, coding and class, and answers that do not add up.
#include "wire_capture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using smsd::DecodeReadAnswer;
using smsd::ReceivedDetails;

// A read answer for a received message at `location`: the fixed fields zero but for the
// ones the decoder reads, then the user data, then the trailer.
std::vector<uint8_t> Answer(uint8_t location, uint8_t dcs, const std::vector<uint8_t> &userData, bool header) {
  std::vector<uint8_t> m(43, 0x00);
  m[0] = 0x01, m[1] = 0x08, m[3] = 0x08, m[4] = 0x03, m[5] = location, m[7] = 0x00;
  m[20] = header ? 0x44 : 0x04;
  m[22] = dcs;
  m[23] = static_cast<uint8_t>(userData.size());
  m.insert(m.end(), userData.begin(), userData.end());
  m.push_back(0x01);  // frames left
  m.push_back(0x41);  // sequence
  return m;
}

TEST(ReadAnswer, ConcatenationHeaderCodingAndClass) {
  auto eight = DecodeReadAnswer(Answer(3, 0x11, {0x05, 0x00, 0x03, 0x2A, 0x03, 0x02, 0xC8, 0x32}, true));
  ASSERT_TRUE(eight.has_value());
  EXPECT_EQ(eight->coding, "gsm");
  EXPECT_EQ(eight->messageClass, 1);
  EXPECT_EQ(eight->concatReference, 0x2A);
  EXPECT_EQ(eight->concatPart, 2);
  EXPECT_EQ(eight->concatTotal, 3);
  EXPECT_EQ(eight->pdu.size(), 43u - 8u + 8u);

  auto sixteen = DecodeReadAnswer(Answer(4, 0x08, {0x06, 0x08, 0x04, 0x12, 0x34, 0x02, 0x01, 0x04, 0x1F}, true));
  ASSERT_TRUE(sixteen.has_value());
  EXPECT_EQ(sixteen->coding, "ucs2");
  EXPECT_FALSE(sixteen->messageClass.has_value());
  EXPECT_EQ(sixteen->concatReference, 0x1234);
  EXPECT_EQ(sixteen->concatPart, 1);
  EXPECT_EQ(sixteen->concatTotal, 2);

  auto data = DecodeReadAnswer(Answer(5, 0xF6, {0x48, 0x69}, false));
  ASSERT_TRUE(data.has_value());
  EXPECT_EQ(data->coding, "8bit");
  EXPECT_EQ(data->messageClass, 2);
  EXPECT_FALSE(data->concatReference.has_value());
}

TEST(ReadAnswer, HeadersThatDoNotAddUpGiveNoConcatenation) {
  // The header claims more than the message holds; an element runs past its header;
  // part 0, and part 4 of 3.
  for (const std::vector<uint8_t> &ud : std::vector<std::vector<uint8_t>>{{0x7F, 0x00, 0x03, 0x01, 0x02, 0x01},
                                                                          {0x03, 0x00, 0x03, 0x01, 0x02, 0x01},
                                                                          {0x05, 0x00, 0x03, 0x01, 0x02, 0x00},
                                                                          {0x05, 0x00, 0x03, 0x01, 0x03, 0x04},
                                                                          {0x00}}) {
    auto d = DecodeReadAnswer(Answer(1, 0x00, ud, true));
    ASSERT_TRUE(d.has_value());
    EXPECT_FALSE(d->concatReference.has_value());
  }
  // Not a received message (a status report), a refusal, or cut short.
  std::vector<uint8_t> report = Answer(1, 0x00, {}, false);
  report[7] = 0x01;
  EXPECT_FALSE(DecodeReadAnswer(report).has_value());
  EXPECT_FALSE(DecodeReadAnswer({0x01, 0x08, 0x00, 0x09, 0x02, 0x01, 0x01, 0x41}).has_value());
  std::vector<uint8_t> shortAnswer = Answer(1, 0x00, {}, false);
  shortAnswer.resize(30);
  EXPECT_FALSE(DecodeReadAnswer(shortAnswer).has_value());
}

// A trace line as the library writes it.
std::string Line(const char *direction, const std::vector<uint8_t> &frame) {
  std::string line = std::string("12:00:00.000 ") + direction + " " + std::to_string(frame.size()) + ":";
  char hex[4];
  for (uint8_t b : frame) {
    std::snprintf(hex, sizeof hex, " %02X", b);
    line += hex;
  }
  return line + "\n";
}

// The frame around one block of a message: header, block, frames left, sequence,
// padding and two checksum bytes (their values are not looked at).
std::vector<uint8_t> Frame(uint8_t type, const std::vector<uint8_t> &block, uint8_t left, uint8_t sequence) {
  std::vector<uint8_t> f = {0x1E, 0x0C, 0x00, type, 0x00, static_cast<uint8_t>(block.size() + 2)};
  f.insert(f.end(), block.begin(), block.end());
  f.push_back(left);
  f.push_back(sequence);
  if (f.size() % 2) f.push_back(0x00);
  f.push_back(0x00);
  f.push_back(0x00);
  return f;
}

TEST(WireCapture, ReassemblesAnswersOfSeveralFramesFromTheTrace) {
  const std::string dir = std::filesystem::temp_directory_path() / ("smsd-capture-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  smsd::WireCapture capture;
  ASSERT_TRUE(capture.Start(dir));

  std::vector<uint8_t> ud = {0x05, 0x00, 0x03, 0x77, 0x02, 0x02};
  ud.resize(120, 0x41);
  std::vector<uint8_t> whole = Answer(9, 0x00, ud, true);
  whole.resize(whole.size() - 2);  // the trailer comes with the frames
  const std::vector<uint8_t> first(whole.begin(), whole.begin() + 100), second(whole.begin() + 100, whole.end());
  const std::string path = [&] {
    for (const auto &entry : std::filesystem::directory_iterator(dir)) return entry.path().string();
    return std::string();
  }();
  ASSERT_FALSE(path.empty());
  {
    std::ofstream trace(path, std::ios::app);
    trace << Line("tx", Frame(0x14, {0x00, 0x01, 0x00, 0x07, 0x02, 0x09, 0x01, 0x64}, 1, 0x43));
    trace << Line("rx", Frame(0x7F, {0x14}, 0, 0x43));  // an acknowledgement: not a message
    trace << Line("rx", Frame(0x14, first, 2, 0x44));
    trace << Line("rx", Frame(0x14, first, 2, 0x44));  // sent again: taken once
    trace << Line("rx", Frame(0x14, second, 1, 0x05));
    trace << "a line that is no frame\n";
  }
  const auto answers = capture.ReadAnswers();
  ASSERT_EQ(answers.size(), 1u);
  ASSERT_TRUE(answers.count(9));
  EXPECT_EQ(answers.at(9).concatReference, 0x77);
  EXPECT_EQ(answers.at(9).concatPart, 2);
  EXPECT_EQ(answers.at(9).pdu.size(), whole.size() - 8);

  capture.Clear();
  EXPECT_TRUE(capture.ReadAnswers().empty());
  capture.Stop();
  EXPECT_FALSE(std::filesystem::exists(path));
  std::filesystem::remove_all(dir);
}

}  // namespace
