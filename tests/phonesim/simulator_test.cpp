// The simulator end to end: a client on the pseudo-terminal speaks FBUS to it.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "simulator.h"
#include "test_client.h"

namespace {

using namespace std::chrono_literals;
using phonesim::Simulator;
using phonesim_test::Bytes;
using phonesim_test::ComputerFrame;
using phonesim_test::ComputerMessage;
using phonesim_test::PhoneFrame;
using phonesim_test::TestClient;

const Bytes kStatusRequest = {0x00, 0x01, 0x00, 0x01};
const Bytes kIdentityRequest = {0x00, 0x01, 0x00, 0x10};

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start()) << sim_.LastError();
    client_ = std::make_unique<TestClient>(sim_.DevicePath());
    ASSERT_TRUE(client_->IsOpen());
  }

  // Expects the acknowledgement [type, seq] from the phone next.
  void ExpectAck(uint8_t start, uint8_t type, uint8_t seq) {
    const auto ack = client_->NextFrame();
    ASSERT_TRUE(ack) << "no acknowledgement";
    EXPECT_TRUE(ack->checksumsOk);
    EXPECT_TRUE(ack->addressedOk);
    EXPECT_EQ(ack->start, start);
    EXPECT_EQ(ack->type, 0x7F);
    EXPECT_EQ(ack->payload, (Bytes{type, seq}));
  }

  Simulator sim_;
  std::unique_ptr<TestClient> client_;
};

TEST_F(SimulatorTest, AnswersTheStatusRequestFromItsState) {
  sim_.LoadState({{"status", {{"signal", 4}, {"battery", 1}, {"power", 1}}}});
  ASSERT_TRUE(client_->Write(ComputerMessage(0x1E, 0x04, kStatusRequest, 2)));
  ExpectAck(0x1E, 0x04, 0x02);
  const auto reply = client_->NextFrame();
  ASSERT_TRUE(reply);
  EXPECT_TRUE(reply->checksumsOk);
  EXPECT_TRUE(reply->addressedOk);
  EXPECT_EQ(reply->type, 0x04);
  ASSERT_EQ(reply->payload.size(), 11u);
  EXPECT_EQ(reply->payload[3], 0x02) << "command byte";
  EXPECT_EQ(reply->payload[5], 4) << "signal";
  EXPECT_EQ(reply->payload[7], 1) << "power source";
  EXPECT_EQ(reply->payload[8], 1) << "battery";
  EXPECT_EQ(reply->payload[9], 1) << "frames left";
  EXPECT_EQ(reply->payload[10] & 0xF0, 0x40) << "first-frame bit";
  EXPECT_EQ(reply->raw.size(), 6u + 11u + 1u + 2u) << "odd length is padded";
  EXPECT_EQ(reply->raw[17], 0x00);
  EXPECT_TRUE(sim_.WaitFor([&] { return sim_.Messages().size() == 1; }, 1s));
  EXPECT_EQ(sim_.Messages()[0].bytes, kStatusRequest);
}

TEST_F(SimulatorTest, SendsTheIdentityRecordWithFieldsAtTheirOffsets) {
  sim_.LoadState(
      {{"identity", {{"imei", "350612345678901"}, {"model", "NHM-5"}, {"hardware", "1234"}, {"software", "V 4.73"}}}});
  ASSERT_TRUE(client_->Write(ComputerMessage(0x1E, 0x64, kIdentityRequest, 5)));
  ExpectAck(0x1E, 0x64, 0x05);
  const auto reply = client_->NextFrame();
  ASSERT_TRUE(reply);
  EXPECT_TRUE(reply->checksumsOk);
  EXPECT_EQ(reply->type, 0x64);
  const Bytes &p = reply->payload;
  auto textAt = [&](size_t offset) {
    std::string text;
    for (size_t i = offset; i < p.size() && p[i] != 0; ++i) text.push_back(static_cast<char>(p[i]));
    return text;
  };
  ASSERT_GT(p.size(), 50u);
  EXPECT_EQ(textAt(9), "350612345678901");
  EXPECT_EQ(textAt(25), "NHM-5");
  EXPECT_EQ(textAt(39), "1234");
  EXPECT_EQ(textAt(44), "V 4.73");
  EXPECT_EQ(p[44 + 6], 0x00) << "software text is terminated";
  EXPECT_EQ(p[p.size() - 2], 1);
}

