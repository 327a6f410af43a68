// The message store through the public API: the list scan over every kind of stored
// message, queries and deletes by kind and ordinal, getsms, the counts and their cache,
// arrival notices and the UCS-2 dump files.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "sim_fixture.h"

namespace pelkor_it {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr int kReceived = 13, kOutgoing = 11, kReport = 12;

json StoreWith(json messages, int capacity) {
  return json{{"sms", {{"capacity", capacity}, {"messages", std::move(messages)}}}};
}

// Locations 3 and 9 are empty; 10 is past the end.
json FullStore() {
  return StoreWith(json::array({
                       {{"location", 1},
                        {"kind", "received"},
                        {"text", "First"},
                        {"sender", "+4412345"},
                        {"centre", "+4477001122"},
                        {"time", {24, 5, 6, 17, 23, 45}}},
                       {{"location", 2}, {"kind", "sent"}, {"read", false}, {"text", "Draft"}, {"recipient", "555"}},
                       {{"location", 4},
                        {"kind", "received"},
                        {"read", false},
                        {"header", "05 00 03 07 02 01"},
                        {"text", "Second part"},
                        {"sender", "0612"}},
                       {{"location", 5}, {"kind", "report"}, {"status", 0x41}, {"recipient", "+4412345"}},
                       {{"location", 6}, {"kind", "received"}, {"coding", "ucs2"}, {"text", "Hi"}, {"sender", "+49"}},
                       {{"location", 7}, {"kind", "received"}, {"text", "Promo"}, {"sender", "INDOSAT"}},
                       {{"location", 8},
                        {"kind", "received"},
                        {"coding", "8bit"},
                        {"class", 1},
                        {"header", "06 05 04 15 82 00 00"},
                        {"data", "41 42 43"},
                        {"sender", "+4412345"}},
                   }),
                   9);
}

class SmsStore : public SimulatedPhone {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pelkor-dumps-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dumps_ = pattern;
    if (const char *old = getenv("TMPDIR")) oldTmpdir_ = old;
    setenv("TMPDIR", dumps_.c_str(), 1);
    SimulatedPhone::SetUp();
    ASSERT_EQ(init(port_.c_str(), PELKOR_CONNECTION_CABLE), PELKOR_OK);
  }
  void TearDown() override {
    SimulatedPhone::TearDown();
    if (oldTmpdir_.empty())
      unsetenv("TMPDIR");
    else
      setenv("TMPDIR", oldTmpdir_.c_str(), 1);
    fs::remove_all(dumps_);
  }

