// The simulated phone's ringing-tone reader: streams built bit by bit here, and uploads
// that are cut short or malformed, which must be recorded as errors, never crash the
// phone or replace the tone it has.
#include <gtest/gtest.h>

#include <string>

#include "simulator.h"
#include "sms_ports.h"
#include "test_client.h"

namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using phonesim_test::Bytes;
using phonesim_test::ComputerMessage;

// Builds a bit stream field by field, most significant bit first.
class Bits {
 public:
  Bits &Put(unsigned value, unsigned width) {
    for (unsigned i = width; i-- > 0;) {
      if (bit_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1u) bytes_.back() = static_cast<uint8_t>(bytes_.back() | 0x80u >> (bit_ % 8));
      ++bit_;
    }
    return *this;
  }
  Bits &Pad() {
    while (bit_ % 8 != 0) Put(0, 1);
    return *this;
  }
  Bytes ToBytes() const { return bytes_; }

 private:
  Bytes bytes_;
  size_t bit_ = 0;
};

// Programming and sound commands, basic song, the name, and `patterns` patterns.
Bits Song(const std::string &name, unsigned patterns) {
  Bits bits;
  bits.Put(2, 8).Put(0x25, 7).Put(0, 1).Put(0x1D, 7).Put(1, 3).Put(static_cast<unsigned>(name.size()), 4);
  for (const char c : name) bits.Put(static_cast<unsigned char>(c), 8);
  bits.Put(patterns, 8);
  return bits;
}

json Decode(const Bytes &bytes) { return phonesim::DecodeSmsPortPayload(0x1581, bytes); }

class RingtoneReader : public ::testing::Test {
 protected:
  // Building a handler table registers the families' port decoders.
  void SetUp() override { phonesim::MakeHandlerTable(); }
};

TEST_F(RingtoneReader, ReadsPatternsScalesAndEveryInstructionKind) {
  Bits bits = Song("Hi", 2);
  bits.Put(0, 3).Put(0, 2).Put(0, 4).Put(4, 8);   // pattern A: 4 instructions
  bits.Put(3, 3).Put(2, 2);                       // style: staccato
  bits.Put(4, 3).Put(31, 5);                      // tempo: 900 bpm
  bits.Put(1, 3).Put(12, 4).Put(5, 3).Put(3, 2);  // b, thirty-second, two thirds: default scale
  bits.Put(5, 3).Put(7, 4);                       // volume 7
  bits.Put(0, 3).Put(1, 2).Put(2, 4).Put(2, 8);   // pattern B, looped twice: 2 instructions
  bits.Put(2, 3).Put(3, 2);                       // scale 3
  bits.Put(1, 3).Put(0, 4).Put(0, 3).Put(1, 2);   // pause, dotted whole
  bits.Pad().Put(0, 8);
  const json tone = Decode(bits.ToBytes());
  EXPECT_FALSE(tone.contains("error")) << tone.dump();
  EXPECT_EQ(tone["name"], "Hi");
  EXPECT_EQ(tone["style"], "staccato");
  EXPECT_EQ(tone["tempo"], 900);
  EXPECT_EQ(tone["volume"], 7);
  ASSERT_EQ(tone["patterns"].size(), 2u);
  EXPECT_EQ(tone["patterns"][1], (json{{"id", 1}, {"loop", 2}, {"instructions", 2}}));
  EXPECT_EQ(tone["notes"],
            (json::array({{{"note", "b"}, {"scale", 1}, {"duration", "thirty-second"}, {"specifier", "two-thirds"}},
                          {{"note", "pause"}, {"duration", "whole"}, {"specifier", "dotted"}}})));
}

