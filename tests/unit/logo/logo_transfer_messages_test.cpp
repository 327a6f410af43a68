// Logo transfer bytes without a phone: the requests built from a record, the phone's
// replies read into a record (hostile lengths included), the logo SMS user data, and
// the reply handlers as the dispatcher calls them.
#include <cstring>
#include <string>

#include "link/reply_dispatch.h"
#include "logo/logo_messages.h"
#include "logo/logo_transfer.h"
#include "logo_test_support.h"

namespace {

using logo_test::Bytes;
using pelkor::LogoBitmap;
using pelkor::LogoRequest;

LogoBitmap logoOfKind(pelkor::LogoKind kind) {
  LogoBitmap logo{};
  pelkor::SetLogoKind(logo, kind);
  for (std::size_t i = 0; i < pelkor::kLogoBitmapCapacity; ++i) logo.bitmap[i] = static_cast<uint8_t>(i * 7 + 1);
  return logo;
}

Bytes requestBytes(const LogoRequest &request) { return Bytes(request.bytes, request.bytes + request.length); }

Bytes upload(const LogoBitmap &logo, uint8_t expected_type) {
  LogoRequest request{};
  pelkor::BuildUploadRequest(logo, request);
  EXPECT_EQ(request.type, expected_type);
  return requestBytes(request);
}

Bytes head(const Bytes &bytes, std::size_t count) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(count, bytes.size())));
}

bool tailIsBitmap(const Bytes &bytes, const LogoBitmap &logo, std::size_t size) {
  return bytes.size() >= size && std::memcmp(bytes.data() + bytes.size() - size, logo.bitmap, size) == 0;
}

pelkor::ReplyMessage message(const Bytes &bytes, uint8_t type = 0x05) {
  return pelkor::ReplyMessage{type, bytes.data(), bytes.size()};
}

TEST(LogoNetworkCode, PacksDigitsLowNibbleFirst) {
  struct Case {
    const char *code;
    Bytes packed;
  };
  for (const Case &c : {Case{"244 05", {0x42, 0xF4, 0x50}}, Case{"262 01", {0x62, 0xF2, 0x10}},
                        Case{"", {0x00, 0xF0, 0x00}}, Case{"99", {0x99, 0xF0, 0x00}}}) {
    SCOPED_TRACE(c.code);
    LogoBitmap logo{};
    pelkor::SetLogoNetworkCode(logo, c.code);
    uint8_t packed[3];
    pelkor::PackNetworkCode(logo.networkCode, packed);
    EXPECT_EQ(Bytes(packed, packed + 3), c.packed);
  }
}

TEST(LogoUploadRequest, StartupLogoIsOneBlockOfTheWholeBitmap) {
  const LogoBitmap logo = logoOfKind(pelkor::kLogoStartup);
  const Bytes bytes = upload(logo, 0x05);
  ASSERT_EQ(bytes.size(), 512u);
  EXPECT_EQ(head(bytes, 8), (Bytes{0x00, 0x01, 0x00, 0x18, 0x01, 0x01, 48, 84}));
  EXPECT_TRUE(tailIsBitmap(bytes, logo, 504));
}

TEST(LogoUploadRequest, StartupTextGoesWhenThereIsNoBitmap) {
  LogoBitmap logo{};
  logo.kind = pelkor::kLogoStartup;
  EXPECT_EQ(upload(logo, 0x05), (Bytes{0x00, 0x01, 0x00, 0x18, 0x01, 0x02, 0x00}));

  pelkor::SetLogoGroupName(logo, std::string(300, 'w').c_str());
  const Bytes long_text = upload(logo, 0x05);
  ASSERT_EQ(long_text.size(), 7u + 255u);
  EXPECT_EQ(long_text[6], 255);
  EXPECT_EQ(long_text.back(), 'w');
}

TEST(LogoUploadRequest, OperatorLogoCarriesNetworkCodeAndLengthWithHeader) {
  LogoBitmap logo = logoOfKind(pelkor::kLogoOperator);
  pelkor::SetLogoNetworkCode(logo, "244 05");
  const Bytes bytes = upload(logo, 0x05);
  ASSERT_EQ(bytes.size(), 14u + 126u);
  EXPECT_EQ(head(bytes, 14), (Bytes{0x00, 0x01, 0x00, 0x30, 0x00, 0x42, 0xF4, 0x50, 0x00, 0x82, 0x00, 72, 14, 0x01}));
  EXPECT_TRUE(tailIsBitmap(bytes, logo, 126));
}

