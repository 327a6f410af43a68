#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "phonebook/phonebook_payloads.h"
#include "phonebook/phonebook_replies.h"
#include "phonebook/phonebook_session.h"
#include "transaction/transaction.h"

namespace pelkor {
namespace {

using Bytes = std::vector<uint8_t>;

ReplyMessage Reply(const Bytes &bytes) { return ReplyMessage{0x03, bytes.data(), bytes.size()}; }

Bytes EntryReply(const std::string &name, const std::string &number, uint8_t group) {
  Bytes bytes = {0x01, 0x00, 0x00, 0x02, 0x02, static_cast<uint8_t>(name.size())};
  bytes.insert(bytes.end(), name.begin(), name.end());
  bytes.push_back(static_cast<uint8_t>(number.size()));
  bytes.insert(bytes.end(), number.begin(), number.end());
  bytes.push_back(group);
  return bytes;
}

TEST(EntryReply, NameNumberAndGroupAreRead) {
  PhonebookEntry entry;
  ASSERT_TRUE(ParseEntryReply(Reply(EntryReply("Ann", "+4412", 3)), entry));
  EXPECT_STREQ(entry.name, "Ann");
  EXPECT_STREQ(entry.number, "+4412");
  EXPECT_EQ(entry.group, 3);
}

TEST(EntryReply, AnEmptyNameTakesTheNumber) {
  PhonebookEntry entry;
  ASSERT_TRUE(ParseEntryReply(Reply(EntryReply("", "112", 0xFF)), entry));
  EXPECT_STREQ(entry.name, "112");
  EXPECT_STREQ(entry.number, "112");
  EXPECT_EQ(entry.group, 0xFF);
}

TEST(EntryReply, OverlongFieldsAreCutButTheLayoutFollowsThePhonesLengths) {
  const std::string name(200, 'N');
  const std::string number(41, '5');
  PhonebookEntry entry;
  ASSERT_TRUE(ParseEntryReply(Reply(EntryReply(name, number, 4)), entry));
  EXPECT_EQ(std::string(entry.name), name.substr(0, 40));
  EXPECT_EQ(std::string(entry.number), number.substr(0, 40));
  EXPECT_EQ(entry.group, 4);
}

TEST(EntryReply, AZeroByteEndsAField) {
  PhonebookEntry entry;
  ASSERT_TRUE(ParseEntryReply(Reply(EntryReply(std::string("Al\0ce", 5), "12", 1)), entry));
  EXPECT_STREQ(entry.name, "Al");
  EXPECT_STREQ(entry.number, "12");
  EXPECT_EQ(entry.group, 1);
}

TEST(EntryReply, RepliesEndingBeforeTheGroupAreRejectedUntouched) {
  const Bytes whole = EntryReply("Ann", "123", 2);
  PhonebookEntry entry;
  SetPhonebookField(entry.name, "kept");
  // Every cut of the reply, and length bytes that promise far more than was sent.
  for (size_t length = 0; length < whole.size(); ++length) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(length));
    EXPECT_FALSE(ParseEntryReply(Reply(cut), entry)) << "length " << length;
  }
  Bytes lying = whole;
  lying[5] = 0xFF;
  EXPECT_FALSE(ParseEntryReply(Reply(lying), entry));
  EXPECT_STREQ(entry.name, "kept");
}

TEST(ShortReplies, MemoryStatusAndSpeedDialNeedTheirBytes) {
  MemoryCounts counts;
  EXPECT_FALSE(ParseMemoryStatusReply(Reply({0x01, 0x00, 0x00, 0x08, 0x02, 60}), counts));
  ASSERT_TRUE(ParseMemoryStatusReply(Reply({0x01, 0x00, 0x00, 0x08, 0x02, 60, 40}), counts));
  EXPECT_EQ(counts.free, 60);
  EXPECT_EQ(counts.used, 40);

  SpeedDial dial;
  EXPECT_FALSE(ParseSpeedDialReply(Reply({0x01, 0x00, 0x00, 0x17, 0x03}), dial));
  ASSERT_TRUE(ParseSpeedDialReply(Reply({0x01, 0x00, 0x00, 0x17, 0x03, 9}), dial));
  EXPECT_EQ(dial.memoryCode, 0x03);
  EXPECT_EQ(dial.location, 9);
}

TEST(ErrorReplies, CodesFollowTheErrorByte) {
  EXPECT_EQ(MemoryStatusErrorResult(0x6F), 4);
  EXPECT_EQ(MemoryStatusErrorResult(0x7D), 22);
  EXPECT_EQ(MemoryStatusErrorResult(0x8D), 6);
  EXPECT_EQ(MemoryStatusErrorResult(0x00), kPending);
  EXPECT_EQ(EntryReadErrorResult(0x7D), 10);
  EXPECT_EQ(EntryReadErrorResult(0x8D), 22);
  EXPECT_EQ(EntryWriteErrorResult(0x7D), 15);
  EXPECT_EQ(EntryWriteErrorResult(0x6F), 22);
}