TEST_F(SimulatorTest, OverlongIdentityTextsAreCutToTheirFields) {
  sim_.LoadState({{"identity", {{"imei", std::string(40, '9')}, {"model", std::string(30, 'M')}}}});
  ASSERT_TRUE(client_->Write(ComputerMessage(0x1E, 0x64, kIdentityRequest)));
  ExpectAck(0x1E, 0x64, 0x00);
  const auto reply = client_->NextFrame();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->payload[24], 0x00) << "IMEI ends before the model";
  EXPECT_EQ(reply->payload[25], 'M');
  EXPECT_EQ(reply->payload[38], 0x00) << "model ends before the hardware text";
  EXPECT_EQ(reply->payload[39], '0');
}

TEST_F(SimulatorTest, JoinsAMultiFrameRequestAndAcknowledgesEachFrame) {
  Bytes first(120, 0x11), second(120, 0x22), third = {0x33, 0x34};
  first.insert(first.end(), {3, 0x46});
  second.insert(second.end(), {2, 0x07});
  third.insert(third.end(), {1, 0x00});
  Bytes stream = ComputerFrame(0x1E, 0x12, first);
  // A status request slips in between, as the keep-alive may do during a transfer.
  const Bytes status = ComputerMessage(0x1E, 0x04, kStatusRequest, 1);
  stream.insert(stream.end(), status.begin(), status.end());
  for (const Bytes &part : {ComputerFrame(0x1E, 0x12, second), ComputerFrame(0x1E, 0x12, third)}) {
    stream.insert(stream.end(), part.begin(), part.end());
  }
  ASSERT_TRUE(client_->Write(stream));
  ExpectAck(0x1E, 0x12, 0x06);
  ExpectAck(0x1E, 0x04, 0x01);
  ASSERT_TRUE(client_->NextFrame());  // the status reply
  ExpectAck(0x1E, 0x12, 0x07);
  ExpectAck(0x1E, 0x12, 0x00);
  ASSERT_TRUE(sim_.WaitFor([&] { return sim_.Messages().size() == 2; }, 1s));
  const auto joined = sim_.Messages()[1];
  EXPECT_EQ(joined.type, 0x12);
  ASSERT_EQ(joined.bytes.size(), 242u);
  EXPECT_EQ(joined.bytes[0], 0x11);
  EXPECT_EQ(joined.bytes[120], 0x22);
  EXPECT_EQ(joined.bytes[241], 0x34);
  EXPECT_EQ(sim_.Frames().size(), 4u);
}

TEST_F(SimulatorTest, PassesOverSyncNoiseAndBadChecksums) {
  Bytes stream(32, 0x55);
  stream.push_back(0xC1);
  stream.insert(stream.end(), {0x00, 0xFF, 0x1E, 0x1E, 0x00, 0x0C, 0x7A});
  Bytes corrupt = ComputerMessage(0x1E, 0x04, kStatusRequest, 3);
  corrupt[corrupt.size() - 2] ^= 0x10;
  stream.insert(stream.end(), corrupt.begin(), corrupt.end());
  const Bytes good = ComputerMessage(0x1E, 0x04, kStatusRequest, 4);
  stream.insert(stream.end(), good.begin(), good.end());
  ASSERT_TRUE(client_->Write(stream));
  ExpectAck(0x1E, 0x04, 0x04);  // and none for sequence 3
  const auto reply = client_->NextFrame();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->type, 0x04);
  EXPECT_TRUE(client_->ReadUntilQuiet(100ms).empty());
  EXPECT_EQ(sim_.Frames().size(), 1u);
  EXPECT_EQ(sim_.Wire(), stream) << "the wire record keeps the noise too";
}

