// UTF-8 text through the public API against the simulated phone: messages sent in the
// GSM alphabet with its extension table or in UCS-2, as one message or concatenated
// parts, decoded by the phone; received messages of every coding and alphanumeric
// senders read back as UTF-8; phonebook names in UTF-8.
#include <string>

#include "sim_fixture.h"

namespace pelkor_it {
namespace {

using nlohmann::json;

constexpr int kReceived = 13, kOutgoing = 11;
constexpr int32_t kNoClass = 0xFFFF;

class Utf8Text : public SimulatedPhone {
 protected:
  void SetUp() override {
    SimulatedPhone::SetUp();
    ASSERT_EQ(init(port_.c_str(), PELKOR_CONNECTION_CABLE), PELKOR_OK);
  }
  json Sent() const { return sim_.State()["sms"]["sent"]; }
};

TEST_F(Utf8Text, ExtensionCharactersArriveAsTyped) {
  int32_t parts = -1;
  ASSERT_EQ(pelkor_sendsms_utf8("+4912345678", "Grüße €uro ÄÖÜ ñ {x} [a|b] ~^\\", 1, kNoClass, &parts), PELKOR_OK);
  EXPECT_EQ(parts, 1);
  const json sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["coding"], "gsm");
  EXPECT_EQ(sent[0]["text"], "Grüße €uro ÄÖÜ ñ {x} [a|b] ~^\\");
  EXPECT_EQ(sent[0]["destination"], "+4912345678");
  EXPECT_FALSE(sent[0].contains("header"));
}

TEST_F(Utf8Text, TextOutsideTheGsmAlphabetGoesAsUcs2) {
  int32_t parts = 0;
  ASSERT_EQ(pelkor_sendsms_utf8("+4912345678", "Grüße €uro ÄÖÜ ñ 日本 {x}", 1, 0, &parts), PELKOR_OK);
  EXPECT_EQ(parts, 1);
  const json sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["coding"], "ucs2");
  EXPECT_EQ(sent[0]["class"], 0);
  EXPECT_EQ(sent[0]["text"], "Grüße €uro ÄÖÜ ñ 日本 {x}");
}

TEST_F(Utf8Text, ConcatenatedUcs2MessageIsWholeInThePhone) {
  std::string text;
  for (int i = 0; i < 30; ++i) text += "Привет 日本 😀 ";  // 13 UTF-16 units each: six parts
  int32_t planned = 0, ucs2 = 0;
  ASSERT_EQ(pelkor_smsparts_utf8(text.c_str(), &planned, &ucs2), PELKOR_OK);
  EXPECT_EQ(planned, 6);
  EXPECT_EQ(ucs2, 1);
  int32_t parts = 0;
  ASSERT_EQ(pelkor_sendsms_utf8("+4912345678", text.c_str(), 1, kNoClass, &parts), PELKOR_OK);
  EXPECT_EQ(parts, 6);
  const json sent = Sent();
  ASSERT_EQ(sent.size(), 6u);
  for (size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i]["coding"], "ucs2");
    EXPECT_EQ(sent[i]["concat"]["part"], i + 1);
    EXPECT_EQ(sent[i]["concat"]["parts"], 6);
    EXPECT_EQ(sent[i]["concat"]["reference"], sent[0]["concat"]["reference"]);
    EXPECT_EQ(sent[i]["outcome"], "sent");
  }
  const json whole = sim_.State()["sms"]["concatenated"];
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_EQ(whole[0]["text"], text);
  EXPECT_EQ(whole[0]["parts"], 6);
}

TEST_F(Utf8Text, ConcatenatedSevenBitMessageKeepsItsEscapesWhole) {
  const std::string text = std::string(152, 'a') + "€" + std::string(20, 'b');
  int32_t parts = 0;
  ASSERT_EQ(pelkor_sendsms_utf8("+4912345678", text.c_str(), 1, kNoClass, &parts), PELKOR_OK);
  EXPECT_EQ(parts, 2);
  const json sent = Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0]["text"], std::string(152, 'a'));
  EXPECT_EQ(sent[1]["text"], "€" + std::string(20, 'b'));
  EXPECT_EQ(sim_.State()["sms"]["concatenated"][0]["text"], text);
}