// The handlers through the routing table: data go only into an attached record.
class PhonebookHandlers : public ::testing::Test {
 protected:
  void Dispatch(const Bytes &bytes) { DispatchReply(Reply(bytes)); }
  PhonebookSession &pb = Phonebook();
};

TEST_F(PhonebookHandlers, AnEntryReplyWithoutAWaitingReadChangesNothing) {
  pb.entryCell.Arm();
  Dispatch(EntryReply("Late", "999", 1));
  EXPECT_EQ(pb.entryCell.Value(), kPending);

  PhonebookEntry record;
  pb.entryTarget.Attach(&record);
  Dispatch(EntryReply("Ann", "123", 1));
  pb.entryTarget.Detach();
  EXPECT_EQ(pb.entryCell.Value(), kResultOk);
  EXPECT_STREQ(record.name, "Ann");
  EXPECT_EQ(record.group, 1);

  Dispatch(EntryReply("Later", "000", 2));
  EXPECT_STREQ(record.name, "Ann");
}

TEST_F(PhonebookHandlers, AMalformedEntryReplyLeavesTheReadPending) {
  PhonebookEntry record;
  pb.entryTarget.Attach(&record);
  pb.entryCell.Arm();
  Dispatch({0x01, 0x00, 0x00, 0x02, 0x02, 40, 'A'});
  pb.entryTarget.Detach();
  EXPECT_EQ(pb.entryCell.Value(), kPending);
  EXPECT_STREQ(record.name, "");
}

TEST_F(PhonebookHandlers, ErrorRepliesEndTheirFamilysCommand) {
  const std::pair<Bytes, int32_t> entryCases[] = {{{0x01, 0x00, 0x00, 0x03, 0x7D}, 10},
                                                  {{0x01, 0x00, 0x00, 0x03}, 22},
                                                  {{0x01, 0x00, 0x00, 0x06, 0x7D}, 15},
                                                  {{0x01, 0x00, 0x00, 0x06, 0x01}, 22},
                                                  {{0x01, 0x00, 0x00, 0x05}, 0}};
  for (const auto &[bytes, result] : entryCases) {
    pb.entryCell.Arm();
    Dispatch(bytes);
    EXPECT_EQ(pb.entryCell.Value(), result) << "command " << int(bytes[3]);
  }
  for (const uint8_t command : {0x18, 0x1B}) {
    pb.speedDialCell.Arm();
    Dispatch({0x01, 0x00, 0x00, command});
    EXPECT_EQ(pb.speedDialCell.Value(), 11);
  }
  pb.speedDialCell.Arm();
  Dispatch({0x01, 0x00, 0x00, 0x1A});
  EXPECT_EQ(pb.speedDialCell.Value(), 0);

  pb.memoryStatusCell.Arm();
  Dispatch({0x01, 0x00, 0x00, 0x09, 0x55});
  EXPECT_EQ(pb.memoryStatusCell.Value(), kPending);
  Dispatch({0x01, 0x00, 0x00, 0x09, 0x8D});
  EXPECT_EQ(pb.memoryStatusCell.Value(), 6);
}

TEST_F(PhonebookHandlers, MemoryCountsAndSpeedDialsFillOnlyAttachedRecords) {
  MemoryCounts counts;
  pb.memoryStatusCell.Arm();
  Dispatch({0x01, 0x00, 0x00, 0x08, 0x02, 60, 40});
  EXPECT_EQ(pb.memoryStatusCell.Value(), kPending);
  pb.memoryCountsTarget.Attach(&counts);
  Dispatch({0x01, 0x00, 0x00, 0x08, 0x02, 60, 40});
  pb.memoryCountsTarget.Detach();
  EXPECT_EQ(pb.memoryStatusCell.Value(), 0);
  EXPECT_EQ(counts.used + counts.free, 100);

  SpeedDial dial;
  dial.key = 7;
  pb.speedDialTarget.Attach(&dial);
  pb.speedDialCell.Arm();
  Dispatch({0x01, 0x00, 0x00, 0x17, 0x03, 12});
  pb.speedDialTarget.Detach();
  EXPECT_EQ(pb.speedDialCell.Value(), 0);
  EXPECT_EQ(dial.key, 7);
  EXPECT_EQ(dial.memoryCode, 0x03);
  EXPECT_EQ(dial.location, 12);
}

}  // namespace
}  // namespace pelkor
