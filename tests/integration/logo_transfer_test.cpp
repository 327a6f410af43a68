// Logos to and from the simulated phone through the public API, and operator and
// caller-group logos sent by SMS; the phone keeps what it was sent, so every upload is
// checked on the phone's side too.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "frame_codec.h"
#include "logo_files.h"
#include "sim_fixture.h"

namespace pelkor_it {
namespace {

using nlohmann::json;

class LogoTransfer : public SimulatedPhone {
 protected:
  void SetUp() override {
    SimulatedPhone::SetUp();
    logo_setdata(PELKOR_LOGO_NONE, nullptr);
    OpenSettled();
  }
  void TearDown() override {
    SimulatedPhone::TearDown();
    logo_setdata(PELKOR_LOGO_NONE, nullptr);
    for (auto &f : files_) std::remove(f.c_str());
  }

  json State(const std::string &pointer) const { return sim_.State()[json::json_pointer(pointer)]; }
  void Set(const std::string &pointer, const json &value) {
    ASSERT_EQ(sim_.Control("set " + pointer + " " + value.dump()), "ok");
  }
  static Bytes Hex(const json &text) {
    Bytes bytes;
    EXPECT_TRUE(text.is_string() && phonesim::ParseHex(text.get<std::string>(), bytes)) << text;
    return bytes;
  }
  std::string TempFile(const std::string &name) {
    const std::string path =
        std::filesystem::temp_directory_path() / ("pelkor-logo-" + std::to_string(::getpid()) + "-" + name);
    files_.push_back(path);
    return path;
  }
  // Requests of one message type whose command byte (byte 3) is `command`.
  std::vector<Bytes> Requests(uint8_t type, uint8_t command) const {
    std::vector<Bytes> out;
    for (auto &m : MessagesOfType(type))
      if (m.bytes.size() > 3 && m.bytes[3] == command) out.push_back(m.bytes);
    return out;
  }
  std::string NetworkCode() const {
    char code[16] = "unset";
    logo_getdata(nullptr, nullptr, nullptr, code, sizeof code);
    return code;
  }
  std::string GroupName() const {
    char name[300] = "unset";
    logo_getgroupname(name, sizeof name);
    return name;
  }

  // The network answer is reused for 200 ms; a test that changes the network waits
  // until an earlier test's answer has gone stale.
  static void LetNetworkAnswerExpire() { std::this_thread::sleep_for(std::chrono::milliseconds(250)); }

  std::vector<std::string> files_;
};

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST_F(LogoTransfer, StartupLogoGoesUpInFiveFramesAndComesBack) {
  logo_setdata(PELKOR_LOGO_STARTUP, nullptr);
  logo_setpixel(0, 0, 0);
  logo_setpixel(83, 47, 0);
  logo_setpixel(40, 20, 0);
  ASSERT_EQ(logo_upload(), PELKOR_OK);

  const auto requests = Requests(0x05, 0x18);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].size(), 512u);
  size_t frames = 0;
  for (auto &frame : sim_.Frames())
    if (!frame.isAck && frame.type == 0x05) ++frames;
  EXPECT_EQ(frames, 5u);

  const Bytes stored = Hex(State("/logos/startup/bitmap"));
  ASSERT_EQ(stored.size(), 504u);
  EXPECT_EQ(stored[0], 0x01);
  EXPECT_EQ(stored[503], 0x80);
  EXPECT_EQ(stored[40 + 2 * 84], 0x10);
  EXPECT_EQ(State("/logos/uploads/0/outcome"), "stored");

  // Back from the phone into a cleared record, text included.
  logo_setdata(PELKOR_LOGO_NONE, nullptr);
  ASSERT_EQ(logo_download(PELKOR_LOGO_STARTUP), PELKOR_OK);
  int32_t kind = 0, width = 0, height = 0;
  logo_getdata(&kind, &width, &height, nullptr, 0);
  EXPECT_EQ(kind, PELKOR_LOGO_STARTUP);
  EXPECT_EQ(width, 84);
  EXPECT_EQ(height, 48);
  EXPECT_EQ(logo_getpixel(0, 0), 0);
  EXPECT_EQ(logo_getpixel(83, 47), 0);
  EXPECT_EQ(logo_getpixel(40, 20), 0);
  EXPECT_EQ(logo_getpixel(41, 20), 1);
  EXPECT_EQ(GroupName(), "Pelkor");
}

