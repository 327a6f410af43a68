// The C++ wrapper against phonesim, and the library's own texts. The file says
// `using namespace std;` on purpose: with the wrapper no call needs the C session names.
#include <gtest/gtest.h>

#include <pelkor16.hpp>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>

#include "simulator.h"

using namespace std;

namespace {

class WrappedPhone : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_.LoadState(nlohmann::json::parse(R"({
      "identity": {"imei": "351234567890128"},
      "sms": {"capacity": 6, "messages": [
        {"location": 1, "kind": "received", "read": false, "text": "first", "sender": "+491701",
         "time": [26, 12, 8, 17, 42, 5]},
        {"location": 2, "kind": "sent", "text": "outgoing one", "recipient": "+491702"},
        {"location": 4, "kind": "received", "text": "second", "sender": "+491703"}]}})"));
    ASSERT_TRUE(sim_.Start()) << sim_.LastError();
  }
  void TearDown() override { sim_.Stop(); }

  phonesim::Simulator sim_;
};

TEST_F(WrappedPhone, SessionOpensReadsAndClosesWithItsScope) {
  {
    pelkor16::session phone(sim_.DevicePath());
    EXPECT_TRUE(phone.alive());
    EXPECT_EQ(phone.imei(), "351234567890128");
    EXPECT_FALSE(phone.model().empty());
    EXPECT_EQ(phone.display_indicators().size(), 8u);
    const pelkor16::network_info net = phone.network();
    EXPECT_EQ(net.area_code.size(), 4u);
  }
  // The destructor ended the session: the identity queries answer "no session".
  char imei[20];
  EXPECT_EQ(getimei(imei, sizeof imei), PELKOR_NOT_FOUND);
  // And a second session opens on the same port.
  pelkor16::session again(sim_.DevicePath());
  EXPECT_EQ(again.imei(), "351234567890128");
}

TEST_F(WrappedPhone, SettingsRoundTripThroughThePhone) {
  pelkor16::session phone(sim_.DevicePath());
  phone.set_clock({2001, 3, 15, 12, 30, 0});
  const pelkor16::date_time t = phone.clock();
  EXPECT_EQ(t.year, 2001);
  EXPECT_EQ(t.month, 3);
  EXPECT_EQ(t.day, 15);
  EXPECT_EQ(t.hour, 12);
  phone.set_alarm(7, 45);
  const pelkor16::alarm_setting a = phone.alarm();
  EXPECT_TRUE(a.enabled);
  EXPECT_EQ(a.hour, 7);
  EXPECT_EQ(a.minute, 45);
  phone.set_entry(3, {"Ada", "+4912345678", 2});
  const pelkor16::phonebook_entry e = phone.entry(3);
  EXPECT_EQ(e.name, "Ada");
  EXPECT_EQ(e.number, "+4912345678");
  EXPECT_EQ(e.group, 2);
}

TEST_F(WrappedPhone, MessagesComeBackByKindInListOrder) {
  pelkor16::session phone(sim_.DevicePath());
  const vector<pelkor16::sms_message> all = phone.messages();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].kind, pelkor16::sms_kind::received);
  EXPECT_EQ(all[0].text, "first");
  EXPECT_EQ(all[0].sender, "+491701");
  EXPECT_EQ(all[0].time.hour, 17);
  EXPECT_FALSE(all[0].read_or_sent);
  EXPECT_EQ(all[1].text, "second");
  EXPECT_EQ(all[1].index, 2);
  EXPECT_EQ(all[2].kind, pelkor16::sms_kind::outgoing);
  EXPECT_EQ(all[2].text, "outgoing one");
  phone.delete_message(pelkor16::sms_kind::received, 1);
  EXPECT_EQ(phone.messages().size(), 2u);
}

TEST_F(WrappedPhone, FailuresThrowTheResultCodeWithItsText) {
  try {
    pelkor16::session nowhere("/nonexistent/tty-of-no-phone");
    FAIL() << "opened a port that does not exist";
  } catch (const pelkor16::error &e) {
    EXPECT_EQ(e.code(), PELKOR_ERR_REFUSED);
    EXPECT_NE(string(e.what()).find(pelkor_strerror(PELKOR_ERR_REFUSED)), string::npos) << e.what();
  }
  pelkor16::session phone(sim_.DevicePath());
  sim_.SetSilent(true);
  try {
    phone.clock();
    FAIL() << "a silent phone answered";
  } catch (const pelkor16::error &e) {
    EXPECT_EQ(e.code(), PELKOR_ERR_TIMEOUT);
    EXPECT_NE(string(e.what()).find("getdatetime: no answer from the phone in time (code 4)"), string::npos)
        << e.what();
  }
  sim_.SetSilent(false);
}

