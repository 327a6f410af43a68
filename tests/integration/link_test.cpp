// The link through the public API against the simulated phone on a real pty.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <thread>

#include "sim_fixture.h"

namespace pelkor_it {
namespace {

const Bytes kStatusRequest = {0x00, 0x01, 0x00, 0x01};
const Bytes kStartup1 = {0x00, 0x01, 0x00, 0x0D, 0x00, 0x00, 0x02};
const Bytes kStartup2 = {0x00, 0x01, 0x00, 0x20, 0x02};
const Bytes kStartup3 = {0x00, 0x01, 0x00, 0x0D, 0x01, 0x00, 0x02};
const Bytes kIdentityRequest = {0x00, 0x01, 0x00, 0x10};

// True when some other open file description holds the port's advisory lock.
bool PortHeldByLibrary(const std::string &path) {
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return true;
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  if (!held) ::flock(fd, LOCK_UN);
  ::close(fd);
  return held;
}

Bytes CableFrame(uint8_t type, Bytes payload) {
  Bytes f = {0x1E, 0x00, 0x0C, type, 0x00, static_cast<uint8_t>(payload.size())};
  f.insert(f.end(), payload.begin(), payload.end());
  if (payload.size() % 2) f.push_back(0);
  uint8_t even = 0, odd = 0;
  for (size_t i = 0; i < f.size(); ++i) (i % 2 ? odd : even) ^= f[i];
  f.push_back(even);
  f.push_back(odd);
  return f;
}

using Link = SimulatedPhone;

TEST_F(Link, CableStartupPutsSyncBytesThenTheStartupFramesOnTheWire) {
  ASSERT_EQ(init(port_.c_str(), PELKOR_CONNECTION_CABLE), PELKOR_OK);
  const Bytes wire = sim_.Wire();
  ASSERT_GE(wire.size(), 33u);
  EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 32), Bytes(32, 0x55));
  EXPECT_EQ(wire[32], 0xC1);

  // The status request follows the sync bytes at once, byte for byte.
  const uint8_t s = wire.size() > 44 ? wire[33 + 11] & 0x07 : 0;
  const Bytes status = CableFrame(0x04, {0x00, 0x01, 0x00, 0x01, 0x01, static_cast<uint8_t>(0x40 | s)});
  ASSERT_GE(wire.size(), 33 + status.size());
  EXPECT_EQ(Bytes(wire.begin() + 33, wire.begin() + 33 + static_cast<long>(status.size())), status);

  // Then the three start-up messages and the identity request, numbered in turn
  // (acknowledgements of the phone's replies may come in between), then the beep.
  // The last of them (the beep) may still be on its way when init returns.
  ASSERT_TRUE(sim_.WaitFor([&] { return Messages().size() >= 8; }, 2s));
  auto messages = Messages();
  const std::vector<std::pair<uint8_t, Bytes>> expected = {{0x04, kStatusRequest},
                                                           {0x02, kStartup1},
                                                           {0x02, kStartup2},
                                                           {0x02, kStartup3},
                                                           {0x64, kIdentityRequest},
                                                           {0x40, {0x00, 0x01, 0x64, 0x01}},
                                                           {0x40, {0x00, 0x01, 0x8F, 0x04, 0x09, 0xC4}},
                                                           {0x40, {0x00, 0x01, 0x8F, 0x00, 0x00, 0x00}}};
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(messages[i].start, 0x1E);
    EXPECT_EQ(messages[i].type, expected[i].first) << "message " << i;
    EXPECT_EQ(messages[i].bytes, expected[i].second) << "message " << i;
  }
  std::vector<uint8_t> sequences;
  for (auto &f : sim_.Frames())
    if (!f.isAck && f.type != 0x7F) sequences.push_back(f.payload.back());
  ASSERT_GE(sequences.size(), 5u);
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(sequences[i], 0x40 | ((s + i) % 8)) << "frame " << i;
  EXPECT_EQ(isalive(), 1);
}

TEST_F(Link, PortThatDoesNotExistIsRefusedAndNothingIsLeftOpen) {
  EXPECT_EQ(init("/dev/pelkor-no-such-port", 0), PELKOR_ERR_REFUSED);
  EXPECT_EQ(init("COM250", 0), PELKOR_ERR_REFUSED);
  // A lower-case f is part of the name, not the quick-start suffix.
  EXPECT_EQ(init((port_ + "f").c_str(), 0), PELKOR_ERR_REFUSED);
  EXPECT_EQ(isalive(), 0);
  EXPECT_FALSE(PortHeldByLibrary(port_));
  EXPECT_TRUE(sim_.Messages().empty());
}