TEST_F(SimulatorTest, AnswersInfraredFramesInKind) {
  Bytes stream(219, 0x55);
  stream.push_back(0xC1);
  const Bytes request = ComputerMessage(0x1C, 0x04, kStatusRequest, 0);
  stream.insert(stream.end(), request.begin(), request.end());
  ASSERT_TRUE(client_->Write(stream));
  ExpectAck(0x1C, 0x04, 0x00);
  const auto reply = client_->NextFrame();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->start, 0x1C);
  EXPECT_TRUE(reply->checksumsOk);
}

TEST_F(SimulatorTest, SilentModeSendsNothingButRecordsTheWire) {
  sim_.SetSilent(true);
  const Bytes request = ComputerMessage(0x1E, 0x40, {0x00, 0x01, 0x8F, 0x04, 0x09, 0xC4}, 1);
  const Bytes status = ComputerMessage(0x1E, 0x04, kStatusRequest, 2);
  ASSERT_TRUE(client_->Write(request));
  ASSERT_TRUE(client_->Write(status));
  sim_.InjectNoise(10);
  EXPECT_TRUE(client_->ReadUntilQuiet(200ms).empty());
  Bytes both = request;
  both.insert(both.end(), status.begin(), status.end());
  EXPECT_EQ(sim_.Wire(), both);
  EXPECT_EQ(sim_.Frames().size(), 2u);
  EXPECT_TRUE(sim_.State()["tones"].empty()) << "a phone off the line plays nothing";

  sim_.SetSilent(false);  // the cable goes back in
  ASSERT_TRUE(client_->Write(ComputerMessage(0x1E, 0x04, kStatusRequest, 3)));
  ExpectAck(0x1E, 0x04, 0x03);
}

TEST_F(SimulatorTest, AckOffStillSendsReplies) {
  sim_.SetAcknowledging(false);
  ASSERT_TRUE(client_->Write(ComputerMessage(0x1E, 0x04, kStatusRequest, 1)));
  const auto reply = client_->NextFrame();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->type, 0x04) << "the reply comes without an ack before it";
  EXPECT_TRUE(client_->ReadUntilQuiet(100ms).empty());
  sim_.SetAcknowledging(true);
  ASSERT_TRUE(client_->Write(ComputerMessage(0x1E, 0x04, kStatusRequest, 2)));
  ExpectAck(0x1E, 0x04, 0x02);
}

TEST_F(SimulatorTest, StartUpMessagesAreAnsweredTonesOnlyAcknowledged) {
  // The start-up requests get the short answers a phone gives; tones and unknown
  // messages get the acknowledgement alone.
  const std::vector<std::pair<Bytes, Bytes>> startup = {
      {{0x00, 0x01, 0x00, 0x0D, 0x00, 0x00, 0x02}, {0x01, 0x08, 0x00, 0x0E}},
      {{0x00, 0x01, 0x00, 0x20, 0x02}, {0x01, 0x08, 0x00, 0x21, 0x01}},
      {{0x00, 0x01, 0x00, 0x0D, 0x01, 0x00, 0x02}, {0x01, 0x08, 0x00, 0x0E}}};
  uint8_t seq = 0;
  for (const auto &[request, answer] : startup) {
    ASSERT_TRUE(client_->Write(ComputerMessage(0x1E, 0x02, request, seq)));
    ExpectAck(0x1E, 0x02, seq);
    const auto reply = client_->NextFrame();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->type, 0x02);
    EXPECT_EQ(Bytes(reply->payload.begin(), reply->payload.end() - 2), answer);
    ++seq;
  }
  ASSERT_TRUE(client_->Write(ComputerMessage(0x1E, 0x40, {0x00, 0x01, 0x64, 0x01}, seq)));
  ExpectAck(0x1E, 0x40, seq++);
  const auto enabled = client_->NextFrame();
  ASSERT_TRUE(enabled);
  EXPECT_EQ(Bytes(enabled->payload.begin(), enabled->payload.end() - 2), (Bytes{0x01, 0x00, 0x64, 0x01, 0x00, 0x00}));
  for (const Bytes &tone : {Bytes{0x00, 0x01, 0x8F, 0x04, 0x09, 0xC4}, Bytes{0x00, 0x01, 0x8F, 0x00, 0x00, 0x00}}) {
    ASSERT_TRUE(client_->Write(ComputerMessage(0x1E, 0x40, tone, seq)));
    ExpectAck(0x1E, 0x40, seq);
    ++seq;
  }
  ASSERT_TRUE(client_->Write(ComputerMessage(0x1E, 0xAB, {0x00, 0x01, 0x00, 0x99}, seq)));
  ExpectAck(0x1E, 0xAB, seq);
  EXPECT_TRUE(client_->ReadUntilQuiet(100ms).empty()) << "no replies";
  const auto tones = sim_.State()["tones"];
  ASSERT_EQ(tones.size(), 2u);
  EXPECT_EQ(tones[0]["volume"], 4);
  EXPECT_EQ(tones[0]["frequency"], 2500);
  EXPECT_EQ(tones[1]["volume"], 0);
  EXPECT_EQ(sim_.Messages().size(), 7u);
}