TEST(LogoUploadRequest, CallerGroupCarriesNameRingtoneAndBitmap) {
  LogoBitmap logo = logoOfKind(pelkor::kLogoCaller);
  pelkor::SetLogoGroupName(logo, "Family");
  logo.groupNumber = 2;
  logo.ringtoneId = 0x11;
  const Bytes bytes = upload(logo, 0x03);
  ASSERT_EQ(bytes.size(), 6u + 6u + 8u + 126u);
  EXPECT_EQ(head(bytes, 20), (Bytes{0x00, 0x01, 0x00, 0x13, 0x02, 0x06, 'F',  'a', 'm', 'i',
                                    'l',  'y',  0x11, 0x01, 0x00, 0x82, 0x00, 72,  14,  0x01}));
  EXPECT_TRUE(tailIsBitmap(bytes, logo, 126));
}

TEST(LogoUploadRequest, NothingForOtherKindsAndNeverMoreThanTheBitmapHolds) {
  LogoRequest request{};
  request.length = 99;
  for (pelkor::LogoKind kind : {0, 4, -1}) {
    LogoBitmap logo = logoOfKind(pelkor::kLogoOperator);
    logo.kind = kind;
    pelkor::BuildUploadRequest(logo, request);
    EXPECT_EQ(request.length, 0u) << kind;
  }
  // A size field beyond the bitmap (a corrupted record) sends the bitmap only.
  LogoBitmap oversized = logoOfKind(pelkor::kLogoCaller);
  oversized.size = 0xFFFF;
  std::memset(oversized.groupName, 'n', sizeof oversized.groupName);  // no terminator
  const Bytes bytes = upload(oversized, 0x03);
  EXPECT_EQ(bytes.size(), 6u + 255u + 8u + 504u);
  EXPECT_EQ(bytes[5], 255);
  EXPECT_EQ(bytes[6 + 255 + 2], (504 + 4) >> 8);
  EXPECT_EQ(bytes[6 + 255 + 3], (504 + 4) & 0xFF);
}

TEST(LogoDownloadRequest, OnePerKind) {
  LogoRequest request{};
  pelkor::BuildDownloadRequest(pelkor::kLogoStartup, 9, request);
  EXPECT_EQ(request.type, 0x05);
  EXPECT_EQ(requestBytes(request), (Bytes{0x00, 0x01, 0x00, 0x16}));
  pelkor::BuildDownloadRequest(pelkor::kLogoOperator, 9, request);
  EXPECT_EQ(request.type, 0x05);
  EXPECT_EQ(requestBytes(request), (Bytes{0x00, 0x01, 0x00, 0x33, 0x00}));
  pelkor::BuildDownloadRequest(pelkor::kLogoCaller, 9, request);
  EXPECT_EQ(request.type, 0x03);
  EXPECT_EQ(requestBytes(request), (Bytes{0x00, 0x01, 0x00, 0x10, 0x09}));
  pelkor::BuildDownloadRequest(5, 9, request);
  EXPECT_EQ(request.length, 0u);
}

TEST(LogoReplies, StartupBlocksGiveBitmapAndText) {
  Bytes reply = {0x01, 0x00, 0x00, 0x17, 0x03, 0x01, 48, 84};
  for (int i = 0; i < 504; ++i) reply.push_back(static_cast<uint8_t>(i));
  for (uint8_t byte : Bytes{0x02, 0x05, 'H', 'e', 'l', 'l', 'o', 0x03, 0xEE}) reply.push_back(byte);
  LogoBitmap logo{};
  pelkor::ReadStartupReply(message(reply), logo);
  EXPECT_EQ(logo.height, 48);
  EXPECT_EQ(logo.width, 84);
  EXPECT_EQ(logo.size, 504);
  EXPECT_EQ(logo.bitmap[0], 0);
  EXPECT_EQ(logo.bitmap[503], static_cast<uint8_t>(503));
  EXPECT_STREQ(logo.groupName, "Hello");  // the length byte is not part of the text

  // Blocks in the other order: the text first, the logo after it.
  Bytes reordered = {0x01, 0x00, 0x00, 0x17, 0x02, 0x02, 0x02, 'H', 'i', 0x01, 8, 16, 0xAB, 0xCD};
  LogoBitmap second{};
  pelkor::ReadStartupReply(message(reordered), second);
  EXPECT_STREQ(second.groupName, "Hi");
  EXPECT_EQ(second.size, 16u);
  EXPECT_EQ(second.bitmap[0], 0xAB);
  EXPECT_EQ(second.bitmap[1], 0xCD);
  EXPECT_EQ(second.bitmap[2], 0x00);  // announced, not carried
}

