// The control channel: line commands, the socket, and the state going in and out.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "control_server.h"
#include "simulator.h"
#include "test_client.h"

namespace {

using namespace std::chrono_literals;
using phonesim::Simulator;
using phonesim_test::Bytes;
using phonesim_test::ComputerMessage;
using phonesim_test::TestClient;

std::string TempPath(const std::string &name) { return ::testing::TempDir() + name + "_" + std::to_string(::getpid()); }

TEST(ControlCommands, SwitchModesAndRejectNonsense) {
  Simulator sim;
  EXPECT_EQ(sim.Control("silent on"), "ok");
  EXPECT_TRUE(sim.Silent());
  EXPECT_EQ(sim.Control("silent off"), "ok");
  EXPECT_FALSE(sim.Silent());
  EXPECT_EQ(sim.Control("ack off"), "ok");
  EXPECT_FALSE(sim.Acknowledging());
  EXPECT_EQ(sim.Control("pace on"), "ok");
  EXPECT_TRUE(sim.Paced());
  for (const char *bad : {"silent maybe", "ack", "noise", "noise -3", "send", "send zz", "set /status/signal",
                          "load [1,2]", "frobnicate"}) {
    EXPECT_EQ(sim.Control(bad).rfind("error", 0), 0u) << bad;
  }
  EXPECT_EQ(sim.Control(""), "");
  EXPECT_NE(sim.Control("help").find("silent on|off"), std::string::npos);
  EXPECT_FALSE(sim.QuitRequested());
  EXPECT_EQ(sim.Control("quit"), "bye");
  EXPECT_TRUE(sim.QuitRequested());
}

TEST(ControlCommands, SetDumpAndLoadRoundTrip) {
  Simulator sim;
  const auto defaults = sim.State();
  EXPECT_EQ(defaults["status"]["signal"], 3);
  EXPECT_EQ(defaults["identity"]["model"], "NSE-3");
  EXPECT_EQ(defaults["identity"]["imei"].get<std::string>().size(), 15u);

  EXPECT_EQ(sim.Control("set /status/battery 4"), "ok");
  EXPECT_EQ(sim.Control("set /identity/model \"RAE-3\""), "ok");
  const auto dumped = nlohmann::json::parse(sim.Control("dump"));
  EXPECT_EQ(dumped["status"]["battery"], 4);
  EXPECT_EQ(dumped["identity"]["model"], "RAE-3");

  Simulator other;
  EXPECT_EQ(other.Control("load " + dumped.dump()), "ok");
  EXPECT_EQ(other.State(), dumped);
  // A partial state keeps the defaults for what it leaves out.
  other.LoadState({{"status", {{"signal", 1}}}});
  EXPECT_EQ(other.State()["status"]["signal"], 1);
  EXPECT_EQ(other.State()["status"]["battery"], 2);
  EXPECT_EQ(other.State()["identity"], defaults["identity"]);
}

TEST(ControlCommands, StateFileIsLoadedAtStartAndJunkIsRefused) {
  const std::string path = TempPath("phonesim_state.json");
  std::ofstream(path) << R"({"status": {"signal": 0, "power": 1}, "identity": {"imei": "123456789012345"}})";
  phonesim::Options options;
  options.stateFile = path;
  Simulator sim(options);
  ASSERT_TRUE(sim.Start()) << sim.LastError();
  EXPECT_EQ(sim.State()["status"]["signal"], 0);
  EXPECT_EQ(sim.State()["status"]["power"], 1);
  EXPECT_EQ(sim.State()["status"]["battery"], 2);
  EXPECT_EQ(sim.State()["identity"]["imei"], "123456789012345");
  sim.Stop();

  std::ofstream(path) << "{ not json";
  Simulator broken(options);
  EXPECT_FALSE(broken.Start());
  EXPECT_NE(broken.LastError().find(path), std::string::npos);
  std::remove(path.c_str());
}

TEST(ControlCommands, WrongTypesInTheStateDoNotBreakReplies) {
  Simulator sim;
  ASSERT_TRUE(sim.Start());
  sim.LoadState({{"status", {{"signal", "lots"}, {"battery", 9000}, {"power", -5}}}, {"identity", 7}});
  TestClient client(sim.DevicePath());
  ASSERT_TRUE(client.Write(ComputerMessage(0x1E, 0x04, {0x00, 0x01, 0x00, 0x01}, 0)));
  ASSERT_TRUE(client.NextFrame());  // ack
  const auto status = client.NextFrame();
  ASSERT_TRUE(status);
  EXPECT_EQ(status->payload[5], 3) << "not a number: the default";
  EXPECT_EQ(status->payload[7], 0) << "clamped";
  EXPECT_EQ(status->payload[8], 255) << "clamped";
  ASSERT_TRUE(client.Write(ComputerMessage(0x1E, 0x64, {0x00, 0x01, 0x00, 0x10}, 1)));
  ASSERT_TRUE(client.NextFrame());  // ack
  const auto identity = client.NextFrame();
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->payload[9], 0x00) << "no IMEI to tell, but still a record";
}

