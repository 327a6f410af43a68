// Requests that other FBUS clients send, answered straight from the handler table: the
// byte positions their decoders read, and the state each answer comes from.
#include <gtest/gtest.h>

#include <string>

#include "dispatch.h"
#include "link_layer.h"
#include "phone_state.h"

namespace {

using Bytes = std::vector<uint8_t>;

class PeerRequests : public ::testing::Test {
 protected:
  PeerRequests() : table_(phonesim::MakeHandlerTable()), state_(table_.Defaults()) {}

  // The answers to one request, each as (type, bytes).
  std::vector<phonesim::OutgoingMessage> Ask(uint8_t type, const Bytes &bytes) {
    phonesim::Replies replies;
    const phonesim::Handler *handler = table_.Find(type, bytes);
    if (handler != nullptr) (*handler)(phonesim::Request{0x1E, type, bytes}, state_, replies);
    return replies.Messages();
  }
  // The one answer to a request.
  Bytes One(uint8_t type, const Bytes &bytes, uint8_t replyType) {
    const auto answers = Ask(type, bytes);
    EXPECT_EQ(answers.size(), 1u);
    if (answers.size() != 1) return {};
    EXPECT_EQ(answers[0].type, replyType);
    return answers[0].bytes;
  }
  static std::string Text(const Bytes &bytes, size_t from) {
    std::string text;
    for (size_t i = from; i < bytes.size() && bytes[i] != 0; ++i) text.push_back(static_cast<char>(bytes[i]));
    return text;
  }