TEST_F(LogoTransfer, StartupTextEmptyOrLongLeavesTheSharedLogoAlone) {
  logo_setdata(PELKOR_LOGO_OPERATOR, "244 05");
  logo_setpixel(3, 4, 0);

  ASSERT_EQ(setlogo(7, "", 9), PELKOR_OK);
  ASSERT_EQ(setlogo(0, nullptr, 0), PELKOR_OK);
  const auto empty = Requests(0x05, 0x18);
  ASSERT_EQ(empty.size(), 2u);
  EXPECT_EQ(empty[0], (Bytes{0x00, 0x01, 0x00, 0x18, 0x01, 0x02, 0x00}));
  EXPECT_EQ(empty[1], empty[0]);
  EXPECT_EQ(State("/logos/startup/text"), "");

  const std::string long_text(300, 'x');
  ASSERT_EQ(setlogo(0, long_text.c_str(), 0), PELKOR_OK);
  EXPECT_EQ(State("/logos/startup/text"), std::string(255, 'x'));
  EXPECT_EQ(State("/logos/uploads/2/kind"), "startup_text");

  int32_t kind = 0;
  logo_getdata(&kind, nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(kind, PELKOR_LOGO_OPERATOR);
  EXPECT_EQ(NetworkCode(), "244 05");
  EXPECT_EQ(logo_getpixel(3, 4), 0);
}

TEST_F(LogoTransfer, OperatorUploadAsksForTheNetworkOnlyWithoutACode) {
  Set("/network/mcc", "244");
  Set("/network/mnc", "05");
  LetNetworkAnswerExpire();
  logo_setdata(PELKOR_LOGO_OPERATOR, nullptr);
  logo_setpixel(0, 0, 0);
  logo_setpixel(71, 13, 0);
  ASSERT_EQ(logo_upload(), PELKOR_OK);
  EXPECT_EQ(MessagesOfType(0x0A).size(), 1u);
  EXPECT_EQ(NetworkCode(), "244 05");
  auto requests = Requests(0x05, 0x30);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(Bytes(requests[0].begin() + 4, requests[0].begin() + 14),
            (Bytes{0x00, 0x42, 0xF4, 0x50, 0x00, 0x82, 0x00, 72, 14, 0x01}));
  EXPECT_EQ(State("/logos/operator/network"), "244 05");
  const Bytes stored = Hex(State("/logos/operator/bitmap"));
  ASSERT_EQ(stored.size(), 126u);
  EXPECT_EQ(stored[0], 0x80);
  EXPECT_EQ(stored[125], 0x01);

  sim_.ClearRecords();
  logo_setdata(PELKOR_LOGO_OPERATOR, "310 26");
  ASSERT_EQ(logo_upload(), PELKOR_OK);
  EXPECT_TRUE(MessagesOfType(0x0A).empty());
  EXPECT_EQ(State("/logos/operator/network"), "310 26");
}

TEST_F(LogoTransfer, OperatorDownloadTakesTheCodeOfTheCurrentNetwork) {
  Set("/network/mcc", "232");
  Set("/network/mnc", "07");
  LetNetworkAnswerExpire();
  logo_setdata(PELKOR_LOGO_OPERATOR, "999 99");
  ASSERT_EQ(logo_download(PELKOR_LOGO_OPERATOR), PELKOR_OK);
  // The logo stored for "262 01" arrives without its code: the network query fills it.
  EXPECT_EQ(NetworkCode(), "232 07");
  int32_t kind = 0, width = 0, height = 0;
  logo_getdata(&kind, &width, &height, nullptr, 0);
  EXPECT_EQ(kind, PELKOR_LOGO_OPERATOR);
  EXPECT_EQ(width, 72);
  EXPECT_EQ(height, 14);
  EXPECT_EQ(logo_getpixel(0, 0), 0);  // the default logo's frame
  EXPECT_EQ(logo_getpixel(71, 13), 0);
  EXPECT_EQ(logo_getpixel(30, 5), 1);
}

TEST_F(LogoTransfer, CallerGroupKeepsNameAndRingtoneThroughDownloadAndUpload) {
  Set("/logos/caller_groups/2/ringtone", 0x2A);
  logo_setgroupnumber(2);
  logo_setgroupname("stale");
  ASSERT_EQ(logo_download(PELKOR_LOGO_CALLER), PELKOR_OK);
  EXPECT_EQ(Requests(0x03, 0x10).at(0), (Bytes{0x00, 0x01, 0x00, 0x10, 0x02}));
  EXPECT_EQ(GroupName(), "Friends");
  EXPECT_EQ(logo_getgroupnumber(), 2);
  EXPECT_EQ(logo_getpixel(0, 0), 0);

  // The ringtone id the phone reported goes back unchanged with the next upload.
  logo_setgroupnumber(4);
  logo_setgroupname("Mates");
  logo_setpixel(30, 5, 0);
  ASSERT_EQ(logo_upload(), PELKOR_OK);
  EXPECT_EQ(State("/logos/caller_groups/4/name"), "Mates");
  EXPECT_EQ(State("/logos/caller_groups/4/ringtone"), 0x2A);
  const Bytes stored = Hex(State("/logos/caller_groups/4/bitmap"));
  ASSERT_EQ(stored.size(), 126u);
  EXPECT_EQ(stored[5 * 9 + 3], Hex(State("/logos/caller_groups/2/bitmap"))[5 * 9 + 3] | 0x02);
}

TEST_F(LogoTransfer, LogoFilesTravelThroughThePhone) {
  // A start-up logo the library saves is the file the phone writes after an upload.
  const std::string ours = TempFile("ours.form"), phones = TempFile("phone.form");
  logo_setdata(PELKOR_LOGO_STARTUP, nullptr);
  for (int x = 0; x < 84; x += 3) logo_setpixel(x, x % 48, 0);
  ASSERT_EQ(logo_writefile(ours.c_str()), PELKOR_OK);
  Set("/logos/startup/file", phones);
  ASSERT_EQ(logo_upload(), PELKOR_OK);
  EXPECT_EQ(phonesim::logo::ReadBytes(phones), phonesim::logo::ReadBytes(ours));

  // An operator logo the library saves as NOL is what the phone answers from.
  const std::string nol = TempFile("op.nol");
  logo_setdata(PELKOR_LOGO_NONE, nullptr);
  logo_setdata(PELKOR_LOGO_OPERATOR, "244 05");
  logo_setpixel(10, 10, 0);
  ASSERT_EQ(logo_writefile(nol.c_str()), PELKOR_OK);
  Set("/logos/operator/file", nol);
  logo_setdata(PELKOR_LOGO_NONE, nullptr);
  ASSERT_EQ(logo_download(PELKOR_LOGO_OPERATOR), PELKOR_OK);
  EXPECT_EQ(State("/logos/operator/network"), "244 05");
  EXPECT_EQ(logo_getpixel(10, 10), 0);
  EXPECT_EQ(logo_getpixel(0, 0), 1) << "the file's logo, not the default frame";

  // A caller-group file loaded by a control line, and dumped again by the phone.
  const std::string ngg = TempFile("group.ngg"), dumped = TempFile("dumped.ngg");
  logo_setdata(PELKOR_LOGO_CALLER, nullptr);
  logo_setpixel(5, 6, 0);
  ASSERT_EQ(logo_writefile(ngg.c_str()), PELKOR_OK);
  EXPECT_EQ(sim_.Control("logo load caller 3 " + ngg), "ok");
  EXPECT_EQ(sim_.Control("logo dump caller 3 " + dumped), "ok");
  EXPECT_EQ(phonesim::logo::ReadBytes(dumped), phonesim::logo::ReadBytes(ngg));
  EXPECT_EQ(sim_.Control("logo load startup " + ngg).rfind("error", 0), 0u) << "an NGG file is no start-up logo";
  logo_setdata(PELKOR_LOGO_NONE, nullptr);
  logo_setgroupnumber(3);
  ASSERT_EQ(logo_download(PELKOR_LOGO_CALLER), PELKOR_OK);
  EXPECT_EQ(logo_getpixel(5, 6), 0);
  EXPECT_EQ(logo_getpixel(0, 0), 1);
  EXPECT_EQ(GroupName(), "Colleagues");
}

TEST_F(LogoTransfer, ErrorRepliesGive24) {
  logo_setdata(PELKOR_LOGO_OPERATOR, "244 05");
  Set("/logos/refuse_next", true);
  EXPECT_EQ(logo_upload(), PELKOR_ERR_LOGO);
  Set("/logos/refuse_next", true);
  EXPECT_EQ(logo_download(PELKOR_LOGO_OPERATOR), PELKOR_ERR_LOGO);
  EXPECT_EQ(NetworkCode(), "") << "no network query after a refused download";

  logo_setgroupnumber(1);
  Set("/logos/refuse_next", true);
  EXPECT_EQ(logo_download(PELKOR_LOGO_CALLER), PELKOR_ERR_LOGO);
  Set("/logos/refuse_next", true);
  EXPECT_EQ(logo_upload(), PELKOR_ERR_LOGO);
  logo_setgroupnumber(9);  // the phone has groups 0-4
  EXPECT_EQ(logo_download(PELKOR_LOGO_CALLER), PELKOR_ERR_LOGO);
  EXPECT_EQ(logo_getgroupnumber(), 9);
  EXPECT_EQ(State("/logos/caller_groups/1/name"), "VIP") << "a refused upload changes nothing";
}

TEST_F(LogoTransfer, SilenceGives4AndLeavesTheRecordCleared) {
  // A start-up download has no error reply: the phone's refusal is silence.
  Set("/logos/refuse_next", true);
  logo_setdata(PELKOR_LOGO_STARTUP, nullptr);
  logo_setpixel(1, 1, 0);
  auto start = Clock::now();
  EXPECT_EQ(logo_download(PELKOR_LOGO_STARTUP), PELKOR_ERR_TIMEOUT);
  EXPECT_GE(MsSince(start), 900);
  EXPECT_EQ(logo_getpixel(1, 1), 1);

  // An unknown kind sends nothing and waits out the limit.
  sim_.ClearRecords();
  start = Clock::now();
  EXPECT_EQ(logo_download(6), PELKOR_ERR_TIMEOUT);
  EXPECT_GE(MsSince(start), 900);
  EXPECT_TRUE(MessagesOfType(0x05).empty());
  EXPECT_TRUE(MessagesOfType(0x03).empty());

  sim_.SetSilent(true);
  logo_setdata(PELKOR_LOGO_OPERATOR, "244 05");
  logo_setgroupnumber(3);
  EXPECT_EQ(logo_download(PELKOR_LOGO_CALLER), PELKOR_ERR_TIMEOUT);
  int32_t kind = 0, width = -1;
  logo_getdata(&kind, &width, nullptr, nullptr, 0);
  EXPECT_EQ(kind, PELKOR_LOGO_CALLER);
  EXPECT_EQ(width, 0);
  EXPECT_EQ(logo_getgroupnumber(), 3);

  logo_setdata(PELKOR_LOGO_OPERATOR, "244 05");
  start = Clock::now();
  EXPECT_EQ(logo_upload(), PELKOR_ERR_TIMEOUT);
  EXPECT_GE(MsSince(start), 4900);
}

TEST_F(LogoTransfer, LogosGoBySmsToTheirPorts) {
  setsmsmessagecenter(0, "+4477001122");
  logo_setdata(PELKOR_LOGO_CALLER, nullptr);
  logo_setpixel(0, 0, 0);
  logo_setpixel(71, 13, 0);
  ASSERT_EQ(sendoplogoviasms("+1234567"), PELKOR_OK);

  logo_setdata(PELKOR_LOGO_OPERATOR, "244 05");
  ASSERT_EQ(sendoplogoviasms("+1234567"), PELKOR_OK);

  const json sent = State("/sms/sent");
  ASSERT_EQ(sent.size(), 2u);
  struct Expected {
    int port;
    size_t data;
    const char *logo;
  };
  const Expected expected[] = {{0x1583, 130, "caller"}, {0x1582, 133, "operator"}};
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const json &sms = sent[i];
    EXPECT_EQ(sms["outcome"], "sent");
    EXPECT_EQ(sms["destination"], "+1234567");
    EXPECT_EQ(sms["dcs"], 0xF5);
    EXPECT_EQ(sms["first_octet"], 0x51);
    EXPECT_EQ(sms["udl"], expected[i].data + 7);
    EXPECT_EQ(sms["ports"]["destination"], expected[i].port);
    EXPECT_EQ(sms["ports"]["source"], 0);
    const Bytes data = Hex(sms["data"]);
    ASSERT_EQ(data.size(), expected[i].data);

    // What the receiving phone made of the user data.
    ASSERT_TRUE(sms.contains("content")) << sms.dump();
    const json logo = sms["content"];
    EXPECT_EQ(logo["logo"], expected[i].logo);
    EXPECT_FALSE(logo.contains("error")) << logo.dump();
    EXPECT_EQ(logo["width"], 72);
    EXPECT_EQ(logo["height"], 14);
    ASSERT_EQ(logo["rows"].size(), 14u);
    EXPECT_EQ(logo["rows"][0].get<std::string>()[0], '#');
    EXPECT_EQ(logo["rows"][13].get<std::string>()[71], '#');
    EXPECT_EQ(logo["rows"][5].get<std::string>()[30], '.');
  }
  EXPECT_EQ(sent[1]["content"]["network"], "244 05");

  logo_setdata(PELKOR_LOGO_STARTUP, nullptr);
  EXPECT_EQ(sendoplogoviasms("+1234567"), PELKOR_NOT_FOUND);
  EXPECT_EQ(State("/sms/sent").size(), 2u);
}

}  // namespace
}  // namespace pelkor_it
