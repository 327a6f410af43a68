// Phonebook entries and speed dials through the public API against the simulated phone.
#include <cstring>
#include <string>
#include <thread>

#include "sim_fixture.h"

namespace pelkor_it {
namespace {

const Bytes kStatusOfSim = {0x00, 0x01, 0x00, 0x07, 0x03};
const Bytes kStatusOfPhone = {0x00, 0x01, 0x00, 0x07, 0x02};

Bytes EntryRequest(uint8_t memory, uint8_t location) { return {0x00, 0x01, 0x00, 0x01, memory, location, 0x00}; }

class Phonebook : public SimulatedPhone {
 protected:
  void SetUp() override {
    SimulatedPhone::SetUp();
    OpenSettled();
  }

  // The phonebook requests the phone received, in order.
  std::vector<Bytes> Requests() const {
    std::vector<Bytes> out;
    for (auto &m : MessagesOfType(0x03)) out.push_back(m.bytes);
    return out;
  }
  size_t CountOf(uint8_t command) const {
    size_t n = 0;
    for (auto &r : Requests()) n += r.size() > 3 && r[3] == command;
    return n;
  }

  void Fail(const std::string &request, const nlohmann::json &value) {
    sim_.LoadState({{"phonebook", {{"fail", {{request, value}}}}}});
  }
  nlohmann::json Entry(int memoryCode, int location) const {
    return sim_.State()["phonebook"]["memories"][std::to_string(memoryCode)]["entries"][std::to_string(location)];
  }

  // Reads past the 200 ms reuse window.
  static void LetCacheExpire() { std::this_thread::sleep_for(260ms); }