TEST_F(Link, QuickStartSuffixOpensThePortWithoutTheF) {
  EXPECT_EQ(init((port_ + "F").c_str(), 0), PELKOR_OK);
  EXPECT_TRUE(PortHeldByLibrary(port_));
}

TEST_F(Link, SilentPhoneGivesMinusOneAndThePortStaysOpen) {
  sim_.SetSilent(true);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(init((port_ + "F").c_str(), 0), -1);
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_LT(took, 3s);  // start-up (about 1 s) plus at most two waits of 50 ms
  EXPECT_TRUE(PortHeldByLibrary(port_));
  EXPECT_EQ(isalive(), 0);
  // The start-up still went out: the phone was simply not listening.
  EXPECT_EQ(MessagesOfType(0x64).size(), 1u);
  EXPECT_EQ(terminate(), 0);
  EXPECT_FALSE(PortHeldByLibrary(port_));
}

TEST_F(Link, SecondInitClosesTheFirstPortBeforeOpeningTheNext) {
  phonesim::Simulator other;
  ASSERT_TRUE(other.Start());
  ASSERT_EQ(init(port_.c_str(), 0), PELKOR_OK);
  ASSERT_EQ(init(other.DevicePath().c_str(), 0), PELKOR_OK);
  EXPECT_FALSE(PortHeldByLibrary(port_));
  EXPECT_TRUE(PortHeldByLibrary(other.DevicePath()));
  EXPECT_EQ(isalive(), 1);
  // The same port again works too: each init closes what came before.
  ASSERT_EQ(init(port_.c_str(), 0), PELKOR_OK);
  EXPECT_EQ(MessagesOfType(0x64).size(), 2u);
  terminate();
  other.Stop();
}

TEST_F(Link, TerminateTwiceAndWithoutSessionReturnsZero) {
  EXPECT_EQ(terminate(), 0);
  ASSERT_EQ(init(port_.c_str(), 0), PELKOR_OK);
  EXPECT_EQ(terminate(), 0);
  EXPECT_EQ(terminate(), 0);
  EXPECT_EQ(isalive(), 0);
  EXPECT_FALSE(PortHeldByLibrary(port_));
}

TEST_F(Link, SessionEndsWithTheThreadThatOpenedIt) {
  std::thread host([&] { EXPECT_EQ(init(port_.c_str(), 0), PELKOR_OK); });
  host.join();
  EXPECT_FALSE(PortHeldByLibrary(port_));
  EXPECT_EQ(isalive(), 0);
  // A session opened by a thread that lives on is not touched by other threads ending.
  ASSERT_EQ(init(port_.c_str(), 0), PELKOR_OK);
  std::thread other([] { EXPECT_EQ(isalive(), 1); });
  other.join();
  EXPECT_TRUE(PortHeldByLibrary(port_));
}

TEST_F(Link, NoiseAndCorruptFramesFromThePhoneDoNotUpsetTheLink) {
  ASSERT_EQ(init(port_.c_str(), 0), PELKOR_OK);
  const size_t acksBefore = sim_.AcksReceived();
  for (int i = 0; i < 5; ++i) {
    sim_.InjectNoise(200);
    sim_.InjectCorruptFrame();
  }
  // A good frame after the rubbish is still found and acknowledged.
  ASSERT_TRUE(sim_.SendMessage(0x04, {0x01, 0x08, 0x00, 0x02, 0x01, 0x03, 0x01, 0x00, 0x02}));
  EXPECT_TRUE(sim_.WaitFor([&] { return sim_.AcksReceived() > acksBefore; }, 2s));
  EXPECT_EQ(sim_.AcksReceived(), acksBefore + 1);
  EXPECT_EQ(isalive(), 1);
}