  size_t StoreRequests(uint8_t command) const {
    size_t n = 0;
    for (auto &m : MessagesOfType(0x14))
      if (m.bytes.size() > 3 && m.bytes[3] == command) ++n;
    return n;
  }
  std::string Data(int kind, int n, int field) {
    char buffer[300];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    const int32_t result = getsmsmsgdata(kind, n, field, buffer, sizeof buffer);
    return result == PELKOR_OK ? std::string(buffer) : "<" + std::to_string(result) + ">";
  }
  std::vector<fs::path> Dumps() const {
    std::vector<fs::path> files;
    for (auto &e : fs::directory_iterator(dumps_)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
  }

  std::string dumps_;
  std::string oldTmpdir_;
};

TEST_F(SmsStore, ScanKeepsMessagesAndPassesOverEmptyLocations) {
  // Locations 1, 2 and 4 hold messages, 3 is empty, 5 is past the end.
  sim_.LoadState(StoreWith(json::array({{{"location", 1}, {"text", "one"}},
                                        {{"location", 2}, {"text", "two"}},
                                        {{"location", 4}, {"text", "four"}}}),
                           4));
  EXPECT_EQ(updatesmslist(), PELKOR_ERR_SMS_READ);
  EXPECT_EQ(StoreRequests(0x07), 5u);
  EXPECT_EQ(MessagesOfType(0x14).back().bytes, (Bytes{0x00, 0x01, 0x00, 0x07, 0x02, 0x05, 0x01, 0x64}));
  EXPECT_EQ(getsmsmsgcount(kReceived), 3);
  EXPECT_EQ(getsmsmsgcount(0), 3) << "unknown kind codes select received messages";
  EXPECT_EQ(Data(kReceived, 3, 1), "four");

  // A rescan starts afresh; terminate empties the list.
  EXPECT_EQ(updatesmslist(), PELKOR_ERR_SMS_READ);
  EXPECT_EQ(getsmsmsgcount(kReceived), 3);
  terminate();
  EXPECT_EQ(getsmsmsgcount(kReceived), 0);
  EXPECT_EQ(Data(kReceived, 1, 1), "<-1>");
}

TEST_F(SmsStore, ListHoldsEveryKindOfMessage) {
  sim_.LoadState(FullStore());
  EXPECT_EQ(updatesmslist(), PELKOR_ERR_SMS_READ);
  EXPECT_EQ(StoreRequests(0x07), 10u);
  EXPECT_EQ(getsmsmsgcount(kReceived), 5);
  EXPECT_EQ(getsmsmsgcount(kOutgoing), 1);
  EXPECT_EQ(getsmsmsgcount(kReport), 1);

  EXPECT_EQ(Data(kReceived, 1, 1), "First");
  EXPECT_EQ(Data(kReceived, 1, 2), "+4412345");
  EXPECT_EQ(Data(kReceived, 2, 1), "Second part") << "the concatenation header is skipped";
  EXPECT_EQ(Data(kReceived, 3, 1), "") << "UCS-2 text starts with a zero byte";
  EXPECT_EQ(Data(kReceived, 4, 2), "INDOSAT") << "alphanumeric sender";
  EXPECT_EQ(Data(kReceived, 5, 1).substr(0, 3), "\x06\x05\x04") << "8-bit data keeps its header";
  EXPECT_EQ(Data(kReceived, 6, 1), "<-1>");
  EXPECT_EQ(Data(kOutgoing, 1, 1), "Draft");
  EXPECT_EQ(Data(kOutgoing, 1, 2), "");
  EXPECT_EQ(Data(kOutgoing, 1, 3), "") << "the destination is not read";
  EXPECT_EQ(Data(kReport, 1, 1), "Failed");
  EXPECT_EQ(Data(kReceived, 1, 9), "") << "an unknown field copies nothing";

  char small[4] = "zzz";
  EXPECT_EQ(getsmsmsgdata(kReceived, 1, 1, small, sizeof small), PELKOR_OK);
  EXPECT_STREQ(small, "Fir");
  EXPECT_EQ(getsmsmsgdata(kReceived, 1, 1, nullptr, 10), PELKOR_OK);

  int32_t y = -1, mo = -1, d = -1, h = -1, mi = -1, s = -1;
  EXPECT_EQ(getsmsmsgdatetime(kReceived, 1, &y, &mo, &d, &h, &mi, &s), PELKOR_OK);
  EXPECT_EQ((std::vector<int32_t>{y, mo, d, h, mi, s}), (std::vector<int32_t>{24, 5, 6, 17, 23, 45}));
  EXPECT_EQ(getsmsmsgdatetime(kOutgoing, 1, &y, nullptr, nullptr, nullptr, nullptr, &s), PELKOR_OK);
  EXPECT_EQ(y + s, 0) << "stored outgoing messages carry no time";
  EXPECT_EQ(getsmsmsgdatetime(kReport, 2, &y, &mo, &d, &h, &mi, &s), PELKOR_NOT_FOUND);

  EXPECT_EQ(getsmssentread(kReceived, 1), 1);
  EXPECT_EQ(getsmssentread(kReceived, 2), 0) << "unread";
  EXPECT_EQ(getsmssentread(kOutgoing, 1), 0) << "not sent";
  EXPECT_EQ(getsmssentread(kReport, 1), 1);
  EXPECT_EQ(getsmssentread(kReceived, 40), 0);

  // The UCS-2 message left its two dump files.
  const auto files = Dumps();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].extension(), ".dat");
  EXPECT_EQ(files[1].stem(), files[0].stem());
  std::ifstream text(files[1], std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(text), {}), (Bytes{0xFE, 0xFF, 0x00, 0x48, 0x00, 0x69}));
}