TEST_F(SimulatorTest, SplitsLongMessagesIntoNumberedFrames) {
  Bytes message(250);
  for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i);
  ASSERT_TRUE(sim_.SendMessage(0x14, message));
  Bytes joined;
  std::vector<uint8_t> sequences;
  for (uint8_t left = 3; left >= 1; --left) {
    const auto frame = client_->NextFrame();
    ASSERT_TRUE(frame);
    EXPECT_TRUE(frame->checksumsOk);
    EXPECT_LE(frame->payload.size(), 122u);
    EXPECT_EQ(frame->payload[frame->payload.size() - 2], left);
    sequences.push_back(frame->payload.back());
    joined.insert(joined.end(), frame->payload.begin(), frame->payload.end() - 2);
  }
  EXPECT_EQ(joined, message);
  ASSERT_EQ(sequences.size(), 3u);
  EXPECT_EQ(sequences[0] & 0xF0, 0x40);
  EXPECT_EQ(sequences[1], ((sequences[0] & 0x07) + 1) % 8);
  EXPECT_EQ(sequences[2], ((sequences[0] & 0x07) + 2) % 8);
}

TEST_F(SimulatorTest, CountsTheAcksItReceives) {
  ASSERT_TRUE(client_->Write(ComputerFrame(0x1E, 0x7F, {0x04, 0x00})));
  ASSERT_TRUE(client_->Write(ComputerFrame(0x1E, 0x7F, {0x64, 0x01})));
  EXPECT_TRUE(sim_.WaitFor([&] { return sim_.AcksReceived() == 2; }, 1s));
  EXPECT_TRUE(client_->ReadUntilQuiet(100ms).empty()) << "an ack is never acknowledged";
  const auto frames = sim_.Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_TRUE(frames[0].isAck);
  EXPECT_TRUE(sim_.Messages().empty());
}

TEST_F(SimulatorTest, InjectsNoiseAndCorruptFrames) {
  sim_.InjectNoise(37);
  EXPECT_EQ(client_->ReadUntilQuiet(100ms).size(), 37u);
  sim_.InjectCorruptFrame();
  const auto frame = client_->NextFrame();
  ASSERT_TRUE(frame);
  EXPECT_TRUE(frame->addressedOk);
  EXPECT_FALSE(frame->checksumsOk);
}

TEST_F(SimulatorTest, PacedOutputKeepsToTheLineRate) {
  // Time from the first byte's arrival to the last one's: at 86.8 us a byte, 230 bytes
  // take 229 byte times (19.9 ms). A late first read shortens what we can measure, so
  // ask for half of that; unpaced, all of it arrives at once.
  auto spreadOf = [&](size_t count) {
    sim_.InjectNoise(count);
    size_t got = 0;
    std::chrono::steady_clock::time_point first{}, last{};
    while (got < count) {
      pollfd pfd{client_->Fd(), POLLIN, 0};
      if (::poll(&pfd, 1, 1000) <= 0) break;
      uint8_t chunk[512];
      const ssize_t n = ::read(client_->Fd(), chunk, sizeof chunk);
      if (n <= 0) break;
      if (got == 0) first = std::chrono::steady_clock::now();
      got += static_cast<size_t>(n);
      last = std::chrono::steady_clock::now();
    }
    EXPECT_EQ(got, count);
    return last - first;
  };
  sim_.SetPaced(true);
  EXPECT_GE(spreadOf(230), std::chrono::microseconds(229 * 868 / 20));
  sim_.SetPaced(false);
  EXPECT_TRUE(client_->ReadUntilQuiet(50ms).empty());
}