TEST_F(Link, ABriefLossOfAcknowledgementsIsForgottenOnceThePhoneAnswers) {
  ASSERT_EQ(init(port_.c_str(), 0), PELKOR_OK);
  // The phone answers but its acknowledgements are lost for a few requests.
  sim_.SetAcknowledging(false);
  int32_t level = 0;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(getrflevel(&level), PELKOR_OK);
  sim_.SetAcknowledging(true);
  EXPECT_EQ(getrflevel(&level), PELKOR_OK);
  // Idle and healthy from here on: isalive must say so however long since the last byte
  // (the keep-alive asks every 4 s; in between, more than 2 s pass without data).
  int zeros = 0;
  for (int sample = 0; sample < 60; ++sample) {
    zeros += isalive() == 0 ? 1 : 0;
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_EQ(zeros, 0);
}

TEST_F(Link, InfraredStartupSyncsWakesAndUsesInfraredFrames) {
  ASSERT_EQ(init(port_.c_str(), PELKOR_CONNECTION_INFRARED), PELKOR_OK);
  const Bytes wire = sim_.Wire();
  ASSERT_GE(wire.size(), 33u + 220u);
  EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 32), Bytes(32, 0x55));
  EXPECT_EQ(wire[32], 0xC1);
  Bytes burst(219, 0x55);
  burst.push_back(0xC1);
  EXPECT_EQ(Bytes(wire.begin() + 33, wire.begin() + 33 + 220), burst);
  auto messages = Messages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages[0].type, 0x04);
  EXPECT_EQ(messages[0].bytes, kStatusRequest);
  for (auto &m : messages) EXPECT_EQ(m.start, 0x1C);
  EXPECT_TRUE(MessagesOfType(0x64).empty());  // no identity request on infrared
  for (auto &f : sim_.Frames()) EXPECT_EQ(f.start, 0x1C);
}

}  // namespace
}  // namespace pelkor_it

namespace pelkor_it {
namespace {

TEST_F(Link, WireTraceRecordsFramesBothWaysOnlyWhenAsked) {
  char path[] = "/tmp/pelkor-trace-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  EXPECT_EQ(pelkor_settrace("/nonexistent-dir/trace.txt"), -1);
  ASSERT_EQ(pelkor_settrace(path), 0);
  ASSERT_EQ(init(port_.c_str(), 0), PELKOR_OK);
  terminate();
  EXPECT_EQ(pelkor_settrace(nullptr), 0);
  ASSERT_EQ(init(port_.c_str(), 0), PELKOR_OK);  // not traced any more
  std::ifstream trace(path);
  std::string line, all;
  int tx = 0, rx = 0;
  while (std::getline(trace, line)) {
    all += line + "\n";
    // "HH:MM:SS.mmm tx  14: 1E 00 0C 04 ..."
    ASSERT_GE(line.size(), 17u) << line;
    EXPECT_EQ(line[2], ':');
    EXPECT_EQ(line[8], '.');
    if (line.compare(13, 2, "tx") == 0) ++tx;
    if (line.compare(13, 2, "rx") == 0) ++rx;
  }
  std::remove(path);
  EXPECT_NE(all.find("tx  14: 1E 00 0C 04 00 06 00 01 00 01 01"), std::string::npos) << all;
  EXPECT_NE(all.find("rx  10: 1E 0C 00 7F 00 02 04"), std::string::npos) << all;  // the phone's ack
  // The start-up's 32 sync bytes on one line, its C1, then the start-up frames.
  std::string syncRun = "tx  32:";
  for (int i = 0; i < 32; ++i) syncRun += " 55";
  EXPECT_NE(all.find(syncRun + "\n"), std::string::npos) << all;
  EXPECT_GE(tx, 1 + 5);
  EXPECT_GE(rx, 5);
  EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), tx + rx);
}

}  // namespace
}  // namespace pelkor_it

namespace pelkor_it {
namespace {

// Runs the helper host against the simulated phone; returns its exit status, or -1
// when it did not end within 10 s.
int RunHostThatNeverTerminates(const std::string &port_, bool fromThread) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const char *args[] = {PELKOR_EXIT_HELPER, port_.c_str(), fromThread ? "thread" : nullptr, nullptr};
    ::execv(PELKOR_EXIT_HELPER, const_cast<char **>(args));
    ::_exit(127);
  }
  for (int i = 0; i < 1000; ++i) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    std::this_thread::sleep_for(10ms);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return -1;
}

TEST_F(Link, HostThatNeverTerminatesStillExitsCleanly) {
  EXPECT_EQ(RunHostThatNeverTerminates(port_, false), 100);  // init returned 0, then exit
  EXPECT_FALSE(PortHeldByLibrary(port_));
  EXPECT_EQ(RunHostThatNeverTerminates(port_, true), 100);
  EXPECT_FALSE(PortHeldByLibrary(port_));
  // Both hosts got as far as the start-up: the phone saw two identity requests.
  EXPECT_EQ(MessagesOfType(0x64).size(), 2u);
}

}  // namespace
}  // namespace pelkor_it