TEST_F(SmsStore, DeleteRemovesFromPhoneAndList) {
  sim_.LoadState(FullStore());
  ASSERT_EQ(updatesmslist(), PELKOR_ERR_SMS_READ);
  EXPECT_EQ(Data(kReceived, 2, 1), "Second part");
  EXPECT_EQ(deletesmsmsg(kReceived, 1), PELKOR_OK);
  EXPECT_EQ(MessagesOfType(0x14).back().bytes, (Bytes{0x00, 0x01, 0x00, 0x0A, 0x02, 0x01}));
  EXPECT_EQ(Data(kReceived, 1, 1), "Second part");
  EXPECT_EQ(getsmsmsgcount(kReceived), 4);
  EXPECT_EQ(deletesmsmsg(kReport, 1), PELKOR_OK);
  EXPECT_EQ(getsmsmsgcount(kReport), 0);
  EXPECT_EQ(deletesmsmsg(kReport, 1), PELKOR_NOT_FOUND);
  EXPECT_EQ(StoreRequests(0x0A), 2u);

  const json left = sim_.State()["sms"]["messages"];
  ASSERT_EQ(left.size(), 5u);
  for (const json &m : left) EXPECT_NE(m["location"], 1);
  for (const json &m : left) EXPECT_NE(m["location"], 5);
  EXPECT_EQ(getsms(1, nullptr, 0, nullptr, 0), 4) << "the location is empty on the phone now";
}

// An ordinal below 1 names no entry: nothing is read out of the list and nothing is
// deleted, on the phone or in the list, whatever the kind.
TEST_F(SmsStore, OrdinalsBelowOneNameNoEntry) {
  sim_.LoadState(FullStore());
  ASSERT_EQ(updatesmslist(), PELKOR_ERR_SMS_READ);
  const json before = sim_.State()["sms"]["messages"];
  for (int kind : {kReceived, kOutgoing, kReport}) {
    for (int n : {0, -1, -7, INT32_MIN}) {
      SCOPED_TRACE("kind " + std::to_string(kind) + ", ordinal " + std::to_string(n));
      EXPECT_EQ(Data(kind, n, 1), "<-1>");
      EXPECT_EQ(Data(kind, n, 2), "<-1>");
      int32_t y = 99, mo = 99, d = 99, h = 99, mi = 99, s = 99;
      EXPECT_EQ(getsmsmsgdatetime(kind, n, &y, &mo, &d, &h, &mi, &s), PELKOR_NOT_FOUND);
      EXPECT_EQ((std::vector<int32_t>{y, mo, d, h, mi, s}), (std::vector<int32_t>(6, 0)));
      EXPECT_EQ(getsmssentread(kind, n), 0) << "the answer for no such entry";
      EXPECT_EQ(deletesmsmsg(kind, n), PELKOR_NOT_FOUND);

      char text[64] = "untouched";
      EXPECT_EQ(pelkor_getsmsmsgtext_utf8(kind, n, text, sizeof text), PELKOR_NOT_FOUND);
      EXPECT_STREQ(text, "");
      char sender[64] = "untouched";
      EXPECT_EQ(pelkor_getsmsmsgsender_utf8(kind, n, sender, sizeof sender), PELKOR_NOT_FOUND);
      EXPECT_STREQ(sender, "");
      EXPECT_EQ(pelkor_getsmsmsglocation(kind, n), PELKOR_NOT_FOUND);
      int32_t coding = 7, cls = 7, ref = 7, part = 7, total = 7;
      EXPECT_EQ(pelkor_getsmsmsgdetails(kind, n, &coding, &cls, &ref, &part, &total), PELKOR_NOT_FOUND);
      EXPECT_EQ((std::vector<int32_t>{coding, cls, ref, part, total}), (std::vector<int32_t>{0, -1, 0, 0, 0}));
      uint8_t pdu[200];
      EXPECT_EQ(pelkor_getsmsmsgpdu(kind, n, pdu, sizeof pdu), PELKOR_NOT_FOUND);
      EXPECT_EQ(pelkor_getsmsmsgpdu(kind, n, nullptr, 0), PELKOR_NOT_FOUND);
    }
  }
  EXPECT_EQ(StoreRequests(0x0A), 0u) << "no delete went to the phone";
  EXPECT_EQ(sim_.State()["sms"]["messages"], before);
  EXPECT_EQ(getsmsmsgcount(kReceived), 5);
  EXPECT_EQ(getsmsmsgcount(kOutgoing), 1);
  EXPECT_EQ(getsmsmsgcount(kReport), 1);
  EXPECT_EQ(Data(kReceived, 1, 1), "First") << "ordinal 1 is still the first";
  EXPECT_EQ(pelkor_getsmsmsglocation(kReceived, 2), 4);

  // getsms names a location in one byte: one outside 1-255 is no location, not the one
  // its low byte names (-255 and 257 would read location 1).
  const size_t reads = StoreRequests(0x07);
  for (int location : {0, -1, -255, 256, 257}) {
    SCOPED_TRACE("location " + std::to_string(location));
    char number[32] = "x", text[64] = "x";
    EXPECT_EQ(getsms(location, number, sizeof number, text, sizeof text), PELKOR_GETSMS_INVALID_LOCATION);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(pelkor_getsms_utf8(location, number, sizeof number, text, sizeof text), PELKOR_GETSMS_INVALID_LOCATION);
    EXPECT_STREQ(text, "");
  }
  EXPECT_EQ(StoreRequests(0x07), reads) << "nothing was asked of the phone";
}