TEST_F(Utf8Text, AFailedPartStopsTheRestAndCountsWhatWent) {
  const std::string text(200, 'z');  // two parts
  sim_.Control("sms fail-next");
  int32_t parts = -1;
  EXPECT_EQ(pelkor_sendsms_utf8("+4912345678", text.c_str(), 1, kNoClass, &parts), PELKOR_ERR_SMS_SEND);
  EXPECT_EQ(parts, 0);
  EXPECT_EQ(Sent().size(), 1u) << "the second part is not sent";
  // The part that failed can be sent on its own.
  EXPECT_EQ(pelkor_sendsmspart_utf8("+4912345678", text.c_str(), 1, kNoClass, 9, 1), PELKOR_OK);
  EXPECT_EQ(pelkor_sendsmspart_utf8("+4912345678", text.c_str(), 1, kNoClass, 9, 2), PELKOR_OK);
  EXPECT_EQ(pelkor_sendsmspart_utf8("+4912345678", text.c_str(), 1, kNoClass, 9, 3), PELKOR_ERR_REFUSED);
  EXPECT_EQ(sim_.State()["sms"]["concatenated"][0]["text"], text);
}

TEST_F(Utf8Text, MalformedTextAndBadNumbersAreRefusedUnsent) {
  int32_t parts = -1;
  EXPECT_EQ(pelkor_sendsms_utf8("+4912345678",
                                "Gr\xFC\xDF"
                                "e",
                                1, kNoClass, &parts),
            PELKOR_ERR_REFUSED);
  EXPECT_EQ(parts, 0);
  EXPECT_EQ(pelkor_sendsms_utf8("not a number", "hi", 1, kNoClass, nullptr), PELKOR_ERR_REFUSED);
  EXPECT_EQ(pelkor_sendsms_utf8(nullptr, nullptr, 1, kNoClass, nullptr), PELKOR_ERR_REFUSED);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(Utf8Text, ReceivedMessagesOfEveryCodingReadBackAsUtf8) {
  sim_.LoadState(json{
      {"sms",
       {{"capacity", 6},
        {"messages", json::array({
                         {{"location", 1}, {"coding", "ucs2"}, {"text", "Привет 日本"}, {"sender", "+79161234567"}},
                         {{"location", 2}, {"text", "Grüße aus Köln {€}"}, {"sender", "+4922112345"}},
                         {{"location", 3}, {"coding", "8bit"}, {"data", "4B F6 6C 6E"}, {"sender", "0612"}},
                         {{"location", 4}, {"text", "Promo"}, {"sender", "INDOSAT"}},
                         {{"location", 5}, {"kind", "sent"}, {"text", "[draft]"}, {"recipient", "555"}},
                         {{"location", 6},
                          {"coding", "ucs2"},
                          {"header", "05 00 03 07 02 01"},
                          {"text", "日本😀"},
                          {"sender", "+49"}},
                     })}}}});
  ASSERT_EQ(updatesmslist(), PELKOR_ERR_SMS_READ);
  ASSERT_EQ(getsmsmsgcount(kReceived), 5);
  char text[400], sender[64];
  const auto read = [&](int kind, int n) {
    EXPECT_EQ(pelkor_getsmsmsgtext_utf8(kind, n, text, sizeof text), PELKOR_OK);
    EXPECT_EQ(pelkor_getsmsmsgsender_utf8(kind, n, sender, sizeof sender), PELKOR_OK);
    return std::string(text);
  };
  EXPECT_EQ(read(kReceived, 1), "Привет 日本");
  EXPECT_STREQ(sender, "+79161234567");
  EXPECT_EQ(read(kReceived, 2), "Grüße aus Köln {€}");
  EXPECT_EQ(read(kReceived, 3), "Köln");
  EXPECT_EQ(read(kReceived, 4), "Promo");
  EXPECT_STREQ(sender, "INDOSAT");
  EXPECT_EQ(read(kReceived, 5), "日本😀") << "the header is not part of the text";
  EXPECT_EQ(read(kOutgoing, 1), "[draft]");
  EXPECT_EQ(pelkor_getsmsmsglocation(kReceived, 4), 4);
  EXPECT_EQ(pelkor_getsmsmsglocation(kOutgoing, 1), 5);
  EXPECT_EQ(pelkor_getsmsmsglocation(kOutgoing, 2), PELKOR_NOT_FOUND);
  EXPECT_EQ(pelkor_getsmsmsgtext_utf8(kOutgoing, 2, text, sizeof text), PELKOR_NOT_FOUND);
  EXPECT_STREQ(text, "");

  // The 8-bit functions keep what they always gave: Latin-1 and the raw UCS-2 bytes.
  char latin[64];
  ASSERT_EQ(getsmsmsgdata(kReceived, 2, 1, latin, sizeof latin), PELKOR_OK);
  EXPECT_EQ(std::string(latin),
            "Gr\xFC\xDF"
            "e aus K\xF6ln ?(?e?)");

  // One location read directly.
  EXPECT_EQ(pelkor_getsms_utf8(1, sender, sizeof sender, text, sizeof text), kReceived);
  EXPECT_STREQ(text, "Привет 日本");
  EXPECT_EQ(pelkor_getsms_utf8(4, sender, sizeof sender, text, sizeof text), kReceived);
  EXPECT_STREQ(sender, "INDOSAT");
  EXPECT_EQ(pelkor_getsms_utf8(5, sender, sizeof sender, text, sizeof text), kOutgoing);
  EXPECT_EQ(pelkor_getsms_utf8(7, sender, sizeof sender, text, sizeof text), 3);
  // A small buffer is cut between characters.
  char small[6];
  EXPECT_EQ(pelkor_getsms_utf8(1, nullptr, 0, small, sizeof small), kReceived);
  EXPECT_STREQ(small, "Пр");
}

TEST_F(Utf8Text, StoredMessagesReadBackAsTheyWereGiven) {
  sim_.LoadState(json{{"sms", {{"capacity", 5}, {"messages", json::array()}}}});
  const int32_t time[6] = {2026, 12, 8, 9, 15, 30};
  ASSERT_EQ(pelkor_savesms_utf8(3, kReceived, 0, "INDOSAT", "Grüße {€} Δ", time), PELKOR_OK);
  ASSERT_EQ(pelkor_savesms_utf8(1, kOutgoing, 1, "+4912345", "Привет 😀", nullptr), PELKOR_OK);
  ASSERT_EQ(pelkor_savesms_utf8(1, kReceived, 1, "0612", "replaces the draft", time), PELKOR_OK);
  const json stored = sim_.State()["sms"]["messages"];
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0]["sender"], "INDOSAT");
  EXPECT_EQ(stored[0]["text"], "Grüße {€} Δ");
  EXPECT_EQ(stored[0]["read"], false);
  EXPECT_EQ(stored[0]["time"], json::array({26, 12, 8, 9, 15, 30}));

  ASSERT_EQ(updatesmslist(), PELKOR_ERR_SMS_READ);
  ASSERT_EQ(getsmsmsgcount(kReceived), 2);
  char text[200], sender[64];
  ASSERT_EQ(pelkor_getsmsmsgtext_utf8(kReceived, 2, text, sizeof text), PELKOR_OK);
  EXPECT_STREQ(text, "Grüße {€} Δ");
  ASSERT_EQ(pelkor_getsmsmsgsender_utf8(kReceived, 2, sender, sizeof sender), PELKOR_OK);
  EXPECT_STREQ(sender, "INDOSAT");
  EXPECT_EQ(getsmssentread(kReceived, 2), 0);
  int32_t y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
  ASSERT_EQ(getsmsmsgdatetime(kReceived, 2, &y, &mo, &d, &h, &mi, &sec), PELKOR_OK);
  EXPECT_EQ((std::vector<int32_t>{y, mo, d, h, mi, sec}), (std::vector<int32_t>{26, 12, 8, 9, 15, 30}));
  ASSERT_EQ(pelkor_getsmsmsgtext_utf8(kReceived, 1, text, sizeof text), PELKOR_OK);
  EXPECT_STREQ(text, "replaces the draft");

  // What cannot be stored is refused before the phone is asked; the phone refuses a
  // location beyond its store.
  sim_.ClearRecords();
  EXPECT_EQ(pelkor_savesms_utf8(2, kReceived, 1, "1", std::string(161, 'a').c_str(), nullptr), 21);
  EXPECT_EQ(pelkor_savesms_utf8(2, 12, 1, "1", "report", nullptr), PELKOR_ERR_REFUSED);
  EXPECT_EQ(pelkor_savesms_utf8(0, kReceived, 1, "1", "zero", nullptr), PELKOR_ERR_REFUSED);
  EXPECT_EQ(pelkor_savesms_utf8(2, kReceived, 1, "a name far too long", "x", nullptr), PELKOR_ERR_REFUSED);
  EXPECT_EQ(pelkor_savesms_utf8(2, kReceived, 1, "1", "\xFF", nullptr), PELKOR_ERR_REFUSED);
  EXPECT_TRUE(MessagesOfType(0x14).empty());
  EXPECT_EQ(pelkor_savesms_utf8(9, kReceived, 1, "1", "beyond", nullptr), PELKOR_ERR_REFUSED);
  EXPECT_EQ(sim_.State()["sms"]["messages"].size(), 2u);
}

