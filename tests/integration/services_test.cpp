// Phone services through the public API against the simulated phone.
#include <cstring>
#include <string>
#include <thread>

#include "sim_fixture.h"

namespace pelkor_it {
namespace {

class Services : public SimulatedPhone {
 protected:
  void Open(int32_t type = PELKOR_CONNECTION_CABLE) { OpenSettled(type); }
  // Message bodies of one type the phone received since the last clear_records().
  std::vector<Bytes> Sent(uint8_t type) const {
    std::vector<Bytes> out;
    for (auto &m : MessagesOfType(type)) out.push_back(m.bytes);
    return out;
  }
};

TEST_F(Services, IdentityComesFromTheStartupRecordOnTheCable) {
  char text[32];
  EXPECT_EQ(getimei(text, sizeof text), PELKOR_NOT_FOUND);  // no session yet
  Open();
  EXPECT_EQ(getimei(text, sizeof text), PELKOR_OK);
  EXPECT_STREQ(text, "490154203237518");
  EXPECT_EQ(getrevision(text, sizeof text), PELKOR_OK);
  EXPECT_STREQ(text, "SWV 5.24, HW0520");
  EXPECT_EQ(getmodel(text, 4), PELKOR_OK);
  EXPECT_STREQ(text, "NSE");
  EXPECT_TRUE(Sent(0x40).empty()) << "IMEI, model and revision needed no request";
  // The software date is not in the record: the query asks for what is missing.
  EXPECT_EQ(getswdate(text, sizeof text), PELKOR_OK);
  EXPECT_STREQ(text, "17-02-99");
  EXPECT_EQ(Sent(0xD1).size(), 1u);
}

TEST_F(Services, IdentityOnInfraredIsAskedForPieceByPiece) {
  sim_.LoadState({{"identity", {{"imei", "350612345678901"}, {"software", "V 4.10"}}}});
  Open(PELKOR_CONNECTION_INFRARED);
  char text[32];
  EXPECT_EQ(getimei(text, sizeof text), PELKOR_OK);
  EXPECT_STREQ(text, "350612345678901");
  auto service = Sent(0x40);
  ASSERT_GE(service.size(), 2u);
  EXPECT_EQ(service[0], (Bytes{0x00, 0x01, 0x64, 0x01}));  // preparatory request first
  EXPECT_EQ(service[1], (Bytes{0x00, 0x01, 0x66}));
  EXPECT_EQ(getrevision(text, sizeof text), PELKOR_OK);
  EXPECT_STREQ(text, "SWV 4.10, HW0520");
  EXPECT_EQ(getmodel(text, sizeof text), PELKOR_OK);
  EXPECT_STREQ(text, "NSE-3");
  terminate();
  EXPECT_EQ(getmodel(text, sizeof text), PELKOR_NOT_FOUND);
}

TEST_F(Services, IdentityThatNeverComesGivesFive) {
  Open(PELKOR_CONNECTION_INFRARED);
  sim_.SetSilent(true);
  char text[8] = "xxxxxxx";
  EXPECT_EQ(getimei(text, sizeof text), PELKOR_ERR_IDENTITY_UNKNOWN);
  EXPECT_EQ(text[0], '\0');
}

TEST_F(Services, StatusLevelsAndPowerSource) {
  Open();
  sim_.LoadState({{"status", {{"signal", 3}, {"battery", 4}, {"power", 1}}}});
  int32_t level = 0;
  EXPECT_EQ(getrflevel(&level), PELKOR_OK);
  EXPECT_EQ(level, 300);
  EXPECT_EQ(getbatterylevel(&level), PELKOR_OK);
  EXPECT_EQ(level, 400);
  EXPECT_EQ(uses_acdc_power(), 1);
  sim_.LoadState({{"status", {{"power", 0}}}});
  EXPECT_EQ(uses_acdc_power(), 0);
  EXPECT_EQ(getrflevel(nullptr), PELKOR_OK);
  sim_.SetSilent(true);
  EXPECT_EQ(getrflevel(&level), PELKOR_ERR_TIMEOUT);
  EXPECT_EQ(level, -1);
}

TEST_F(Services, DisplayIndicatorsAndTheTwoHundredMillisecondReuse) {
  Open();
  char text[16];
  EXPECT_EQ(getdisplaystatus(text, sizeof text), PELKOR_OK);
  EXPECT_STREQ(text, "10010000");
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(getdisplaystatus(text, 4), PELKOR_OK);
  EXPECT_STREQ(text, "100");
  EXPECT_EQ(Sent(0x0D).size(), 1u);
  sim_.LoadState({{"display", {{"indicators", {{"1", false}}}}}});
  std::this_thread::sleep_for(250ms);
  EXPECT_EQ(getdisplaystatus(text, sizeof text), PELKOR_OK);
  EXPECT_STREQ(text, "00010000");  // indicator 4 not mentioned: keeps its state
  EXPECT_EQ(Sent(0x0D).size(), 2u);
}

TEST_F(Services, ClockIsSetAndReadBack) {
  Open();
  EXPECT_EQ(setdatetime(2001, 3, 15, 12, 30, 45), PELKOR_OK);
  ASSERT_EQ(Sent(0x11).size(), 1u);
  EXPECT_EQ(Sent(0x11)[0], (Bytes{0x00, 0x01, 0x00, 0x60, 0x01, 0x01, 0x07, 0x07, 0xD1, 0x03, 0x0F, 0x0C, 0x1E, 0x00}));
  int32_t y, mo, d, h, mi, s;
  EXPECT_EQ(getdatetime(&y, &mo, &d, &h, &mi, &s), PELKOR_OK);
  EXPECT_EQ(y, 2001);
  EXPECT_EQ(mo, 3);
  EXPECT_EQ(d, 15);
  EXPECT_EQ(h, 12);
  EXPECT_EQ(mi, 30);
  EXPECT_LE(s, 3);  // the phone's clock started again at 0 seconds
  EXPECT_EQ(getdatetime(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), PELKOR_OK);
  sim_.LoadState({{"clock", {{"refuse_settings", true}}}});
  EXPECT_EQ(setdatetime(2002, 1, 1, 0, 0, 0), PELKOR_ERR_SETTING_REFUSED);
}

TEST_F(Services, AlarmIsSetSwitchedOnAndReadBack) {
  Open();
  int32_t on = -1, h = -1, m = -1;
  EXPECT_EQ(getalarm(&on, &h, &m), PELKOR_OK);
  EXPECT_EQ(on, 0);
  EXPECT_EQ(setalarm(7, 30), PELKOR_OK);
  EXPECT_EQ(Sent(0x11).back(), (Bytes{0x00, 0x01, 0x00, 0x6B, 0x01, 0x20, 0x03, 0x02, 0x07, 0x1E, 0x00}));
  EXPECT_EQ(getalarm(&on, &h, &m), PELKOR_OK);
  EXPECT_EQ(on, 1);
  EXPECT_EQ(h, 7);
  EXPECT_EQ(m, 30);
  sim_.LoadState({{"clock", {{"refuse_settings", true}}}});
  EXPECT_EQ(setalarm(8, 0), PELKOR_ERR_SETTING_REFUSED);
}

TEST_F(Services, ClockWithoutAnswerTimesOutWithinItsLimits) {
  Open();
  sim_.SetSilent(true);
  int32_t y = 99;
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(getdatetime(&y, nullptr, nullptr, nullptr, nullptr, nullptr), PELKOR_ERR_TIMEOUT);
  auto took = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(y, 0);
  EXPECT_GE(took, 480ms);
  EXPECT_LT(took, 1200ms);
  started = std::chrono::steady_clock::now();
  EXPECT_EQ(setalarm(6, 0), PELKOR_ERR_TIMEOUT);
  took = std::chrono::steady_clock::now() - started;
  EXPECT_GE(took, 1980ms);
  EXPECT_LT(took, 3000ms);
}

TEST_F(Services, DialHangUpAndDtmfGoOutAsGiven) {
  Open();
  char text[32];
  EXPECT_EQ(incoming(text, sizeof text), PELKOR_ERR_NO_CALL);
  EXPECT_EQ(dialvoice("12345"), PELKOR_OK);
  ASSERT_TRUE(WaitForMessages(0x01, 1, 1s));
  EXPECT_EQ(Sent(0x01)[0], (Bytes{0x00, 0x01, 0x00, 0x01, 0x05, '1', '2', '3', '4', '5', 0x05, 0x01, 0x01, 0x05, 0x81,
                                  0x01, 0x00, 0x00}));
  // The phone reports the call established: the call text becomes "D".
  ASSERT_TRUE(sim_.WaitFor([&] { return incoming(text, sizeof text) == PELKOR_OK; }, 1s));
  EXPECT_STREQ(text, "D");
  EXPECT_EQ(send_dtmf("12#*"), PELKOR_OK);
  EXPECT_EQ(hangup(), PELKOR_OK);
  ASSERT_TRUE(WaitForMessages(0x01, 3, 1s));
  EXPECT_EQ(Sent(0x01)[1], (Bytes{0x00, 0x01, 0x00, 0x50, 0x04, '1', '2', '#', '*'}));
  EXPECT_EQ(Sent(0x01)[2], (Bytes{0x00, 0x01, 0x00, 0x08, 0x01, 0x85}));
  EXPECT_TRUE(sim_.WaitFor([&] { return incoming(text, sizeof text) == PELKOR_ERR_NO_CALL; }, 1s));
  // Too long to fit a request: refused, nothing sent.
  EXPECT_EQ(dialvoice(std::string(50, '1').c_str()), PELKOR_ERR_REFUSED);
  EXPECT_EQ(send_dtmf(std::string(59, '1').c_str()), PELKOR_ERR_REFUSED);
  EXPECT_EQ(dialvoice(std::string(49, '1').c_str()), PELKOR_OK);
  // The one that fits reaches the phone; the refused ones never follow it.
  ASSERT_TRUE(WaitForMessages(0x01, 4, 1s));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(Sent(0x01).size(), 4u);
  EXPECT_EQ(sim_.State()["calls"]["dtmf"][0], "12#*");
}

TEST_F(Services, IncomingCallIsAnnouncedOnceAndFollowedToItsEnd) {
  Open();
  // The simulator's control lines stand for somebody calling the phone.
  ASSERT_EQ(sim_.Control("call incoming 0612345678"), "ok");
  ASSERT_TRUE(sim_.WaitFor([] { return incomingevent() == 1; }, 1s));
  EXPECT_EQ(incomingevent(), 0);
  char text[32];
  EXPECT_EQ(incoming(text, sizeof text), PELKOR_OK);
  EXPECT_STREQ(text, "0612345678");
  ASSERT_EQ(sim_.Control("call establish 7"), "ok");
  ASSERT_TRUE(sim_.WaitFor([&] { return incoming(text, sizeof text) == 0 && text[0] == 'D'; }, 1s));
  EXPECT_STREQ(text, "D612345678");
  EXPECT_EQ(hangup(), PELKOR_OK);
  ASSERT_TRUE(WaitForMessages(0x01, 1, 1s));
  EXPECT_EQ(Sent(0x01).back(), (Bytes{0x00, 0x01, 0x00, 0x08, 0x07, 0x85}));
  EXPECT_TRUE(sim_.WaitFor([&] { return incoming(text, sizeof text) == PELKOR_ERR_NO_CALL; }, 1s));
  // The far end hanging up is announced the same way.
  ASSERT_EQ(sim_.Control("call incoming 555"), "ok");
  ASSERT_EQ(sim_.Control("call establish"), "ok");
  ASSERT_TRUE(sim_.WaitFor([&] { return incoming(text, sizeof text) == 0 && text[0] == 'D'; }, 1s));
  ASSERT_EQ(sim_.Control("call end"), "ok");
  EXPECT_TRUE(sim_.WaitFor([&] { return incoming(text, sizeof text) == PELKOR_ERR_NO_CALL; }, 1s));
  EXPECT_NE(sim_.Control("call sideways").find("error"), std::string::npos);
}

TEST_F(Services, ResetsBeepsAndTones) {
  Open();
  EXPECT_EQ(reset(nullptr), PELKOR_OK);
  EXPECT_EQ(reset("HARD"), PELKOR_OK);
  EXPECT_EQ(reset("hard"), PELKOR_OK);
  EXPECT_EQ(gsmbeep(1), 1);
  EXPECT_EQ(gsmbeep(0), 1);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(play_tone(4, 1000, 200), 1);
  EXPECT_GE(std::chrono::steady_clock::now() - started, 180ms);
  // The tone's stop goes out as play_tone returns: wait for all nine to reach the phone.
  const std::vector<Bytes> expected = {{0x00, 0x01, 0x64, 0x03},
                                       {0x00, 0x01, 0x64, 0x03},
                                       {0x00, 0x01, 0x64, 0x04},
                                       {0x00, 0x01, 0x64, 0x01},
                                       {0x00, 0x01, 0x8F, 0x04, 0x09, 0xC4},
                                       {0x00, 0x01, 0x8F, 0x00, 0x00, 0x00},
                                       {0x00, 0x01, 0x64, 0x01},
                                       {0x00, 0x01, 0x8F, 0x04, 0x03, 0xE8},
                                       {0x00, 0x01, 0x8F, 0x00, 0x00, 0x00}};
  ASSERT_TRUE(WaitForMessages(0x40, expected.size(), 1s));
  EXPECT_EQ(Sent(0x40), expected);
  EXPECT_EQ(sim_.State()["resets"], nlohmann::json({"soft", "soft", "hard"}));
}

TEST_F(Services, AToneOfNoLengthPlaysNothingAndReturnsAtOnce) {
  Open();
  // The most negative durations once wrapped round to a sleep of about 24.8 days.
  const auto started = std::chrono::steady_clock::now();
  for (int32_t duration : {INT32_MIN, INT32_MIN + 4, -1, 0}) EXPECT_EQ(play_tone(4, 1000, duration), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
  EXPECT_EQ(play_tone(4, 1000, 20), 1);  // the first tone that plays still prepares the phone
  ASSERT_TRUE(WaitForMessages(0x40, 3, 1s));
  const std::vector<Bytes> expected = {
      {0x00, 0x01, 0x64, 0x01}, {0x00, 0x01, 0x8F, 0x04, 0x03, 0xE8}, {0x00, 0x01, 0x8F, 0x00, 0x00, 0x00}};
  EXPECT_EQ(Sent(0x40), expected);
}

TEST_F(Services, NetworkInfoInThePhonesLayoutAndItsReuse) {
  Open();
  char code[7], area[8], cell[8];
  EXPECT_EQ(getnetworkinfo(code, sizeof code, area, sizeof area, cell, sizeof cell), PELKOR_OK);
  EXPECT_STREQ(code, "262 01");
  EXPECT_STREQ(cell, "1234");
  EXPECT_STREQ(area, "5678");
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(getnetworkinfo(code, sizeof code, nullptr, 0, nullptr, 0), PELKOR_OK);
  EXPECT_EQ(Sent(0x0A).size(), 1u);
  sim_.SetSilent(true);
  std::this_thread::sleep_for(250ms);
  EXPECT_EQ(getnetworkinfo(code, sizeof code, area, sizeof area, cell, sizeof cell), PELKOR_ERR_TIMEOUT);
  EXPECT_STREQ(code, "");
  // A failure is never reused: the next call asks again at once.
  sim_.SetSilent(false);
  EXPECT_EQ(getnetworkinfo(code, sizeof code, nullptr, 0, nullptr, 0), PELKOR_OK);
  EXPECT_STREQ(code, "262 01");
}

TEST_F(Services, NetMonitorSelectsScreensAndCutsTheText) {
  char text[64];
  EXPECT_EQ(netmonitor("field", text, sizeof text), PELKOR_OK);  // no session: nothing sent
  Open();
  EXPECT_EQ(netmonitor("field", text, sizeof text), PELKOR_OK);
  EXPECT_STREQ(text, "CH 62 RxL -67 C1 38 TA 1 ");
  EXPECT_EQ(netmonitor("2", text, 5), PELKOR_OK);
  EXPECT_STREQ(text, "CELL");
  EXPECT_EQ(netmonitor("300", text, sizeof text), PELKOR_OK);
  EXPECT_EQ(netmonitor("bogus", text, sizeof text), PELKOR_OK);
  sim_.LoadState({{"netmonitor", {{"screens", {{"7", std::string(80, 'x')}}}}}});
  EXPECT_EQ(netmonitor("7", text, sizeof text), PELKOR_OK);
  EXPECT_EQ(std::strlen(text), 50u);
  const std::vector<Bytes> expected = {{0x00, 0x01, 0x64, 0x01}, {0x00, 0x01, 0x7E, 0xF2}, {0x00, 0x01, 0x64, 0x01},
                                       {0x00, 0x01, 0x7E, 0x02}, {0x00, 0x01, 0x64, 0x01}, {0x00, 0x01, 0x7E, 0x2C},
                                       {0x00, 0x01, 0x64, 0x01}, {0x00, 0x01, 0x7E, 0x00}, {0x00, 0x01, 0x64, 0x01},
                                       {0x00, 0x01, 0x7E, 0x07}};
  EXPECT_EQ(Sent(0x40), expected);
}

}  // namespace
}  // namespace pelkor_it

namespace pelkor_it {
namespace {

using SilentPhone = SimulatedPhone;

// Each waiting command ends with its own code once its time limit has passed.
TEST_F(SilentPhone, EveryWaitingServiceEndsWithItsCode) {
  ASSERT_EQ(init(port_.c_str(), 0), PELKOR_OK);
  sim_.SetSilent(true);
  int32_t value = 7;
  EXPECT_EQ(getbatterylevel(&value), PELKOR_ERR_TIMEOUT);
  EXPECT_EQ(value, -1);
  EXPECT_EQ(uses_acdc_power(), 0);
  char text[16] = "x";
  EXPECT_EQ(getdisplaystatus(text, sizeof text), PELKOR_ERR_TIMEOUT);
  EXPECT_STREQ(text, "00000000");
  EXPECT_EQ(setdatetime(2001, 1, 1, 0, 0, 0), PELKOR_ERR_TIMEOUT);
  int32_t on = 5, hour = 5, minute = 5;
  EXPECT_EQ(getalarm(&on, &hour, &minute), PELKOR_ERR_TIMEOUT);
  EXPECT_EQ(on + hour + minute, 0);
  EXPECT_EQ(netmonitor("field", text, sizeof text), PELKOR_OK);  // always 0
  EXPECT_STREQ(text, "");
  // Commands without a wait return their fixed values whatever the phone does.
  EXPECT_EQ(dialvoice("112"), PELKOR_OK);
  EXPECT_EQ(send_dtmf("1"), PELKOR_OK);
  EXPECT_EQ(hangup(), PELKOR_OK);
  EXPECT_EQ(reset("soft"), PELKOR_OK);
  EXPECT_EQ(gsmbeep(1), 1);
  EXPECT_EQ(play_tone(1, 440, 20), 1);
}

}  // namespace
}  // namespace pelkor_it