TEST(WrappedFiles, LogoRingtoneAndWaveNeedNoPhone) {
  const filesystem::path dir = filesystem::temp_directory_path() / "pelkor-wrapper-test";
  filesystem::create_directories(dir);
  pelkor16::logo::load(PELKOR_EXAMPLES "/logos/operator.nol");
  EXPECT_EQ(pelkor16::logo::kind(), pelkor16::logo_kind::op);
  EXPECT_EQ(pelkor16::logo::width(), 72);
  EXPECT_EQ(pelkor16::logo::height(), 14);
  pelkor16::logo::set_pixel(0, 0, true);
  EXPECT_TRUE(pelkor16::logo::pixel(0, 0));
  pelkor16::logo::set_pixel(0, 0, false);
  EXPECT_FALSE(pelkor16::logo::pixel(0, 0));
  EXPECT_THROW(pelkor16::logo::load((dir / "missing.nol").string()), pelkor16::error);

  pelkor16::ringtone::load(PELKOR_EXAMPLES "/scale.rtttl");
  const vector<string> notes = pelkor16::ringtone::notes();
  ASSERT_FALSE(notes.empty());
  pelkor16::ringtone::set_name("Wrapped");
  pelkor16::ringtone::set_notes({"4c", "8d", "2e."});
  const string file = (dir / "wrapped.rtttl").string();
  pelkor16::ringtone::save(file);
  pelkor16::ringtone::set_notes({});
  pelkor16::ringtone::load(file);
  EXPECT_EQ(pelkor16::ringtone::name(), "Wrapped");
  EXPECT_EQ(pelkor16::ringtone::notes().size(), 3u);

  const string wav = (dir / "tone.wav").string();
  {
    pelkor16::wave_file out(wav);
    out.add_tone(1000, 100);  // 800 samples at 8000 Hz
  }
  EXPECT_EQ(filesystem::file_size(wav), 44u + 800u);
  EXPECT_THROW(pelkor16::wave_file((dir / "no-such-dir" / "x.wav").string()), pelkor16::error);
  filesystem::remove_all(dir);
}

TEST(LibraryInfo, EveryResultCodeHasItsOwnTextAndTheVersionIsTheBuilds) {
  const int32_t codes[] = {PELKOR_OK,
                           PELKOR_NOT_FOUND,
                           PELKOR_HANDED_TO_SEND,
                           PELKOR_ERR_TIMEOUT,
                           PELKOR_ERR_IDENTITY_UNKNOWN,
                           PELKOR_ERR_MEMORY_STATUS,
                           PELKOR_ERR_SMS_READ,
                           PELKOR_ERR_PHONEBOOK_READ,
                           PELKOR_ERR_SPEED_DIAL,
                           PELKOR_ERR_SETTING_REFUSED,
                           PELKOR_ERR_SMS_READ_OTHER,
                           PELKOR_ERR_PHONEBOOK_WRITE,
                           PELKOR_ERR_SMS_SEND,
                           PELKOR_ERR_TEXT_TOO_LONG,
                           PELKOR_ERR_REFUSED,
                           PELKOR_ERR_NO_CALL,
                           PELKOR_ERR_LOGO};
  const string unknown = pelkor_strerror(9999);
  set<string> texts;
  for (int32_t code : codes) {
    const char *text = pelkor_strerror(code);
    ASSERT_NE(text, nullptr);
    EXPECT_NE(text, unknown) << code;
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), size(codes));
  EXPECT_EQ(unknown, pelkor_strerror(-2));
  EXPECT_STREQ(pelkor_strerror(PELKOR_ERR_TIMEOUT), "no answer from the phone in time");
  EXPECT_EQ(pelkor16::version(), PELKOR_EXPECTED_VERSION);
}

}  // namespace