  phonesim::HandlerTable table_;
  phonesim::PhoneState state_;
};

TEST(PeerLink, AnyFirstFrameBitStartsAMessage) {
  phonesim::LinkLayer link;
  // 0x60: first frame (0x40) with 0x20 set as well, the way one client numbers its first.
  const auto event = link.OnFrame({0x1E, 0x40, {0x00, 0x01, 0x64, 0x01, 0x01, 0x60}});
  ASSERT_TRUE(event.message);
  EXPECT_EQ(event.message->bytes, (Bytes{0x00, 0x01, 0x64, 0x01}));
  EXPECT_EQ(event.ackSequence, 0x00);
  // Without the bit it is a continuation of nothing: acknowledged and dropped.
  EXPECT_FALSE(link.OnFrame({0x1E, 0x40, {0x00, 0x01, 0x64, 0x01, 0x01, 0x21}}).message);
}

TEST_F(PeerRequests, ExtendedCommandsResetsAndDiallingAreAnswered) {
  EXPECT_EQ(One(0x40, {0x00, 0x01, 0x64, 0x01}, 0x40), (Bytes{0x01, 0x00, 0x64, 0x01, 0x00, 0x00}));
  EXPECT_EQ(One(0x40, {0x00, 0x01, 0x64, 0x03}, 0x40), (Bytes{0x01, 0x00, 0x64, 0x03, 0x00, 0x00}));
  EXPECT_EQ(state_.Json()["resets"], nlohmann::json::array({"soft"}));

  const Bytes dial = {0x00, 0x01, 0x7C, 0x01, '+', '4', '9', '1', 0x00};
  const Bytes answer = One(0x40, dial, 0x40);
  ASSERT_GE(answer.size(), 4u);
  EXPECT_EQ(Bytes(answer.begin() + 2, answer.begin() + 4), (Bytes{0x7C, 0x01}));
  EXPECT_EQ(state_.Json()["calls"]["dialled"], nlohmann::json::array({"+491"}));
  EXPECT_NE(state_.Json()["calls"]["active_id"], 0);
}

TEST_F(PeerRequests, PhoneTextsComeFromTheState) {
  state_.Load({{"identity",
                {{"software", "V 9.99"},
                 {"date", "01-01-00"},
                 {"model", "NSE-9"},
                 {"ppm", "X"},
                 {"product_code", "0501111"},
                 {"original_imei", "111"},
                 {"made", "03/00"},
                 {"msid", "A1B2"}}}});
  const Bytes versions = One(0x40, {0x00, 0x01, 0xC8, 0x01}, 0x40);
  EXPECT_EQ(Bytes(versions.begin(), versions.begin() + 5), (Bytes{0x01, 0x00, 0xC8, 0x01, 0x00}));
  EXPECT_EQ(Text(versions, 5), "V 9.99\n01-01-00\nNSE-9\n");
  EXPECT_EQ(Text(One(0x40, {0x00, 0x01, 0xC8, 0x12}, 0x40), 5), "X");
  EXPECT_EQ(Text(One(0x40, {0x00, 0x01, 0xCA, 0x01}, 0x40), 5), "0501111");
  EXPECT_EQ(Text(One(0x40, {0x00, 0x01, 0xCC, 0x01}, 0x40), 5), "111");
  EXPECT_EQ(Text(One(0x40, {0x00, 0x01, 0xCC, 0x02}, 0x40), 5), "03/00");
  // A text the phone does not know gets no answer at all.
  EXPECT_TRUE(Ask(0x40, {0x00, 0x01, 0xC8, 0x77}).empty());
  // The memory block is answered on B5 after the two address bytes.
  EXPECT_EQ(One(0x40, {0x00, 0x01, 0xB4, 0x00, 0xB4}, 0x40), (Bytes{0x01, 0x00, 0xB5, 0x00, 0xB4, 0xA1, 0xB2}));

  // The start-up record: product code between the model and the hardware.
  const Bytes record = One(0x64, {0x00, 0x01, 0x00, 0x10}, 0x64);
  EXPECT_EQ(Text(record, 25), "NSE-9");
  EXPECT_EQ(Text(record, 31), "0501111");
  EXPECT_EQ(Text(record, 44), "V 9.99");
}

TEST_F(PeerRequests, SimLocksAreLaidOutInThePhonesOrder) {
  state_.Load({{"security",
                {{"simlocks",
                  {{{"data", "26201"}, {"closed", true}, {"user", false}, {"counter", 3}},
                   {{"data", "12AB"}, {"closed", false}, {"user", true}, {"counter", 4}},
                   {{"data", "CDEF"}, {"closed", true}, {"user", true}, {"counter", 5}},
                   {{"data", "1234567890"}, {"closed", false}, {"user", false}, {"counter", 6}}}}}}});
  const Bytes r = One(0x40, {0x00, 0x01, 0x8A, 0x00}, 0x40);
  ASSERT_EQ(r.size(), 25u);
  EXPECT_EQ(r[5], 0x04 | 0x08);  // user set: GID1 (bit 2), GID2 (bit 3)
  EXPECT_EQ(r[6], 0x01 | 0x08);  // closed: network (bit 0), GID2 (bit 3)
  // Network digits from the high nibble of byte 9, the MSIN from the low nibble of 11.
  EXPECT_EQ(Bytes(r.begin() + 9, r.begin() + 17), (Bytes{0x26, 0x20, 0x11, 0x23, 0x45, 0x67, 0x89, 0x00}));
  EXPECT_EQ(Bytes(r.begin() + 17, r.begin() + 21), (Bytes{0x12, 0xAB, 0xCD, 0xEF}));
  EXPECT_EQ(Bytes(r.begin() + 21, r.end()), (Bytes{3, 6, 4, 5}));  // network, MSIN, GID1, GID2

  EXPECT_EQ(One(0x08, {0x00, 0x01, 0x00, 0x07}, 0x08), (Bytes{0x01, 0x00, 0x00, 0x08, 0x06}));
}

TEST_F(PeerRequests, StartUpQueriesOfTheSmsAndKeypadFamilies) {
  EXPECT_EQ(One(0x02, {0x00, 0x01, 0x00, 0x0D, 0x00, 0x00, 0x02}, 0x02), (Bytes{0x01, 0x08, 0x00, 0x0E}));
  EXPECT_EQ(One(0x02, {0x00, 0x01, 0x00, 0x20, 0x02}, 0x02), (Bytes{0x01, 0x08, 0x00, 0x21, 0x01}));
  const Bytes keys = One(0x0C, {0x00, 0x01, 0x00, 0x40, 0x01}, 0x0C);
  ASSERT_GE(keys.size(), 4u);
  EXPECT_EQ(Bytes(keys.begin(), keys.begin() + 4), (Bytes{0x01, 0x00, 0x00, 0x41}));
  EXPECT_EQ(std::count(keys.begin() + 4, keys.end(), 0x00), 13);
  EXPECT_EQ(Text(keys, 4), state_.Json()["keypad"]["keys"][0].get<std::string>());
  EXPECT_EQ(keys.back(), 0x00);

  state_.Load({{"profiles", {{"2", {{"33", {7, 8, 9, 10}}}}}}});
  EXPECT_EQ(One(0x05, {0x00, 0x01, 0x00, 0x13, 0x01, 0x02, 0x21}, 0x05),
            (Bytes{0x01, 0x00, 0x00, 0x14, 0x01, 0x02, 0x21, 0x04, 7, 8, 9, 10, 0x01}));
  // A setting the state does not hold reads as zeros.
  EXPECT_EQ(One(0x05, {0x00, 0x01, 0x00, 0x13, 0x01, 0x00, 0x05}, 0x05),
            (Bytes{0x01, 0x00, 0x00, 0x14, 0x01, 0x00, 0x05, 0x04, 0, 0, 0, 0, 0x01}));
}

TEST_F(PeerRequests, MessageCentreReplyHasThePhonesLayout) {
  state_.Load({{"sms", {{"centres", {{{"number", "+491710760000"}, {"name", "Telekom"}}}}}}});
  const Bytes r = One(0x02, {0x00, 0x01, 0x00, 0x33, 0x64, 0x01}, 0x02);
  ASSERT_GE(r.size(), 41u);
  EXPECT_EQ(r[3], 0x34);
  EXPECT_EQ(r[4], 0x01);
  EXPECT_EQ(r[8], 0xA9);                                             // validity: 3 days
  EXPECT_EQ(Bytes(r.begin() + 9, r.begin() + 21), Bytes(12, 0x00));  // no default recipient
  EXPECT_EQ(Bytes(r.begin() + 21, r.begin() + 28), (Bytes{0x07, 0x91, 0x94, 0x71, 0x01, 0x67, 0x00}));
  EXPECT_EQ(Text(r, 33), "Telekom");
}

TEST_F(PeerRequests, SmsStoreAnswersEitherTypeAndCountsTheSize) {
  state_.Load({{"sms",
                {{"capacity", 12},
                 {"centres", {{{"number", "+491710760000"}}}},
                 {"messages", {{{"location", 2}, {"text", "hi"}, {"sender", "+4912"}, {"read", false}}}}}}});
  // The read may come on type 0x02; it is answered on 0x14. A message without a centre
  // of its own names centre 1.
  const Bytes read = One(0x02, {0x00, 0x01, 0x00, 0x07, 0x02, 0x02, 0x01, 0x64}, 0x14);
  ASSERT_GE(read.size(), 12u);
  EXPECT_EQ(read[3], 0x08);
  EXPECT_EQ(read[5], 0x02);
  EXPECT_EQ(Bytes(read.begin() + 8, read.begin() + 12), (Bytes{0x07, 0x91, 0x94, 0x71}));

  const Bytes counts = One(0x14, {0x00, 0x01, 0x00, 0x36, 0x64}, 0x14);
  ASSERT_EQ(counts.size(), 12u);
  EXPECT_EQ(counts[7], 12);  // the store's size
  EXPECT_EQ(counts[10], 1);  // held
  EXPECT_EQ(counts[11], 1);  // unread

  // Deleting an empty location succeeds; only a location past the store is an error.
  EXPECT_EQ(One(0x14, {0x00, 0x01, 0x00, 0x0A, 0x02, 0x05}, 0x14), (Bytes{0x01, 0x08, 0x00, 0x0B}));
  EXPECT_EQ(One(0x14, {0x00, 0x01, 0x00, 0x0A, 0x02, 0x02}, 0x14), (Bytes{0x01, 0x08, 0x00, 0x0B}));
  EXPECT_TRUE(state_.Json()["sms"]["messages"].empty());
  EXPECT_EQ(One(0x14, {0x00, 0x01, 0x00, 0x0A, 0x02, 13}, 0x14), (Bytes{0x01, 0x08, 0x00, 0x0C, 0x02}));
}

TEST_F(PeerRequests, NetworkPhonebookAndLogoLayouts) {
  Bytes net = One(0x0A, {0x00, 0x01, 0x00, 0x70}, 0x0A);
  ASSERT_EQ(net.size(), 18u);
  EXPECT_EQ(net[7], 9);
  EXPECT_EQ(net[17], 0);  // no name
  state_.Json()["network"]["send_name"] = true;
  state_.Json()["network"]["name"] = "Ab";
  net = One(0x0A, {0x00, 0x01, 0x00, 0x70}, 0x0A);
  EXPECT_EQ(Bytes(net.begin() + 17, net.end()), (Bytes{2, 0x00, 'A', 0x00, 'b'}));

  // Phonebook entries: byte 4 is 0, then name and number with their lengths.
  const Bytes entry = One(0x03, {0x00, 0x01, 0x00, 0x01, 0x03, 0x01, 0x00}, 0x03);
  ASSERT_GE(entry.size(), 7u);
  EXPECT_EQ(entry[4], 0x00);
  EXPECT_EQ(std::string(entry.begin() + 6, entry.begin() + 6 + entry[5]), "Carol (SIM)");
  // A memory of the family this phone lacks is 0x7D; a code that is no memory, 0x8D.
  EXPECT_EQ(One(0x03, {0x00, 0x01, 0x00, 0x07, 0x08}, 0x03), (Bytes{0x01, 0x00, 0x00, 0x09, 0x7D}));
  EXPECT_EQ(One(0x03, {0x00, 0x01, 0x00, 0x07, 0xFF}, 0x03), (Bytes{0x01, 0x00, 0x00, 0x09, 0x8D}));

  // Operator logo: location at 4, network code at 5-7, size at 8-9, width 11, height 12.
  const Bytes op = One(0x05, {0x00, 0x01, 0x00, 0x33, 0x01}, 0x05);
  ASSERT_GE(op.size(), 14u);
  EXPECT_EQ(op[4], 0x01);
  EXPECT_EQ(Bytes(op.begin() + 5, op.begin() + 8), (Bytes{0x62, 0xF2, 0x10}));
  EXPECT_EQ(op[8] << 8 | op[9], 72 * 14 / 8 + 4);
  EXPECT_EQ(op[11], 72);
  EXPECT_EQ(op[12], 14);
  EXPECT_EQ(op.size(), 14u + 72 * 14 / 8);
}

TEST_F(PeerRequests, StoredRingtoneIsSentInThePhonesBinaryLayout) {
  state_.Load({{"ringtone", {{"stored", {{{"location", 2}, {"name", "Ab"}, {"tone", "02 FC 09 07 0B"}}}}}}});
  // Location 2 is asked for as 01: the request counts from 0.
  EXPECT_EQ(One(0x40, {0x00, 0x01, 0x9E, 0x01}, 0x40), (Bytes{0x01, 0x00, 0x9E, 0x01, 0x00, 0x0C, 0x01, 0x2C, 'A', 'b',
                                                              0x00, 0x00, 0x02, 0xFC, 0x09, 0x07, 0x0B, 0x00, 0x00}));
  // No tone there: status 01 after the location.
  EXPECT_EQ(One(0x40, {0x00, 0x01, 0x9E, 0x00}, 0x40), (Bytes{0x01, 0x00, 0x9E, 0x00, 0x01}));
  // A hand-edited state with the wrong types answers the same, and does not bring the handler down.
  state_.Load({{"ringtone", {{"stored", {{{"location", "2"}}, 7, {{"location", 2}, {"tone", 5}}}}}}});
  EXPECT_EQ(One(0x40, {0x00, 0x01, 0x9E, 0x01}, 0x40), (Bytes{0x01, 0x00, 0x9E, 0x01, 0x01}));
  state_.Load({{"ringtone", "none"}});
  EXPECT_EQ(One(0x40, {0x00, 0x01, 0x9E, 0x01}, 0x40), (Bytes{0x01, 0x00, 0x9E, 0x01, 0x01}));
}

}  // namespace