TEST_F(Utf8Text, PhonebookNamesInUtf8WhereThePhoneCanHoldThem) {
  ASSERT_EQ(pelkor_setphonebookentry_utf8(4, 0, "Jürgen Müller", "+4930123456", 1), PELKOR_OK);
  const json entry = sim_.State()["phonebook"]["memories"]["2"]["entries"]["4"];
  EXPECT_EQ(entry["name"], "Jürgen Müller") << "the phone got Latin-1, not raw UTF-8";
  char name[100], number[50];
  int32_t group = -1;
  ASSERT_EQ(pelkor_getphonebookentry_utf8(4, 0, name, sizeof name, number, sizeof number, &group), PELKOR_OK);
  EXPECT_STREQ(name, "Jürgen Müller");
  EXPECT_STREQ(number, "+4930123456");
  EXPECT_EQ(group, 1);
  // The 8-bit function sees the phone's own bytes.
  ASSERT_EQ(getphonebookentry(4, 0, name, sizeof name, number, sizeof number, &group), PELKOR_OK);
  EXPECT_STREQ(name, "J\xFCrgen M\xFCller");

  sim_.ClearRecords();
  EXPECT_EQ(pelkor_setphonebookentry_utf8(5, 0, "日本", "123", 5), PELKOR_ERR_REFUSED);
  EXPECT_EQ(pelkor_setphonebookentry_utf8(5, 0, "€", "123", 5), PELKOR_ERR_REFUSED);
  EXPECT_EQ(pelkor_setphonebookentry_utf8(5, 0, "J\xFCrgen", "123", 5), PELKOR_ERR_REFUSED);
  EXPECT_TRUE(MessagesOfType(0x03).empty()) << "nothing is sent for a name the phone cannot hold";
}