// The UCS-2 copies go to a directory other users may share. Each is a new file of the
// process user's, 0600 whatever the umask; a planted link is never followed and another
// user's file never written. Reading the message is not affected either way.
class UcsDumps : public SmsStore {
 protected:
  void SetUp() override {
    SmsStore::SetUp();
    char pattern[] = "/tmp/pelkor-outside-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    outside_ = pattern;
    oldUmask_ = umask(0);
    sim_.LoadState(FullStore());
  }
  void TearDown() override {
    umask(oldUmask_);
    fs::remove_all(outside_);
    SmsStore::TearDown();
  }
  // Reads the UCS-2 message at location 6 with getsms, checking what comes back.
  void ReadUcs2Message() {
    char number[32], text[16] = {};
    ASSERT_EQ(getsms(6, number, sizeof number, text, sizeof text), 13);
    EXPECT_STREQ(number, "+49");
    EXPECT_EQ(Bytes(text, text + 4), (Bytes{0x00, 0x48, 0x00, 0x69}));
  }
  // The number the next dump will take: one read is made to learn it.
  int NextDumpNumber() {
    ReadUcs2Message();
    const auto files = Dumps();
    EXPECT_EQ(files.size(), 2u);
    int highest = 0;
    for (auto &f : files) highest = std::max(highest, std::stoi(f.stem().string().substr(5)));
    for (auto &f : files) fs::remove(f);
    return highest + 1;
  }
  fs::path DumpPath(int n, const char *extension) const {
    return fs::path(dumps_) / ("UCS2-" + std::to_string(n) + "." + extension);
  }
  static std::string Contents(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Put(const fs::path &path, const std::string &contents, mode_t mode) {
    std::ofstream(path, std::ios::binary) << contents;
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
  }
  static mode_t ModeOf(const fs::path &path) {
    struct stat status {};
    EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
  }

  std::string outside_;
  mode_t oldUmask_ = 0;
};

const std::string kUcs2Text("\xFE\xFF\x00\x48\x00\x69", 6);

TEST_F(UcsDumps, CopiesAreNewFilesOfTheUserAloneWhateverTheUmask) {
  const int n = NextDumpNumber();
  // A stale copy of the user's own, left by an earlier process with the same number,
  // is replaced by a new private file.
  Put(DumpPath(n, "txt"), "stale text, much longer than the new one", 0644);
  ReadUcs2Message();
  for (const char *extension : {"dat", "txt"}) {
    SCOPED_TRACE(extension);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(DumpPath(n, extension))));
    EXPECT_EQ(ModeOf(DumpPath(n, extension)), 0600u) << "umask 0 must not open it to others";
  }
  EXPECT_EQ(Contents(DumpPath(n, "txt")), kUcs2Text);
  EXPECT_GT(Contents(DumpPath(n, "dat")).size(), 10u);
}

