// The phone services' reply decoders and request payloads, without a phone: replies
// are handed to the dispatcher as the watch thread would, requests are captured.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "../support/fake_port.h"
#include "link/reply_dispatch.h"
#include "services/calls.h"
#include "services/clock_alarm.h"
#include "services/network.h"
#include "services/phone_status.h"

namespace pelkor::testing {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

void Deliver(uint8_t type, const Bytes &bytes) { DispatchReply(ReplyMessage{type, bytes.data(), bytes.size()}); }

// Delivers `reply` as soon as the command under test has written its request (a frame
// more than the port held when the responder was made).
class Responder {
 public:
  Responder(FakePort &port, uint8_t type, Bytes reply)
      : thread_([&port, type, reply, before = port.Writes().size()] {
          for (int i = 0; i < 2000 && port.Writes().size() <= before; ++i) std::this_thread::sleep_for(1ms);
          Deliver(type, reply);
        }) {}
  ~Responder() { thread_.join(); }

 private:
  std::thread thread_;
};

// The message bytes of the i-th frame written (header, trailer and checksums removed).
Bytes Request(FakePort &port, size_t i) {
  auto writes = port.Writes();
  if (i >= writes.size()) return {};
  const Bytes &f = writes[i];
  return Bytes(f.begin() + 6, f.begin() + 6 + f[5] - 2);
}

class ServiceReplies : public LinkTest {};

TEST_F(ServiceReplies, DateAndTimeAreReadFromBytesEightToFourteen) {
  Responder phone(
      port, 0x11,
      {0x01, 0x00, 0x00, 0x63, 0x01, 0x01, 0x07, 0x00, 0x07, 0xD1, 0x03, 0x0F, 0x0C, 0x1E, 0x2D, 0x01, 0x40});
  int32_t y, mo, d, h, mi, s;
  ASSERT_EQ(GetDateTime(&y, &mo, &d, &h, &mi, &s), 0);
  EXPECT_EQ((std::vector<int32_t>{y, mo, d, h, mi, s}), (std::vector<int32_t>{2001, 3, 15, 12, 30, 45}));
  EXPECT_EQ(Request(port, 0), (Bytes{0x00, 0x01, 0x00, 0x62}));
}

TEST_F(ServiceReplies, SettingPayloadsAndRefusals) {
  {
    Responder phone(port, 0x11, {0x01, 0x00, 0x00, 0x61, 0x02});
    EXPECT_EQ(SetDateTime(2001, 3, 15, 12, 30), 13);
  }
  EXPECT_EQ(Request(port, 0),
            (Bytes{0x00, 0x01, 0x00, 0x60, 0x01, 0x01, 0x07, 0x07, 0xD1, 0x03, 0x0F, 0x0C, 0x1E, 0x00}));
  port.writes.clear();
  {
    Responder phone(port, 0x11, {0x01, 0x00, 0x00, 0x6C, 0x01});
    EXPECT_EQ(SetAlarm(7, 30), 0);
  }
  EXPECT_EQ(Request(port, 0), (Bytes{0x00, 0x01, 0x00, 0x6B, 0x01, 0x20, 0x03, 0x02, 0x07, 0x1E, 0x00}));
}

TEST_F(ServiceReplies, AlarmSwitchedOffStillReportsItsTime) {
  Responder phone(port, 0x11, {0x01, 0x00, 0x00, 0x6E, 0x01, 0x20, 0x03, 0x00, 0x01, 0x06, 0x2D});
  int32_t on = -1, h = -1, m = -1;
  ASSERT_EQ(GetAlarm(&on, &h, &m), 0);
  EXPECT_EQ(on, 0);
  EXPECT_EQ(h, 6);
  EXPECT_EQ(m, 45);
}

TEST_F(ServiceReplies, LateDateReplyDoesNotTouchTheCallersRecord) {
  int32_t year = -5;
  EXPECT_EQ(GetDateTime(&year, nullptr, nullptr, nullptr, nullptr, nullptr), 4);
  EXPECT_EQ(year, 0);
  Deliver(0x11, {0x01, 0x00, 0x00, 0x63, 0x01, 0x01, 0x07, 0x00, 0x07, 0xD1, 0x03, 0x0F, 0x0C, 0x1E, 0x2D});
  EXPECT_EQ(year, 0);
}

TEST_F(ServiceReplies, DisplayPairsSetAndClearIndicators) {
  char text[16];
  {
    Responder phone(port, 0x0D, {0x01, 0x00, 0x00, 0x52, 0x02, 0x01, 0x02, 0x04, 0x02});
    ASSERT_EQ(GetDisplayStatus(text, sizeof text), 0);
  }
  EXPECT_STREQ(text, "10010000");
  std::this_thread::sleep_for(250ms);
  {
    // A count larger than the reply holds reads only the pairs that are there; an
    // indicator number outside the mask is passed over.
    Responder phone(port, 0x0D, {0x01, 0x00, 0x00, 0x52, 0x09, 0x01, 0x01, 0x40, 0x02});
    ASSERT_EQ(GetDisplayStatus(text, sizeof text), 0);
  }
  EXPECT_STREQ(text, "00010000");
}

TEST_F(ServiceReplies, NetworkReplyGivesCodeCellAndArea) {
  Responder phone(
      port, 0x0A,
      {0x01, 0x00, 0x00, 0x71, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78, 0x62, 0xF2, 0x10});
  char code[7], area[5], cell[5];
  ASSERT_EQ(GetNetworkInfo(code, sizeof code, area, sizeof area, cell, sizeof cell), 0);
  EXPECT_STREQ(code, "262 01");
  EXPECT_STREQ(cell, "1234");
  EXPECT_STREQ(area, "5678");
}

TEST_F(ServiceReplies, TruncatedNetworkReplyIsIgnored) {
  std::this_thread::sleep_for(250ms);  // let an earlier good answer age out of the cache
  Responder phone(port, 0x0A, {0x01, 0x00, 0x00, 0x71, 0x00, 0x00});
  char code[7] = "xxxxxx";
  EXPECT_EQ(GetNetworkInfo(code, sizeof code, nullptr, 0, nullptr, 0), 4);
  EXPECT_STREQ(code, "");
}

TEST(NetMonitorSelector, KeywordsAndLeadingNumbers) {
  EXPECT_EQ(NetMonitorSelector("reset"), 0xF0);
  EXPECT_EQ(NetMonitorSelector("off"), 0xF1);
  EXPECT_EQ(NetMonitorSelector("field"), 0xF2);
  EXPECT_EQ(NetMonitorSelector("devel"), 0xF3);
  EXPECT_EQ(NetMonitorSelector("next"), 0x00);
  EXPECT_EQ(NetMonitorSelector("Field"), 0x00);
  EXPECT_EQ(NetMonitorSelector("3"), 0x03);
  EXPECT_EQ(NetMonitorSelector("300"), 0x2C);
  EXPECT_EQ(NetMonitorSelector("  +12abc"), 12);
  EXPECT_EQ(NetMonitorSelector("-1"), 0xFF);
  EXPECT_EQ(NetMonitorSelector("bogus"), 0x00);
  EXPECT_EQ(NetMonitorSelector("99999999999999999999"), NetMonitorSelector("99999999999999999999"));
  EXPECT_EQ(NetMonitorSelector(nullptr), 0x00);
}

TEST_F(ServiceReplies, CallStateFollowsAnnouncementsAndBoundsTheNumber) {
  Bytes announce = {0x01, 0x00, 0x00, 0x05, 0x00, 0x00, 0xFF};  // claims 255 digits
  for (int i = 0; i < 30; ++i) announce.push_back('1' + i % 9);
  Deliver(0x01, announce);
  char text[64];
  ASSERT_EQ(IncomingCall(text, sizeof text), 0);
  EXPECT_EQ(std::strlen(text), 19u);
  EXPECT_EQ(TakeIncomingCallEvent(), 1);
  EXPECT_EQ(TakeIncomingCallEvent(), 0);
  Deliver(0x01, {0x01, 0x00, 0x00, 0x05, 0x00, 0x00, 0x05, '1', '2'});  // shorter than it claims
  ASSERT_EQ(IncomingCall(text, sizeof text), 0);
  EXPECT_STREQ(text, "12");
  Deliver(0x01, {0x01, 0x00, 0x00, 0x0A});
  EXPECT_EQ(IncomingCall(text, sizeof text), 23);
  EXPECT_STREQ(text, "");
}

TEST_F(ServiceReplies, DialAndDtmfPayloads) {
  EXPECT_EQ(DialVoice("12345"), 0);
  EXPECT_EQ(Request(port, 0), (Bytes{0x00, 0x01, 0x00, 0x01, 0x05, '1', '2', '3', '4', '5', 0x05, 0x01, 0x01, 0x05,
                                     0x81, 0x01, 0x00, 0x00}));
  EXPECT_EQ(SendDtmf(nullptr), 0);
  EXPECT_EQ(Request(port, 1), (Bytes{0x00, 0x01, 0x00, 0x50, 0x00}));
  EXPECT_EQ(DialVoice(std::string(50, '9').c_str()), 22);
  EXPECT_EQ(port.Writes().size(), 2u);
}

}  // namespace
}  // namespace pelkor::testing
