// Sending SMS through the public API; the simulated phone decodes every submitted
// message, so these tests check what a phone would have understood.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "sim_fixture.h"

namespace pelkor_it {
namespace {

using nlohmann::json;

class SmsSend : public SimulatedPhone {
 protected:
  void SetUp() override {
    SimulatedPhone::SetUp();
    ASSERT_EQ(init(port_.c_str(), PELKOR_CONNECTION_CABLE), PELKOR_OK);
    setsmsmessagecenter(0, "+4477001122");
  }

  json Sent() const { return sim_.State()["sms"]["sent"]; }

  // Requests of type 0x02 with the given command byte.
  size_t RequestsWithCommand(uint8_t command) const {
    size_t n = 0;
    for (auto &m : MessagesOfType(0x02))
      if (m.bytes.size() > 3 && m.bytes[3] == command) ++n;
    return n;
  }

  std::string WriteFile(const std::string &name, const Bytes &bytes) {
    const std::string path =
        std::filesystem::temp_directory_path() / ("pelkor-sms-" + std::to_string(::getpid()) + "-" + name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    files_.push_back(path);
    return path;
  }
  void TearDown() override {
    for (auto &f : files_) std::remove(f.c_str());
    SimulatedPhone::TearDown();
  }
  std::vector<std::string> files_;
};

TEST_F(SmsSend, ShortTextArrivesWithClassCentreAndValidity) {
  ASSERT_EQ(sendsms("+1234567", "Hello world", 0, 1), PELKOR_OK);
  const json sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["outcome"], "sent");
  EXPECT_EQ(sent[0]["destination"], "+1234567");
  EXPECT_EQ(sent[0]["centre"], "+4477001122");
  EXPECT_EQ(sent[0]["text"], "Hello world");
  EXPECT_EQ(sent[0]["coding"], "gsm");
  EXPECT_EQ(sent[0]["class"], 1);
  EXPECT_EQ(sent[0]["first_octet"], 0x11);
  EXPECT_EQ(sent[0]["status_report"], false);
  EXPECT_EQ(sent[0]["validity_minutes"], 4320);
  EXPECT_FALSE(sent[0].contains("header"));
  EXPECT_EQ(RequestsWithCommand(0x33), 0u) << "a centre given by number needs no query";

  // Status report asked for, no class; accented Latin-1 text goes through the alphabet.
  ASSERT_EQ(sendsms("0612",
                    "caf\xE9 \xA3"
                    "5",
                    0, 0x10004),
            PELKOR_OK);
  const json second = Sent()[1];
  EXPECT_EQ(second["status_report"], true);
  EXPECT_EQ(second["first_octet"], 0x31);
  EXPECT_TRUE(second["class"].is_null());
  EXPECT_EQ(second["dcs"], 0x00);
  EXPECT_EQ(second["text"], "café £5");
  EXPECT_EQ(second["destination"], "0612");
}

TEST_F(SmsSend, LongTextsGoAsConcatenatedParts) {
  std::string text;
  for (int i = 0; i < 161; ++i) text += static_cast<char>('a' + i % 26);
  ASSERT_EQ(sendsms("123", text.c_str(), 0, 1), PELKOR_OK);
  json sent = Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0]["concat"]["parts"], 2);
  EXPECT_EQ(sent[0]["concat"]["part"], 1);
  EXPECT_EQ(sent[1]["concat"]["part"], 2);
  EXPECT_EQ(sent[0]["header"], "05 00 03 01 02 01");
  EXPECT_EQ(sent[0]["first_octet"], 0x51);
  EXPECT_EQ(sent[0]["udl"], 160);
  EXPECT_EQ(sent[1]["udl"], 15);
  EXPECT_EQ(sent[0]["text"].get<std::string>() + sent[1]["text"].get<std::string>(), text);
  EXPECT_EQ(sent[0]["text"].get<std::string>().size(), 153u);

  const std::string exactly(306, 'x');
  ASSERT_EQ(sendsms("123", exactly.c_str(), 0, 1), PELKOR_OK);
  sent = Sent();
  ASSERT_EQ(sent.size(), 4u) << "306 characters are exactly two parts";
  EXPECT_EQ(sent[3]["concat"]["parts"], 2);
  EXPECT_EQ(sent[3]["text"].get<std::string>(), std::string(153, 'x'));

  const std::string single(160, 'y');
  ASSERT_EQ(sendsms("123", single.c_str(), 0, 1), PELKOR_OK);
  EXPECT_FALSE(Sent()[4].contains("header")) << "160 characters fit one message";
}