TEST_F(RingtoneReader, BrokenStreamsSayWhereReadingStopped) {
  Bits good = Song("A", 1);
  good.Put(0, 3).Put(0, 2).Put(0, 4).Put(4, 8).Put(3, 3).Put(1, 2).Put(4, 3).Put(12, 5);
  good.Put(2, 3).Put(1, 2).Put(1, 3).Put(1, 4).Put(2, 3).Put(0, 2).Pad().Put(0, 8);
  const Bytes whole = good.ToBytes();
  ASSERT_FALSE(Decode(whole).contains("error")) << Decode(whole).dump();
  EXPECT_EQ(Decode(whole)["tempo"], 100);

  // Every shorter stream is reported as broken, whatever it managed to read.
  for (size_t length = 0; length < whole.size(); ++length) {
    const json tone = Decode(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
    EXPECT_TRUE(tone.contains("error")) << length;
  }

  // A count larger than the instructions present reads the padding as instructions and
  // runs into the end.
  Bytes overcounted = whole;
  overcounted[7] = static_cast<uint8_t>(overcounted[7] + 2);  // instruction count byte
  EXPECT_TRUE(Decode(overcounted).contains("error")) << Decode(overcounted).dump();

  EXPECT_EQ(Decode(Bits().Put(1, 8).Put(0x2A, 7).Pad().Put(0, 8).ToBytes())["error"], "unknown command 42");
  Bits reserved = Song("", 1);
  reserved.Put(0, 3).Put(0, 2).Put(0, 4).Put(1, 8).Put(7, 3).Pad().Put(0, 8);
  EXPECT_EQ(Decode(reserved.ToBytes())["error"], "instruction 0 has unknown id 7");

  Bytes trailing = whole;
  trailing.push_back(0x55);
  EXPECT_EQ(Decode(trailing)["extra_bytes"], 1);

  // A name byte outside ASCII still makes a valid text.
  EXPECT_EQ(Decode(Song("\xE9", 0).Pad().Put(0, 8).ToBytes())["name"], "\xC3\xA9");
}

TEST_F(RingtoneReader, MalformedUploadsAreKeptAsErrorsAndLeaveTheTone) {
  phonesim::Simulator sim;
  ASSERT_TRUE(sim.Start()) << sim.LastError();
  phonesim_test::TestClient client(sim.DevicePath());
  ASSERT_TRUE(client.IsOpen());

  Bits tone = Song("Ok", 1);
  tone.Put(0, 3).Put(0, 2).Put(0, 4).Put(1, 8).Put(4, 3).Put(8, 5).Pad().Put(0, 8);
  const Bytes good = tone.ToBytes();
  const Bytes direct = {0x0C, 0x01, 0x06, 0x05, 0x04, 0x15, 0x81, 0x15, 0x81};

  auto with = [](Bytes head, const Bytes &body, Bytes tail) {
    head.insert(head.end(), body.begin(), body.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  const std::vector<std::pair<uint8_t, Bytes>> uploads = {
      {0x12, with(direct, good, {0x01})},                                                  // taken
      {0x12, with({0x0C, 0x01, 0x06, 0x05, 0x04, 0x15, 0x82, 0x15, 0x82}, good, {0x01})},  // logo port
      {0x12, with(direct, good, {0x02})},                                                  // no closing 01
      {0x12, direct},                                                                      // nothing at all
      {0x05, with({0x00, 0x01, 0x00, 0x36, 0x00, 0x00, 0xF0}, good, {0x01})},              // length beyond the end
      {0x05, with({0x00, 0x01, 0x00, 0x36, 0x00, 0x00, 0x03}, good, {0x01})},              // tone cut at 3 bytes
  };
  uint8_t seq = 0;
  for (const auto &[type, bytes] : uploads) {
    ASSERT_TRUE(client.Write(ComputerMessage(0x1E, type, bytes, seq++ & 7)));
    ASSERT_TRUE(sim.WaitFor([&] { return sim.State()["ringtone"]["uploads"].size() == seq; }, 2s)) << int(seq);
  }
  const json state = sim.State()["ringtone"];
  EXPECT_FALSE(state["uploads"][0].contains("error")) << state["uploads"][0].dump();
  for (size_t i = 1; i < uploads.size(); ++i)
    EXPECT_TRUE(state["uploads"][i].contains("error")) << state["uploads"][i].dump();
  EXPECT_EQ(state["tone"]["name"], "Ok");
  EXPECT_EQ(state["tone"]["tempo"], 63);
  sim.Stop();
}

}  // namespace