TEST(LogoReplies, StartupLengthsAreBoundedByTheRecord) {
  // 255 blocks announced, a 255-character text, then a 255 x 255 logo (8128 bytes)
  // of which 600 arrive: the record keeps 504 bytes and the walk ends with the message.
  Bytes reply = {0x01, 0x00, 0x00, 0x17, 0xFF, 0x02, 0xFF};
  reply.insert(reply.end(), 255, 't');
  for (uint8_t byte : Bytes{0x01, 0xFF, 0xFF}) reply.push_back(byte);
  reply.insert(reply.end(), 600, 0x5A);
  LogoBitmap logo{};
  std::memset(&logo, 0x77, sizeof logo);
  pelkor::ReadStartupReply(message(reply), logo);
  EXPECT_EQ(std::strlen(logo.groupName), 255u);
  EXPECT_EQ(logo.width, 255);
  EXPECT_EQ(logo.height, 255);
  EXPECT_EQ(logo.size, 504);
  EXPECT_EQ(logo.bitmap[503], 0x5A);
  EXPECT_EQ(logo.groupNumber, 0x77) << "nothing past the bitmap was written";

  // Announced blocks that the message does not carry store nothing.
  LogoBitmap empty{};
  pelkor::ReadStartupReply(message(Bytes{0x01, 0x00, 0x00, 0x17, 0xFF}), empty);
  EXPECT_EQ(empty.size, 0);
  EXPECT_STREQ(empty.groupName, "");
}

TEST(LogoReplies, OperatorSizeIsCutToGeometryAndCapacity) {
  Bytes reply = {0x01, 0x00, 0x00, 0x34, 0x42, 0xF4, 0x50, 0x00, 0x00, 0x82, 0x00, 72, 14, 0x01};
  for (int i = 0; i < 130; ++i) reply.push_back(static_cast<uint8_t>(i + 1));
  LogoBitmap logo{};
  pelkor::SetLogoNetworkCode(logo, "");
  pelkor::ReadOperatorReply(message(reply), logo);
  EXPECT_EQ(logo.size, 126);  // 130 declared with the 4-byte header
  EXPECT_EQ(logo.width, 72);
  EXPECT_EQ(logo.height, 14);
  EXPECT_EQ(logo.bitmap[0], 1);
  EXPECT_EQ(logo.bitmap[125], 126);
  EXPECT_EQ(logo.bitmap[126], 0);
  EXPECT_STREQ(logo.networkCode, "");  // bytes 4-7 are not taken

  Bytes huge = {0x01, 0x00, 0x00, 0x34, 0, 0, 0, 0, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0x01, 0x11};
  pelkor::ReadOperatorReply(message(huge), logo);
  EXPECT_EQ(logo.size, 504);
  EXPECT_EQ(logo.bitmap[0], 0x11);
  EXPECT_EQ(logo.bitmap[503], 0x00);  // past the end of the message reads as 0
}