// The details a gateway stores beside the text: coding byte, class, which part of which
// concatenated message, and the read answer's own bytes.
TEST_F(Utf8Text, DetailsAndRawBytesOfReceivedMessages) {
  sim_.LoadState(json{
      {"sms",
       {{"capacity", 4},
        {"messages",
         json::array({
             {{"location", 1}, {"text", "Hi"}, {"sender", "+4912"}},
             {{"location", 2},
              {"coding", "ucs2"},
              {"header", "05 00 03 07 02 01"},
              {"text", "日本"},
              {"sender", "+4934"}},
             {{"location", 3}, {"class", 0}, {"header", "06 08 04 12 34 03 03"}, {"text", "end"}, {"sender", "+4956"}},
         })}}}});
  ASSERT_EQ(updatesmslist(), PELKOR_ERR_SMS_READ);
  ASSERT_EQ(getsmsmsgcount(kReceived), 3);
  int32_t coding = -9, klass = -9, reference = -9, part = -9, total = -9;
  ASSERT_EQ(pelkor_getsmsmsgdetails(kReceived, 1, &coding, &klass, &reference, &part, &total), PELKOR_OK);
  EXPECT_EQ(std::vector<int32_t>({coding, klass, reference, part, total}), std::vector<int32_t>({0x00, -1, 0, 0, 0}));
  ASSERT_EQ(pelkor_getsmsmsgdetails(kReceived, 2, &coding, &klass, &reference, &part, &total), PELKOR_OK);
  EXPECT_EQ(std::vector<int32_t>({coding, klass, reference, part, total}), std::vector<int32_t>({0x08, -1, 7, 1, 2}));
  ASSERT_EQ(pelkor_getsmsmsgdetails(kReceived, 3, &coding, &klass, &reference, &part, &total), PELKOR_OK);
  EXPECT_EQ(std::vector<int32_t>({coding, klass, reference, part, total}),
            std::vector<int32_t>({0x10, 0, 0x1234, 3, 3}));
  EXPECT_EQ(pelkor_getsmsmsgdetails(kReceived, 4, &coding, &klass, &reference, &part, &total), PELKOR_NOT_FOUND);
  EXPECT_EQ(std::vector<int32_t>({coding, klass, reference, part, total}), std::vector<int32_t>({0, -1, 0, 0, 0}));
  EXPECT_EQ(pelkor_getsmsmsgdetails(kReceived, 2, nullptr, nullptr, nullptr, nullptr, nullptr), PELKOR_OK);

  // The raw bytes: asked for their size first, then read; they end in the user data.
  const int32_t size = pelkor_getsmsmsgpdu(kReceived, 2, nullptr, 0);
  ASSERT_GT(size, 6 + 4);
  std::vector<uint8_t> pdu(static_cast<size_t>(size));
  uint8_t small[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(pelkor_getsmsmsgpdu(kReceived, 2, small, sizeof small), size);
  EXPECT_EQ(small[0], 0xEE) << "a buffer too small is left alone";
  ASSERT_EQ(pelkor_getsmsmsgpdu(kReceived, 2, pdu.data(), size), size);
  const std::vector<uint8_t> userData = {0x05, 0x00, 0x03, 0x07, 0x02, 0x01, 0x65, 0xE5, 0x67, 0x2C};
  ASSERT_GE(pdu.size(), userData.size());
  EXPECT_EQ(std::vector<uint8_t>(pdu.end() - static_cast<std::ptrdiff_t>(userData.size()), pdu.end()), userData);
  EXPECT_EQ(pelkor_getsmsmsgpdu(kReceived, 9, pdu.data(), size), PELKOR_NOT_FOUND);
}

}  // namespace
}  // namespace pelkor_it