  char name_[64] = {};
  char number_[64] = {};
  int32_t group_ = -7;
};

TEST_F(Phonebook, FirstReadOfAMemoryAsksItsSizeThenTheEntry) {
  ASSERT_EQ(getphonebookentry(1, 1, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  EXPECT_STREQ(name_, "Carol (SIM)");
  EXPECT_STREQ(number_, "+441632960003");
  EXPECT_EQ(group_, 1);
  EXPECT_EQ(Requests(), (std::vector<Bytes>{kStatusOfSim, EntryRequest(0x03, 1)}));

  // The same memory again: no new size query. Another memory: its size first.
  LetCacheExpire();
  sim_.ClearRecords();
  ASSERT_EQ(getphonebookentry(1, 1, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  ASSERT_EQ(getphonebookentry(2, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  ASSERT_EQ(getphonebookentry(1, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  EXPECT_STREQ(name_, "Alice Archer");
  EXPECT_EQ(Requests(),
            (std::vector<Bytes>{EntryRequest(0x03, 1), kStatusOfPhone, EntryRequest(0x02, 2), EntryRequest(0x02, 1)}));
}

TEST_F(Phonebook, EveryNewSessionAsksTheMemorySizeAgain) {
  ASSERT_EQ(getphonebookentry(1, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  ASSERT_EQ(terminate(), PELKOR_OK);
  ASSERT_EQ(init(port_.c_str(), PELKOR_CONNECTION_CABLE), PELKOR_OK);
  sim_.ClearRecords();
  ASSERT_EQ(getphonebookentry(1, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  EXPECT_EQ(Requests(), (std::vector<Bytes>{kStatusOfPhone, EntryRequest(0x02, 1)}));
}

TEST_F(Phonebook, LocationsBeyondTheMemoryAreRefusedWithoutAsking) {
  // 3 used + 97 free in the phone's memory.
  ASSERT_EQ(getphonebookentry(101, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_ERR_REFUSED);
  EXPECT_EQ(Requests(), (std::vector<Bytes>{kStatusOfPhone}));
  EXPECT_STREQ(name_, "");
  EXPECT_EQ(group_, 0);

  // The last location is asked for; it is empty.
  ASSERT_EQ(getphonebookentry(100, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  EXPECT_EQ(Requests().back(), EntryRequest(0x02, 100));
  EXPECT_STREQ(name_, "");
  EXPECT_STREQ(number_, "");

  // Locations that do not fit their byte would wrap onto another entry.
  sim_.ClearRecords();
  EXPECT_EQ(getphonebookentry(257, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_ERR_REFUSED);
  EXPECT_EQ(getphonebookentry(-1, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_ERR_REFUSED);
  EXPECT_EQ(setphonebookentry(257, 0, "Wrapped", "1", 0), PELKOR_ERR_REFUSED);
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(Requests().empty());
  EXPECT_TRUE(Entry(2, 1)["name"] == "Alice Archer");
}

TEST_F(Phonebook, ReadsAreReusedFor200MsForTheSameEntryOnly) {
  ASSERT_EQ(getphonebookentry(2, 0, name_, sizeof name_, nullptr, 0, nullptr), PELKOR_OK);
  ASSERT_EQ(getphonebookentry(2, 0, nullptr, 0, number_, sizeof number_, nullptr), PELKOR_OK);
  ASSERT_EQ(getphonebookentry(2, 0, nullptr, 0, nullptr, 0, &group_), PELKOR_OK);
  EXPECT_STREQ(name_, "Bob Baker");
  EXPECT_STREQ(number_, "01632960002");
  EXPECT_EQ(group_, 2);
  EXPECT_EQ(CountOf(0x01), 1u);

  ASSERT_EQ(getphonebookentry(1, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  EXPECT_EQ(CountOf(0x01), 2u);
  ASSERT_EQ(getphonebookentry(1, 1, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  EXPECT_EQ(CountOf(0x01), 3u);
  LetCacheExpire();
  ASSERT_EQ(getphonebookentry(2, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  EXPECT_EQ(CountOf(0x01), 4u);

  // A failed read is never reused: the next call asks again and sees the entry.
  LetCacheExpire();
  Fail("read", 0x7D);
  EXPECT_EQ(getphonebookentry(1, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_ERR_PHONEBOOK_READ);
  EXPECT_STREQ(name_, "");
  EXPECT_EQ(getphonebookentry(1, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  EXPECT_STREQ(name_, "Alice Archer");
  EXPECT_EQ(CountOf(0x01), 6u);
}

TEST_F(Phonebook, AnEntryWithoutANameIsNamedByItsNumber) {
  ASSERT_EQ(getphonebookentry(3, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  EXPECT_STREQ(name_, "5550100");
  EXPECT_STREQ(number_, "5550100");
  EXPECT_EQ(group_, 255);
}

TEST_F(Phonebook, OverlongFieldsFromThePhoneAreCutToTheirFieldAndTheCallersBuffer) {
  const std::string longName(70, 'L');
  const std::string longNumber(50, '4');
  sim_.LoadState(
      {{"phonebook",
        {{"memories", {{"2", {{"entries", {{"9", {{"name", longName}, {"number", longNumber}, {"group", 3}}}}}}}}}}}});
  ASSERT_EQ(getphonebookentry(9, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  EXPECT_EQ(std::string(name_), longName.substr(0, 40));
  EXPECT_EQ(std::string(number_), longNumber.substr(0, 40));
  EXPECT_EQ(group_, 3);

  char small[5];
  std::memset(small, 'x', sizeof small);
  ASSERT_EQ(getphonebookentry(9, 0, small, sizeof small, nullptr, 0, nullptr), PELKOR_OK);
  EXPECT_STREQ(small, "LLLL");
}

TEST_F(Phonebook, WritesReachThePhoneAndAreReadBack) {
  const std::string longName(50, 'D');
  ASSERT_EQ(setphonebookentry(7, 0, longName.c_str(), "0123", 5), PELKOR_OK);
  ASSERT_EQ(setphonebookentry(8, 1, "Eve", nullptr, 2), PELKOR_OK);
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 2u);
  Bytes first = {0x00, 0x01, 0x00, 0x04, 0x02, 7, 40};
  first.insert(first.end(), 40, 'D');
  first.insert(first.end(), {4, '0', '1', '2', '3', 0xFF});
  EXPECT_EQ(requests[0], first);
  EXPECT_EQ(requests[1], (Bytes{0x00, 0x01, 0x00, 0x04, 0x03, 8, 3, 'E', 'v', 'e', 0, 0x02}));
  EXPECT_EQ(Entry(2, 7)["name"], longName.substr(0, 40));
  EXPECT_EQ(Entry(2, 7)["group"], 255);
  EXPECT_EQ(Entry(3, 8)["number"], "");

  ASSERT_EQ(getphonebookentry(8, 1, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  EXPECT_STREQ(name_, "Eve");
  EXPECT_EQ(group_, 2);
}

TEST_F(Phonebook, SpeedDialsMapMemoryCodesAndAreReusedBriefly) {
  int32_t memory = -5, location = -5;
  ASSERT_EQ(getspeeddial(3, &memory, &location), PELKOR_OK);
  EXPECT_EQ(memory, 1);  // the SIM
  EXPECT_EQ(location, 1);
  ASSERT_EQ(getspeeddial(3, &memory, &location), PELKOR_OK);
  EXPECT_EQ(CountOf(0x16), 1u);
  ASSERT_EQ(getspeeddial(2, &memory, &location), PELKOR_OK);
  EXPECT_EQ(memory, 0);  // the phone's own memory
  EXPECT_EQ(location, 1);
  EXPECT_EQ(CountOf(0x16), 2u);
  EXPECT_EQ(getspeeddial(2, nullptr, nullptr), PELKOR_OK);

  ASSERT_EQ(setspeeddial(4, 1, 7), PELKOR_OK);
  EXPECT_EQ(Requests().back(), (Bytes{0x00, 0x01, 0x00, 0x19, 4, 0x03, 7}));
  LetCacheExpire();
  ASSERT_EQ(getspeeddial(4, &memory, &location), PELKOR_OK);
  EXPECT_EQ(memory, 1);
  EXPECT_EQ(location, 7);

  // Memory type 8 has no code of its own: 0xFF, which the phone refuses.
  EXPECT_EQ(setspeeddial(5, 8, 1), PELKOR_ERR_SPEED_DIAL);
  EXPECT_EQ(Requests().back(), (Bytes{0x00, 0x01, 0x00, 0x19, 5, 0xFF, 1}));
  EXPECT_EQ(setspeeddial(256, 0, 1), PELKOR_ERR_REFUSED);
  EXPECT_EQ(setspeeddial(2, 0, 300), PELKOR_ERR_REFUSED);
  EXPECT_EQ(Requests().back()[4], 5);
}

TEST_F(Phonebook, SpeedDialErrorsReportNoMemory) {
  int32_t memory = -5, location = -5;
  Fail("speed_dial_read", 1);
  EXPECT_EQ(getspeeddial(2, &memory, &location), PELKOR_ERR_SPEED_DIAL);
  EXPECT_EQ(memory, 255);
  EXPECT_EQ(location, 0);
  // Not reused: asked again at once.
  EXPECT_EQ(getspeeddial(2, &memory, &location), PELKOR_OK);
  EXPECT_EQ(memory, 0);
  EXPECT_EQ(CountOf(0x16), 2u);
  Fail("speed_dial_write", 1);
  EXPECT_EQ(setspeeddial(6, 0, 3), PELKOR_ERR_SPEED_DIAL);
}

TEST_F(Phonebook, MemoryStatusErrorsEndTheReadWithTheirCodes) {
  Fail("memory_status", 0x7D);
  EXPECT_EQ(getphonebookentry(1, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_ERR_REFUSED);
  Fail("memory_status", 0x8D);
  EXPECT_EQ(getphonebookentry(1, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_ERR_MEMORY_STATUS);
  EXPECT_EQ(CountOf(0x01), 0u);
  // Memory type 8 goes out as 0xFF, a memory this phone does not have.
  EXPECT_EQ(getphonebookentry(1, 8, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_ERR_MEMORY_STATUS);
  EXPECT_EQ(Requests().back(), (Bytes{0x00, 0x01, 0x00, 0x07, 0xFF}));

  // 0x6F counts as no answer: the entry is asked for all the same.
  Fail("memory_status", 0x6F);
  EXPECT_EQ(getphonebookentry(1, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  EXPECT_STREQ(name_, "Alice Archer");
  // A size never learnt is asked again rather than judged from stale counts.
  LetCacheExpire();
  EXPECT_EQ(getphonebookentry(2, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  EXPECT_EQ(CountOf(0x07), 5u);
  EXPECT_EQ(CountOf(0x01), 2u);
}

TEST_F(Phonebook, EntryErrorsAndSilenceGiveTheirCodes) {
  Fail("read", 0x12);
  EXPECT_EQ(getphonebookentry(1, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_ERR_REFUSED);
  Fail("write", 0x7D);
  EXPECT_EQ(setphonebookentry(1, 0, "X", "1", 0), PELKOR_ERR_PHONEBOOK_WRITE);
  Fail("write", 0x8D);
  EXPECT_EQ(setphonebookentry(1, 0, "X", "1", 0), PELKOR_ERR_REFUSED);
  EXPECT_EQ(Entry(2, 1)["name"], "Alice Archer");
  EXPECT_EQ(setphonebookentry(101, 0, "X", "1", 0), PELKOR_ERR_PHONEBOOK_WRITE);

  Fail("read", "silent");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(getphonebookentry(2, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_ERR_TIMEOUT);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 450ms);
  EXPECT_LT(took, 3s);
  EXPECT_STREQ(name_, "");
  EXPECT_EQ(group_, 0);
  // A reply after the time-out changes nothing the caller sees; the next read asks anew.
  ASSERT_TRUE(sim_.SendMessage(0x03, {0x01, 0x00, 0x00, 0x02, 0x02, 4, 'L', 'a', 't', 'e', 1, '9', 0x01}));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(getphonebookentry(2, 0, name_, sizeof name_, number_, sizeof number_, &group_), PELKOR_OK);
  EXPECT_STREQ(name_, "Bob Baker");
}

}  // namespace
}  // namespace pelkor_it