TEST(LogoReplies, CallerGroupGivesNameRingtoneAndBitmap) {
  Bytes reply = {0x01, 0x00, 0x00, 0x11, 0x02, 0x05, 'F', 'r', 'i', 'e',
                 'n',  0x17, 0x01, 0x00, 0x82, 0x00, 72,  14,  0x01};
  for (int i = 0; i < 130; ++i) reply.push_back(static_cast<uint8_t>(0x80 + i));
  LogoBitmap logo{};
  logo.groupNumber = 4;
  pelkor::ReadCallerGroupReply(message(reply, 0x03), logo);
  EXPECT_STREQ(logo.groupName, "Frien");
  EXPECT_EQ(logo.ringtoneId, 0x17);
  EXPECT_EQ(logo.size, 126);
  EXPECT_EQ(logo.bitmap[0], 0x80);
  EXPECT_EQ(logo.bitmap[125], static_cast<uint8_t>(0x80 + 125));
  EXPECT_EQ(logo.groupNumber, 4);  // not read from the reply

  // A 255-character name in a message that ends inside it.
  Bytes cut = {0x01, 0x00, 0x00, 0x11, 0x02, 0xFF, 'a', 'b'};
  pelkor::ReadCallerGroupReply(message(cut, 0x03), logo);
  EXPECT_STREQ(logo.groupName, "ab");
  EXPECT_EQ(logo.size, 0);
}

TEST(LogoSmsData, OperatorAndCallerLayouts) {
  uint8_t data[pelkor::kLogoSmsDataCapacity];
  LogoBitmap caller = logoOfKind(pelkor::kLogoCaller);
  ASSERT_EQ(pelkor::BuildLogoSmsData(caller, data), 130u);
  EXPECT_EQ(Bytes(data, data + 4), (Bytes{0x00, 72, 14, 0x01}));
  EXPECT_EQ(std::memcmp(data + 4, caller.bitmap, 126), 0);

  LogoBitmap op = logoOfKind(pelkor::kLogoOperator);
  pelkor::SetLogoNetworkCode(op, "244 05");
  ASSERT_EQ(pelkor::BuildLogoSmsData(op, data), 133u);
  EXPECT_EQ(Bytes(data, data + 7), (Bytes{0x42, 0xF4, 0x50, 0x00, 72, 14, 0x01}));

  op.size = 0xFFFF;  // never more than the bitmap
  EXPECT_EQ(pelkor::BuildLogoSmsData(op, data), pelkor::kLogoSmsDataCapacity);
  LogoBitmap startup = logoOfKind(pelkor::kLogoStartup);
  EXPECT_EQ(pelkor::BuildLogoSmsData(startup, data), 0u);
}

// The routed handlers: a download reply fills only an attached record; error replies
// end a waiting transfer whether or not a record is attached.
TEST(LogoReplyHandlers, DownloadRepliesNeedATarget) {
  auto &status = pelkor::LogoTransfers().downloadCell;
  const Bytes reply = {0x01, 0x00, 0x00, 0x34, 0, 0, 0, 0, 0x00, 0x06, 0x00, 8, 2, 0x01, 0xAA, 0xBB};

  status.Arm();
  pelkor::DispatchReply(message(reply));
  EXPECT_EQ(status.Value(), pelkor::kPending) << "a reply without a waiting download is ignored";

  LogoBitmap logo{};
  pelkor::LogoTransfers().downloadTarget.Attach(&logo);
  pelkor::DispatchReply(message(reply));
  pelkor::LogoTransfers().downloadTarget.Detach();
  EXPECT_EQ(status.Value(), pelkor::kResultOk);
  EXPECT_EQ(logo.size, 2);
  EXPECT_EQ(logo.bitmap[1], 0xBB);

  for (const auto &[type, command] : {std::pair<uint8_t, uint8_t>{0x05, 0x35}, {0x03, 0x12}}) {
    status.Arm();
    pelkor::DispatchReply(message(Bytes{0x01, 0x00, 0x00, command}, type));
    EXPECT_EQ(status.Value(), pelkor::kResultLogoError) << int{command};
  }
}

TEST(LogoReplyHandlers, UploadVerdicts) {
  auto &status = pelkor::LogoTransfers().uploadCell;
  struct Case {
    uint8_t type, command;
    int32_t result;
  };
  for (const Case c :
       {Case{0x05, 0x19, 0}, Case{0x05, 0x31, 0}, Case{0x05, 0x32, 24}, Case{0x03, 0x14, 0}, Case{0x03, 0x15, 24}}) {
    status.Arm();
    pelkor::DispatchReply(message(Bytes{0x01, 0x00, 0x00, c.command}, c.type));
    EXPECT_EQ(status.Value(), c.result) << int{c.type} << "/" << int{c.command};
  }
}

}  // namespace
