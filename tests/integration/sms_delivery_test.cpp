// Delivery tracking through the public API: the references the phone gives each sent
// part, and the fields of the status reports it stores.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim_fixture.h"

namespace pelkor_it {
namespace {

using nlohmann::json;

class SmsDelivery : public SimulatedPhone {
 protected:
  void SetUp() override {
    SimulatedPhone::SetUp();
    ASSERT_EQ(init(port_.c_str(), PELKOR_CONNECTION_CABLE), PELKOR_OK);
    setsmsmessagecenter(0, "+4477001122");
  }

  void NextReference(int reference) { sim_.LoadState({{"network", {{"next_reference", reference}}}}); }

  static std::vector<int32_t> References() {
    std::vector<int32_t> out(8, -7);
    const int32_t count = pelkor_getsendreferences(out.data(), static_cast<int32_t>(out.size()));
    out.resize(count < 0 ? 0 : static_cast<size_t>(count));
    return out;
  }

  // The references phonesim says it gave, in the order the parts reached it.
  std::vector<int32_t> ReferencesInSent() const {
    std::vector<int32_t> out;
    const json state = sim_.State();
    for (const json &s : state["sms"]["sent"])
      out.push_back(s.contains("message_reference") ? s["message_reference"].get<int32_t>() : -9);
    return out;
  }
};

TEST_F(SmsDelivery, SendsmsGivesEachPartTheReferenceThePhoneNamed) {
  EXPECT_EQ(pelkor_getsendreferences(nullptr, 0), 0) << "no send yet";
  NextReference(254);
  ASSERT_EQ(sendsms("+49170123456", "one part", 0, 0x10000), PELKOR_OK);
  EXPECT_EQ(References(), (std::vector<int32_t>{254}));

  // Three parts, the reference wrapping from 255 to 0 on the way.
  ASSERT_EQ(sendsms("+49170123456", std::string(400, 'a').c_str(), 0, 0x10000), PELKOR_OK);
  EXPECT_EQ(References(), (std::vector<int32_t>{255, 0, 1}));
  EXPECT_EQ(ReferencesInSent(), (std::vector<int32_t>{254, 255, 0, 1}));

  // Room for fewer: those fit, the count is still every part.
  int32_t two[2] = {-1, -1};
  EXPECT_EQ(pelkor_getsendreferences(two, 2), 3);
  EXPECT_EQ(two[0], 255);
  EXPECT_EQ(two[1], 0);
  EXPECT_EQ(pelkor_getsendreferences(nullptr, 0), 3);
  EXPECT_EQ(pelkor_getsendreferences(nullptr, 1), -1);
  EXPECT_EQ(pelkor_getsendreferences(two, -1), -1);

  // senducs2 goes through the same record.
  const std::string file =
      std::filesystem::temp_directory_path() / ("pelkor-delivery-" + std::to_string(::getpid()) + ".txt");
  std::ofstream(file, std::ios::binary).write("\xFE\xFF\x00H\x00i", 6);
  ASSERT_EQ(senducs2("+49170123456", file.c_str(), 0, 0), PELKOR_OK);
  std::remove(file.c_str());
  EXPECT_EQ(References(), (std::vector<int32_t>{2}));

  // A send the phone refuses leaves none of the last one's.
  sim_.LoadState({{"sms", {{"fail_next_send", true}}}});
  EXPECT_EQ(sendsms("+49170123456", "refused", 0, 0), PELKOR_ERR_SMS_SEND);
  EXPECT_EQ(pelkor_getsendreferences(nullptr, 0), 0);
}

TEST_F(SmsDelivery, Utf8PartByPartKeepsTheReferenceOfEachCall) {
  const std::string text(200, 'b');  // two parts
  NextReference(255);
  ASSERT_EQ(pelkor_sendsmspart_utf8("+49170123456", text.c_str(), 0, 0x10000, 9, 1), PELKOR_OK);
  EXPECT_EQ(References(), (std::vector<int32_t>{255}));
  ASSERT_EQ(pelkor_sendsmspart_utf8("+49170123456", text.c_str(), 0, 0x10000, 9, 2), PELKOR_OK);
  EXPECT_EQ(References(), (std::vector<int32_t>{0}));
  EXPECT_EQ(ReferencesInSent(), (std::vector<int32_t>{255, 0}));

  int32_t parts = 0;
  ASSERT_EQ(pelkor_sendsms_utf8("+49170123456", text.c_str(), 0, 0x10000, &parts), PELKOR_OK);
  EXPECT_EQ(parts, 2);
  EXPECT_EQ(References(), (std::vector<int32_t>{1, 2}));
}

TEST_F(SmsDelivery, ReportDetailsOfDeliveredPendingAndFailed) {
  const json report = {{"kind", "report"}, {"read", false}};
  json messages = json::array();
  auto add = [&](int location, int reference, const char *recipient, int status, json time, json discharge) {
    json m = report;
    m["location"] = location;
    m["reference"] = reference;
    m["recipient"] = recipient;
    m["status"] = status;
    m["time"] = std::move(time);
    m["discharge_time"] = std::move(discharge);
    messages.push_back(std::move(m));
  };
  add(1, 17, "+49170123456", 0x00, {24, 10, 13, 23, 45, 57}, {24, 10, 13, 23, 46, 3});
  messages.push_back({{"location", 2}, {"kind", "received"}, {"text", "not a report"}, {"sender", "+4412"}});
  add(3, 255, "+4412345", 0x20, {24, 12, 31, 23, 59, 59}, {25, 1, 1, 0, 0, 9});
  add(4, 0, "0612", 0x41, {24, 2, 29, 8, 5, 0}, {24, 3, 1, 9, 6, 1});
  sim_.LoadState({{"sms", {{"capacity", 5}, {"messages", messages}}}});
  ASSERT_EQ(updatesmslist(), PELKOR_ERR_SMS_READ);
  ASSERT_EQ(getsmsmsgcount(PELKOR_SMS_STATUS_REPORT), 3);

  struct Expected {
    int32_t reference;
    std::string recipient;
    std::vector<int32_t> submitted, discharged;
    int32_t status;
  };
  const Expected expected[] = {
      {17, "+49170123456", {24, 10, 13, 23, 45, 57}, {24, 10, 13, 23, 46, 3}, 0x00},
      {255, "+4412345", {24, 12, 31, 23, 59, 59}, {25, 1, 1, 0, 0, 9}, 0x20},
      {0, "0612", {24, 2, 29, 8, 5, 0}, {24, 3, 1, 9, 6, 1}, 0x41},
  };
  for (int32_t n = 1; n <= 3; ++n) {
    const Expected &e = expected[n - 1];
    int32_t reference = -1, status = -1;
    std::vector<int32_t> submitted(6, -1), discharged(6, -1);
    char recipient[32];
    std::fill(std::begin(recipient), std::end(recipient), 'x');
    ASSERT_EQ(pelkor_getsmsreportdetails(n, &reference, recipient, sizeof recipient, submitted.data(),
                                         discharged.data(), &status),
              PELKOR_OK)
        << n;
    EXPECT_EQ(reference, e.reference) << n;
    EXPECT_EQ(recipient, e.recipient) << n;
    EXPECT_EQ(submitted, e.submitted) << n;
    EXPECT_EQ(discharged, e.discharged) << n;
    EXPECT_EQ(status, e.status) << n;
  }

  // A recipient cut to fit; null outputs are passed over.
  char small[5];
  EXPECT_EQ(pelkor_getsmsreportdetails(1, nullptr, small, sizeof small, nullptr, nullptr, nullptr), PELKOR_OK);
  EXPECT_EQ(std::string(small), "+491");

  // No fourth report: everything zero and empty.
  int32_t reference = -1, status = -1;
  std::vector<int32_t> submitted(6, -1), discharged(6, -1);
  char recipient[8] = "xxxxxxx";
  EXPECT_EQ(pelkor_getsmsreportdetails(4, &reference, recipient, sizeof recipient, submitted.data(), discharged.data(),
                                       &status),
            PELKOR_NOT_FOUND);
  EXPECT_EQ(reference, 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::string(recipient), "");
  EXPECT_EQ(submitted, std::vector<int32_t>(6, 0));
  EXPECT_EQ(discharged, std::vector<int32_t>(6, 0));
  EXPECT_EQ(pelkor_getsmsreportdetails(0, &reference, nullptr, 0, nullptr, nullptr, nullptr), PELKOR_NOT_FOUND);
}

}  // namespace
}  // namespace pelkor_it
