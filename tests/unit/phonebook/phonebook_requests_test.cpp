#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "phonebook/memory_types.h"
#include "phonebook/phonebook_payloads.h"

namespace pelkor {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes BytesOf(const PhonebookRequest &request) { return Bytes(request.bytes, request.bytes + request.length); }

PhonebookEntry Entry(const char *name, const char *number, int32_t group, int32_t location) {
  PhonebookEntry entry;
  SetPhonebookField(entry.name, name);
  SetPhonebookField(entry.number, number);
  entry.group = group;
  entry.location = location;
  return entry;
}

TEST(MemoryTypes, HostTypesMapOntoThePhonesCodes) {
  const std::pair<int32_t, uint8_t> table[] = {{0, 0x02},  {1, 0x03},  {2, 0x04},     {3, 0x05},        {4, 0x06},
                                               {5, 0x07},  {6, 0x08},  {7, 0x09},     {9, 0x01},        {8, 0xFF},
                                               {10, 0xFF}, {-1, 0xFF}, {0x102, 0xFF}, {INT32_MIN, 0xFF}};
  for (const auto &[type, code] : table) EXPECT_EQ(MemoryCodeFor(type), code) << "type " << type;
}

TEST(MemoryTypes, SpeedDialsReportThePhonesMemoryAsZeroAndAnyOtherAsOne) {
  EXPECT_EQ(SpeedDialMemoryFor(0x02), 0);
  EXPECT_EQ(SpeedDialMemoryFor(0x03), 1);
  EXPECT_EQ(SpeedDialMemoryFor(0x01), 1);
  EXPECT_EQ(SpeedDialMemoryFor(0x00), 1);
}

TEST(PhonebookRequests, ReadsAndSpeedDialsCarryTheirFixedLayout) {
  EXPECT_EQ(BytesOf(MemoryStatusRequest(0x03)), (Bytes{0x00, 0x01, 0x00, 0x07, 0x03}));
  EXPECT_EQ(BytesOf(EntryReadRequest(0x02, 17)), (Bytes{0x00, 0x01, 0x00, 0x01, 0x02, 17, 0x00}));
  EXPECT_EQ(BytesOf(SpeedDialReadRequest(9)), (Bytes{0x00, 0x01, 0x00, 0x16, 9}));
  EXPECT_EQ(BytesOf(SpeedDialWriteRequest(4, 0x03, 200)), (Bytes{0x00, 0x01, 0x00, 0x19, 4, 0x03, 200}));
}

TEST(PhonebookRequests, OnlyValuesOfOneByteAreEncodable) {
  EXPECT_TRUE(FitsInOneByte(0));
  EXPECT_TRUE(FitsInOneByte(255));
  EXPECT_FALSE(FitsInOneByte(256));
  EXPECT_FALSE(FitsInOneByte(-1));
}

TEST(PhonebookRequests, AnEntryWriteCarriesLengthsTextsAndGroup) {
  const Bytes expected = {0x00, 0x01, 0x00, 0x04, 0x03, 12, 3, 'A', 'n', 'n', 4, '1', '2', '3', '4', 0x02};
  EXPECT_EQ(BytesOf(EntryWriteRequest(0x03, Entry("Ann", "1234", 2, 12))), expected);
}

TEST(PhonebookRequests, GroupFiveMeansNoGroupToThePhone) {
  EXPECT_EQ(BytesOf(EntryWriteRequest(0x02, Entry("A", "1", 5, 1))).back(), 0xFF);
  EXPECT_EQ(BytesOf(EntryWriteRequest(0x02, Entry("A", "1", 0, 1))).back(), 0x00);
  EXPECT_EQ(BytesOf(EntryWriteRequest(0x02, Entry("A", "1", 0x104, 1))).back(), 0x04);
}

TEST(PhonebookRequests, EmptyAndMissingTextsGoOutAsZeroLengths) {
  const Bytes expected = {0x00, 0x01, 0x00, 0x04, 0x02, 1, 0, 0, 0x01};
  EXPECT_EQ(BytesOf(EntryWriteRequest(0x02, Entry(nullptr, "", 1, 1))), expected);
}

TEST(PhonebookRequests, LongTextsAreCutToFortyCharacters) {
  const std::string name(60, 'n');
  const std::string number(45, '7');
  const Bytes bytes = BytesOf(EntryWriteRequest(0x02, Entry(name.c_str(), number.c_str(), 0, 1)));
  ASSERT_EQ(bytes.size(), 4u + 2 + 1 + 40 + 1 + 40 + 1);
  EXPECT_EQ(bytes[6], 40);
  EXPECT_EQ(std::string(bytes.begin() + 7, bytes.begin() + 47), name.substr(0, 40));
  EXPECT_EQ(bytes[47], 40);
  EXPECT_EQ(std::string(bytes.begin() + 48, bytes.begin() + 88), number.substr(0, 40));
}

TEST(PhonebookRequests, AnUnterminatedFieldStillGivesABoundedRequest) {
  PhonebookEntry entry;
  std::fill(std::begin(entry.name), std::end(entry.name), 'x');
  std::fill(std::begin(entry.number), std::end(entry.number), '9');
  const Bytes bytes = BytesOf(EntryWriteRequest(0x02, entry));
  EXPECT_EQ(bytes[6], 40);
  EXPECT_EQ(bytes[47], 40);
  EXPECT_EQ(bytes.size(), 89u);
}

}  // namespace
}  // namespace pelkor