TEST_F(UcsDumps, APlantedLinkIsNeverFollowed) {
  const int n = NextDumpNumber();
  const fs::path target = fs::path(outside_) / "victim";
  Put(target, "precious", 0644);
  fs::create_symlink(target, DumpPath(n, "txt"));
  fs::create_symlink(fs::path(outside_) / "not-yet", DumpPath(n, "dat"));  // dangling: would be created
  ReadUcs2Message();
  EXPECT_EQ(Contents(target), "precious");
  EXPECT_EQ(ModeOf(target), 0644u);
  EXPECT_FALSE(fs::exists(fs::path(outside_) / "not-yet"));
  EXPECT_TRUE(fs::is_symlink(DumpPath(n, "txt"))) << "the link is left alone, the copy skipped";
  EXPECT_TRUE(fs::is_symlink(DumpPath(n, "dat")));

  // The next message's copies are written as usual.
  ReadUcs2Message();
  EXPECT_EQ(Contents(DumpPath(n + 1, "txt")), kUcs2Text);
  EXPECT_EQ(ModeOf(DumpPath(n + 1, "txt")), 0600u);
}

TEST_F(UcsDumps, AnotherUsersFileIsNeitherWrittenNorRemoved) {
  if (geteuid() != 0) GTEST_SKIP() << "planting another user's file takes root";
  const int n = NextDumpNumber();
  const uid_t nobody = 65534;
  for (const char *extension : {"dat", "txt"}) {
    Put(DumpPath(n, extension), "someone else's", 0666);
    ASSERT_EQ(chown(DumpPath(n, extension).c_str(), nobody, nobody), 0);
  }
  ReadUcs2Message();
  for (const char *extension : {"dat", "txt"}) {
    SCOPED_TRACE(extension);
    EXPECT_EQ(Contents(DumpPath(n, extension)), "someone else's");
    EXPECT_EQ(ModeOf(DumpPath(n, extension)), 0666u);
    struct stat status {};
    ASSERT_EQ(lstat(DumpPath(n, extension).c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, nobody);
  }
}

TEST_F(SmsStore, GetsmsReadsOneLocationWithoutTouchingTheList) {
  sim_.LoadState(FullStore());
  char number[32], text[64];
  EXPECT_EQ(getsms(1, number, sizeof number, text, sizeof text), 13);
  EXPECT_STREQ(number, "+4412345");
  EXPECT_STREQ(text, "First");
  EXPECT_EQ(getsms(2, number, sizeof number, text, sizeof text), 11);
  EXPECT_STREQ(number, "") << "stored outgoing messages keep no number";
  EXPECT_STREQ(text, "Draft");
  EXPECT_EQ(getsms(5, number, sizeof number, text, sizeof text), 12);
  EXPECT_STREQ(text, "Failed");
  EXPECT_EQ(getsms(6, number, sizeof number, text, 5), 13);
  EXPECT_EQ(Bytes(text, text + 5), (Bytes{0x00, 0x48, 0x00, 0x69, 0x00})) << "raw UCS-2 bytes";
  EXPECT_EQ(getsms(3, number, sizeof number, text, sizeof text), 4);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(getsms(10, number, sizeof number, text, sizeof text), 3);
  EXPECT_EQ(getsmsmsgcount(kReceived), 0);
}

TEST_F(SmsStore, MalformedMessageIsPassedOverAndTheScanGoesOn) {
  json store = FullStore();
  store["sms"]["messages"][0]["udl"] = 200;  // declares far more text than it carries
  sim_.LoadState(store);
  char text[16] = "x";
  EXPECT_EQ(getsms(1, nullptr, 0, text, sizeof text), 4);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(updatesmslist(), PELKOR_ERR_SMS_READ);
  EXPECT_EQ(getsmsmsgcount(kReceived), 4);
  EXPECT_EQ(Data(kReceived, 1, 1), "Second part");
}

TEST_F(SmsStore, ScanStopsAtTheFirstUnansweredRead) {
  sim_.LoadState(FullStore());
  sim_.SetSilent(true);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(updatesmslist(), PELKOR_ERR_TIMEOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 7500ms);
  sim_.SetSilent(false);
  size_t reads = 0;
  for (auto &f : sim_.Frames())
    if (!f.isAck && f.type == 0x14 && f.payload.size() > 3 && f.payload[3] == 0x07) ++reads;
  EXPECT_EQ(reads, 1u);
  EXPECT_EQ(getsmsmsgcount(kReceived), 0);
}

TEST_F(SmsStore, CountsAreCachedForAMinuteOnlyWhenAnswered) {
  sim_.LoadState(FullStore());
  sim_.Control("set /sms/refuse_counts true");
  EXPECT_EQ(getsmsmsgunread(), 0);
  EXPECT_EQ(StoreRequests(0x36), 1u);
  sim_.Control("set /sms/refuse_counts false");
  EXPECT_EQ(getsmsmsgunread(), 1) << "a refusal is not reused";
  EXPECT_EQ(getsmsmsgtotal(), 7);
  EXPECT_EQ(StoreRequests(0x36), 2u);
  EXPECT_EQ(MessagesOfType(0x14).back().bytes, (Bytes{0x00, 0x01, 0x00, 0x36, 0x64}));
  sim_.Control("set /sms/messages []");
  EXPECT_EQ(getsmsmsgtotal(), 7) << "within a minute the answer is reused";
  EXPECT_EQ(getsmsmsgunread(), 1);
  EXPECT_EQ(StoreRequests(0x36), 2u);
}

TEST_F(SmsStore, ArrivalNoticesAreCountedAndReadIntoTheList) {
  EXPECT_EQ(smsreceivedcount(), 0);
  json store = FullStore();
  store["sms"]["messages"].push_back({{"location", 9}, {"text", "Just arrived"}, {"sender", "777"}});
  sim_.LoadState(store);
  // Each notice is a frame of its own that the library acknowledges before handling it.
  auto notify = [&](std::vector<uint8_t> locations) {
    const size_t acks = sim_.AcksReceived();
    for (uint8_t location : locations)
      ASSERT_TRUE(sim_.SendMessage(0x02, {0x01, 0x08, 0x00, 0x10, 0x02, location, 0x00}));
    ASSERT_TRUE(sim_.WaitFor([&] { return sim_.AcksReceived() >= acks + locations.size(); }, 2000ms));
    std::this_thread::sleep_for(100ms);
  };

  notify({9});
  EXPECT_EQ(smsreceivedcount(), 1);
  EXPECT_EQ(getsmsmsgcount(kReceived), 1) << "the new message was read into the list";
  EXPECT_EQ(Data(kReceived, 1, 1), "Just arrived");
  EXPECT_EQ(Data(kReceived, 1, 2), "777");
  EXPECT_EQ(smsreceivedcount(), 1);
  EXPECT_EQ(StoreRequests(0x07), 1u) << "nothing queued, nothing read";

  // Ten notices: all counted, the first eight queued and read latest first.
  notify({7, 1, 1, 1, 1, 1, 1, 1, 1, 1});
  for (int i = 0; i < 10; ++i) EXPECT_EQ(smsreceivedcount(), 11);
  EXPECT_EQ(StoreRequests(0x07), 1u + 8u);
  EXPECT_EQ(getsmsmsgcount(kReceived), 9);
  EXPECT_EQ(Data(kReceived, 2, 1), "First");
  EXPECT_EQ(Data(kReceived, 9, 2), "INDOSAT") << "the oldest queued notice is read last";

  terminate();
  ASSERT_EQ(init(port_.c_str(), PELKOR_CONNECTION_CABLE), PELKOR_OK);
  EXPECT_EQ(smsreceivedcount(), 0) << "each session counts afresh";
}

}  // namespace
}  // namespace pelkor_it

namespace pelkor_it {
namespace {

// The simulator's control lines: a message delivered to the phone, a send refused.
TEST_F(SmsStore, ControlLinesDeliverAMessageAndRefuseTheNextSend) {
  EXPECT_EQ(sim_.Control("sms deliver +4915550001 Hello there, from the network"), "ok 1");
  ASSERT_TRUE(sim_.WaitFor([] { return smsreceivedcount() >= 1; }, 2000ms));
  EXPECT_EQ(Data(kReceived, 1, 1), "Hello there, from the network");
  EXPECT_EQ(Data(kReceived, 1, 2), "+4915550001");
  EXPECT_EQ(sim_.Control("sms deliver 5 second"), "ok 2");
  EXPECT_NE(sim_.Control("sms deliver").find("error"), std::string::npos);

  EXPECT_EQ(sim_.Control("sms fail-next"), "ok");
  EXPECT_EQ(sendsms("+4915550001", "refused", 1, 0xFFFF), PELKOR_ERR_SMS_SEND);
  EXPECT_EQ(sendsms("+4915550001", "accepted", 1, 0xFFFF), PELKOR_OK);
}

}  // namespace
}  // namespace pelkor_it