TEST(ControlCommands, WireFramesAndMessagesAreListed) {
  Simulator sim;
  ASSERT_TRUE(sim.Start());
  TestClient client(sim.DevicePath());
  ASSERT_TRUE(client.Write({0x55, 0x55}));
  ASSERT_TRUE(client.Write(ComputerMessage(0x1E, 0x04, {0x00, 0x01, 0x00, 0x01}, 0)));
  ASSERT_TRUE(sim.WaitFor([&] { return sim.Messages().size() == 1; }, 1s));
  EXPECT_EQ(sim.Control("wire"), "55 55 1E 00 0C 04 00 06 00 01 00 01 01 40 13 42");
  EXPECT_EQ(sim.Control("frames"), "frames 1\n1E 04 00 01 00 01 01 40");
  EXPECT_EQ(sim.Control("messages"), "messages 1\n1E 04 00 01 00 01");
  EXPECT_EQ(sim.Control("wire clear"), "ok");
  EXPECT_EQ(sim.Control("wire"), "");
  EXPECT_EQ(sim.Control("clear"), "ok");
  EXPECT_EQ(sim.Control("frames"), "frames 0");
  EXPECT_NE(sim.Control("info").find(sim.DevicePath()), std::string::npos);

  // "send" puts a message of our own on the wire.
  client.ReadUntilQuiet(50ms);
  EXPECT_EQ(sim.Control("send 01 00 01 00 05 07"), "ok");
  const auto frame = client.NextFrame();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->type, 0x01);
  EXPECT_EQ((Bytes(frame->payload.begin(), frame->payload.end() - 2)), (Bytes{0x00, 0x01, 0x00, 0x05, 0x07}));
}

TEST(ControlCommands, LoseFrameDropsOneFrameOfTheNextLongMessageOnly) {
  Simulator sim;
  ASSERT_TRUE(sim.Start());
  TestClient client(sim.DevicePath());
  std::string hex = "send 05";
  for (int i = 0; i < 200; ++i) hex += " 5A";  // two frames
  auto framesOfNextMessage = [&] {
    std::vector<Bytes> trailers;
    while (auto frame = client.NextFrame(300ms))
      trailers.push_back(Bytes(frame->payload.end() - 2, frame->payload.end()));
    return trailers;
  };

  EXPECT_EQ(sim.Control("lose-frame 2"), "ok");
  EXPECT_EQ(sim.Control("lose-frame"), "pending 2 lost 0");
  ASSERT_EQ(sim.Control(hex), "ok");
  const auto lost = framesOfNextMessage();
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_EQ(lost[0][0], 2);  // the first frame, two frames left: the second never came
  EXPECT_EQ(sim.Control("lose-frame"), "pending 0 lost 1");

  ASSERT_EQ(sim.Control(hex), "ok");  // the loss was for one message only
  EXPECT_EQ(framesOfNextMessage().size(), 2u);
  EXPECT_EQ(sim.Control("lose-frame -1").rfind("error", 0), 0u);
}

TEST(ControlServer, AnswersLinesOnTheSocket) {
  Simulator sim;
  ASSERT_TRUE(sim.Start());
  phonesim::ControlServer server(sim);
  const std::string path = TempPath("phonesim_ctl");
  ASSERT_TRUE(server.Start(path)) << server.Error();

  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
  // Two commands in one write, the second split across writes.
  const std::string first = "silent on\nack o";
  const std::string second = "ff\r\n";
  ASSERT_EQ(::write(fd, first.data(), first.size()), static_cast<ssize_t>(first.size()));
  ASSERT_EQ(::write(fd, second.data(), second.size()), static_cast<ssize_t>(second.size()));
  std::string replies;
  while (replies != "ok\nok\n") {
    pollfd pfd{fd, POLLIN, 0};
    ASSERT_GT(::poll(&pfd, 1, 2000), 0) << "got so far: " << replies;
    char buffer[64];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    replies.append(buffer, static_cast<size_t>(n));
  }
  EXPECT_TRUE(sim.Silent());
  EXPECT_FALSE(sim.Acknowledging());
  ::close(fd);
  server.Stop();
  EXPECT_NE(::access(path.c_str(), F_OK), 0) << "socket file removed";
}