TEST_F(SmsSend, MessageCentreByIndexIsAskedOnceAndKept) {
  ASSERT_EQ(setsmsmessagecenter(2, "ignored"), PELKOR_OK);
  char centre[40] = "junk";
  EXPECT_EQ(getsmsmessagecenter(centre, sizeof centre), 2);
  EXPECT_STREQ(centre, "+358405202999");
  ASSERT_EQ(RequestsWithCommand(0x33), 1u);
  const auto queries = MessagesOfType(0x02);
  EXPECT_EQ(queries.back().bytes, (Bytes{0x00, 0x01, 0x00, 0x33, 0x64, 0x02}));

  EXPECT_EQ(getsmsmessagecenter(centre, 5), 2);
  EXPECT_STREQ(centre, "+358") << "cut to the buffer";
  ASSERT_EQ(sendsms("123", "via centre 2", 2, 0), PELKOR_OK);
  EXPECT_EQ(Sent()[0]["centre"], "+358405202999");
  EXPECT_EQ(RequestsWithCommand(0x33), 1u) << "the fetched number stays in use";

  // A set the phone does not have: the query is refused and nothing is sent.
  setsmsmessagecenter(7, nullptr);
  EXPECT_EQ(sendsms("123", "nowhere", 7, 0), PELKOR_ERR_REFUSED);
  EXPECT_EQ(Sent().size(), 1u);
  EXPECT_EQ(getsmsmessagecenter(centre, sizeof centre), 7);
  EXPECT_STREQ(centre, "");

  // Only the first session of the process prepares the send record.
  terminate();
  ASSERT_EQ(init(port_.c_str(), PELKOR_CONNECTION_CABLE), PELKOR_OK);
  EXPECT_EQ(getsmsmessagecenter(nullptr, 0), 7);
}

TEST_F(SmsSend, Ucs2FromAFileKeepsItsClass) {
  const std::string hi = WriteFile("hi.txt", {0xFE, 0xFF, 0x00, 0x48, 0x00, 0x69});
  ASSERT_EQ(senducs2("+4915", hi.c_str(), 0, 0), PELKOR_OK);
  json sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["coding"], "ucs2");
  EXPECT_EQ(sent[0]["data"], "00 48 00 69");
  EXPECT_EQ(sent[0]["text"], "Hi");
  EXPECT_EQ(sent[0]["reference"], 0xFF);
  EXPECT_EQ(sent[0]["dcs"], 0x18);
  EXPECT_EQ(sent[0]["udl"], 4);

  ASSERT_EQ(senducs2("+4915", hi.c_str(), 0, 2), PELKOR_OK);
  EXPECT_EQ(Sent()[1]["class"], 2);
  ASSERT_EQ(senducs2("+4915", hi.c_str(), 0, 9), PELKOR_OK);
  EXPECT_TRUE(Sent()[2]["class"].is_null());

  EXPECT_EQ(senducs2("+4915", "/nonexistent/pelkor.txt", 0, 0), PELKOR_ERR_REFUSED);
  Bytes big = {0xFE, 0xFF};
  for (int i = 0; i < 71; ++i) big.insert(big.end(), {0x00, 0x41});  // 142 octets
  EXPECT_EQ(senducs2("+4915", WriteFile("big.txt", big).c_str(), 0, 0), PELKOR_ERR_REFUSED);
  Bytes noZeros = {0xFE, 0xFF};
  noZeros.insert(noZeros.end(), 170, 0x41);
  EXPECT_EQ(senducs2("+4915", WriteFile("long.txt", noZeros).c_str(), 0, 0), PELKOR_ERR_TEXT_TOO_LONG);
  EXPECT_EQ(Sent().size(), 3u) << "refused messages never reach the phone";
}

TEST_F(SmsSend, Ucs2SourceWithoutACharacterIsRefused) {
  // A folder opens but cannot be read; a mark alone, or a mark and half a character,
  // holds nothing to send. None of them may go out as an empty message.
  const std::string mark = WriteFile("mark.txt", {0xFE, 0xFF});
  const std::string half = WriteFile("half.txt", {0xFE, 0xFF, 0x00});
  const std::string single = WriteFile("single.txt", {0xFE});
  const std::string empty = WriteFile("empty.txt", {});
  const std::string folder = mark.substr(0, mark.rfind('/'));
  for (const std::string &source : {folder, mark, half, single, empty})
    EXPECT_EQ(senducs2("+4915", source.c_str(), 0, 0), PELKOR_ERR_REFUSED) << source;
  EXPECT_TRUE(Sent().empty());
}

TEST_F(SmsSend, RefusalsAndFailures) {
  for (const char *bad : {"12ab", "+44 20", "123456789012345678901", "#31#"})
    EXPECT_EQ(sendsms(bad, "hi", 0, 0), PELKOR_ERR_REFUSED) << bad;
  setsmsmessagecenter(0, "centre");
  EXPECT_EQ(sendsms("123", "hi", 0, 0), PELKOR_ERR_REFUSED);
  EXPECT_EQ(Sent().size(), 0u);
  EXPECT_EQ(RequestsWithCommand(0x01), 0u);

  setsmsmessagecenter(0, "+4477001122");
  sim_.Control("set /sms/fail_next_send true");
  EXPECT_EQ(sendsms("123", "refused", 0, 0), PELKOR_ERR_SMS_SEND);
  EXPECT_EQ(sendsms("123", "accepted", 0, 0), PELKOR_OK);
  const json sent = Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0]["outcome"], "refused");
  EXPECT_EQ(sent[1]["outcome"], "sent");

  // A refused first part stops a long text: the second part is never sent.
  sim_.Control("set /sms/fail_next_send true");
  EXPECT_EQ(sendsms("123", std::string(200, 'z').c_str(), 0, 0), PELKOR_ERR_SMS_SEND);
  EXPECT_EQ(Sent().size(), 3u);
}

TEST_F(SmsSend, NoVerdictIsATimeOut) {
  sim_.Control("set /sms/ignore_next_send true");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(sendsms("123", "into the void", 0, 0), PELKOR_ERR_TIMEOUT);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 6500ms);
  EXPECT_LT(took, 9000ms);
  EXPECT_EQ(Sent()[0]["outcome"], "ignored");
}

}  // namespace
}  // namespace pelkor_it