TEST_F(SimulatorTest, PacedInputTakesItsLineTimeToReachThePhone) {
  // A long upload of eight frames, written in one go: the phone acknowledges the last
  // frame only once it has taken every byte off the line, at 86.8 us a byte. (The
  // request names no command the phone knows, so acks are all that comes back.)
  sim_.SetPaced(true);
  Bytes wire;
  constexpr uint8_t kFrames = 8;
  for (uint8_t i = 0; i < kFrames; ++i) {
    Bytes payload(110, static_cast<uint8_t>(0x30 + i));
    if (i == 0) payload[3] = 0xEE;
    payload.push_back(static_cast<uint8_t>(kFrames - i));
    payload.push_back(static_cast<uint8_t>((i == 0 ? 0x40 : 0x00) | i));
    const Bytes frame = ComputerFrame(0x1E, 0x02, payload);
    wire.insert(wire.end(), frame.begin(), frame.end());
  }
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(client_->Write(wire));
  size_t acks = 0;
  while (acks < kFrames) {
    const auto frame = client_->NextFrame(3000ms);
    ASSERT_TRUE(frame) << acks << " acks";
    if (frame->type == 0x7F) ++acks;
  }
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, phonesim::kByteTime * static_cast<long>(wire.size() - 1)) << wire.size() << " bytes";
  EXPECT_EQ(sim_.Frames().size(), kFrames);
  ASSERT_EQ(sim_.Messages().size(), 1u);
  EXPECT_EQ(sim_.Messages()[0].bytes.size(), 110u * kFrames);
}

TEST_F(SimulatorTest, ClientsComeAndGoAndLeaveNoExclusiveLock) {
  ASSERT_EQ(ioctl(client_->Fd(), TIOCEXCL), 0);
  client_->Close();
  // Once the simulator sees the close it clears the flag; a new open then works even
  // for an ordinary user (root would pass anyway, so ask the terminal directly).
  const bool cleared = sim_.WaitFor(
      [&] {
        TestClient probe(sim_.DevicePath());
        int exclusive = 1;
        return probe.IsOpen() && ioctl(probe.Fd(), TIOCGEXCL, &exclusive) == 0 && exclusive == 0;
      },
      2s);
  EXPECT_TRUE(cleared);
  client_ = std::make_unique<TestClient>(sim_.DevicePath());
  ASSERT_TRUE(client_->IsOpen());
  ASSERT_TRUE(client_->Write(ComputerMessage(0x1E, 0x04, kStatusRequest, 6)));
  ExpectAck(0x1E, 0x04, 0x06);
}

TEST(SimulatorLifecycle, MakesAndRemovesTheSymlinkAndStopsAtOnce) {
  const std::string link = ::testing::TempDir() + "phonesim_link_" + std::to_string(::getpid());
  phonesim::Options options;
  options.linkPath = link;
  Simulator sim(options);
  ASSERT_TRUE(sim.Start()) << sim.LastError();
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), sim.DevicePath());
  const auto begin = std::chrono::steady_clock::now();
  sim.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 500ms);
  struct stat gone {};
  EXPECT_NE(lstat(link.c_str(), &gone), 0);
  sim.Stop();  // a second stop is harmless
}

TEST(SimulatorLifecycle, RefusesToReplaceARegularFileWithTheSymlink) {
  const std::string path = ::testing::TempDir() + "phonesim_file_" + std::to_string(::getpid());
  {
    FILE *file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
  }
  phonesim::Options options;
  options.linkPath = path;
  Simulator sim(options);
  EXPECT_FALSE(sim.Start());
  EXPECT_FALSE(sim.LastError().empty());
  struct stat still {};
  ASSERT_EQ(lstat(path.c_str(), &still), 0);
  EXPECT_TRUE(S_ISREG(still.st_mode));
  std::remove(path.c_str());
}

}  // namespace