// A client of the control socket: one line out, one line of answer back.
class SocketClient {
 public:
  explicit SocketClient(const std::string &path) : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    connected_ = ::connect(fd_, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
  }
  ~SocketClient() { ::close(fd_); }
  bool Connected() const { return connected_; }
  std::string Ask(const std::string &line) {
    const std::string out = line + "\n";
    if (::write(fd_, out.data(), out.size()) != static_cast<ssize_t>(out.size())) return "<write failed>";
    std::string reply;
    while (reply.empty() || reply.back() != '\n') {
      pollfd pfd{fd_, POLLIN, 0};
      char buffer[256];
      if (::poll(&pfd, 1, 2000) <= 0) return "<no answer>";
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) return "<closed>";
      reply.append(buffer, static_cast<size_t>(n));
    }
    reply.pop_back();
    return reply;
  }

 private:
  int fd_;
  bool connected_ = false;
};

TEST(ControlServer, SocketIsTheUsersAloneWhateverTheUmask) {
  Simulator sim;
  phonesim::ControlServer server(sim);
  const std::string path = TempPath("phonesim_ctl_mode");
  const mode_t oldMask = ::umask(0);
  const bool started = server.Start(path);
  ::umask(oldMask);
  ASSERT_TRUE(started) << server.Error();
  struct stat status {};
  ASSERT_EQ(::lstat(path.c_str(), &status), 0);
  EXPECT_TRUE(S_ISSOCK(status.st_mode));
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  SocketClient client(path);
  EXPECT_TRUE(client.Connected());
  EXPECT_EQ(client.Ask("silent on"), "ok");
}

// Files named over the socket are kept to the files directory: a path that leads out of
// it, by being absolute elsewhere, by "..", or through a link, is refused with a reason,
// and nothing is written or read there.
TEST(ControlServer, FileCommandsStayInTheFilesDirectory) {
  namespace fs = std::filesystem;
  const fs::path base = TempPath("phonesim_files");
  fs::remove_all(base);
  const fs::path files = base / "files", outside = base / "outside";
  fs::create_directories(files / "sub");
  fs::create_directories(outside);
  fs::create_symlink(outside, files / "escape");
  fs::create_symlink(outside / "new.nol", files / "dangling");
  fs::create_symlink(files / "sub", files / "inner");
  fs::create_symlink("/etc/passwd", files / "passwd");

  phonesim::Options options;
  options.filesDir = files.string();
  Simulator sim(options);
  ASSERT_TRUE(sim.Start()) << sim.LastError();
  phonesim::ControlServer server(sim);
  const std::string path = TempPath("phonesim_ctl_files");
  ASSERT_TRUE(server.Start(path)) << server.Error();
  SocketClient client(path);
  ASSERT_TRUE(client.Connected());

  EXPECT_EQ(client.Ask("logo dump operator op.nol"), "ok");
  EXPECT_TRUE(fs::is_regular_file(files / "op.nol")) << "a relative path is taken from the files directory";
  EXPECT_EQ(client.Ask("logo dump operator " + (files / "sub" / "abs.nol").string()), "ok");
  EXPECT_EQ(client.Ask("logo dump operator inner/y.nol"), "ok") << "a link that stays inside is fine";
  EXPECT_TRUE(fs::is_regular_file(files / "sub" / "y.nol"));
  EXPECT_EQ(client.Ask("logo load operator sub/../op.nol"), "ok");

  for (const std::string &escape :
       {(outside / "x.nol").string(), std::string("../outside/x.nol"), std::string("sub/../../outside/x.nol"),
        std::string("escape/x.nol"), std::string("dangling"), std::string("/tmp/x.nol"), std::string(".")}) {
    SCOPED_TRACE(escape);
    const std::string reply = client.Ask("logo dump operator " + escape);
    EXPECT_EQ(reply.rfind("error: ", 0), 0u) << reply;
    EXPECT_NE(reply.find("outside the files directory " + fs::canonical(files).string()), std::string::npos) << reply;
  }
  EXPECT_TRUE(fs::is_empty(outside)) << "nothing was written outside";
  EXPECT_FALSE(fs::exists(outside / "new.nol")) << "the dangling link's target was not created";
  for (const std::string &escape : {std::string("/etc/passwd"), std::string("passwd"), std::string("escape/x.nol")}) {
    const std::string reply = client.Ask("logo load operator " + escape);
    EXPECT_NE(reply.find("outside the files directory"), std::string::npos) << escape << ": " << reply;
  }
  fs::remove_all(base);
}

}  // namespace
