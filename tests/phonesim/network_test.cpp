// The network behind the simulated phone, seen from a host on the pseudo-terminal:
// the references it gives submissions and the status reports it stores.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <string>

#include "simulator.h"
#include "test_client.h"

namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using phonesim::Simulator;
using phonesim_test::Bytes;
using phonesim_test::ComputerMessage;
using phonesim_test::PhoneFrame;
using phonesim_test::TestClient;

struct Concat {
  uint8_t reference, parts, part;
};

// An SMS-SUBMIT as a host sends it: no centre of its own, 8-bit data (read back as
// Latin-1 text), a report asked for when `report`, a concatenation header when given.
Bytes SubmitRequest(const std::string &destination, const std::string &text, bool report,
                    std::optional<Concat> concat = std::nullopt) {
  Bytes b = {0x00, 0x01, 0x00, 0x01, 0x02, 0x00};
  b.resize(42, 0x00);
  b[18] = static_cast<uint8_t>(0x11 | (report ? 0x20 : 0x00) | (concat ? 0x40 : 0x00));
  b[21] = 0x04;
  std::string digits = destination;
  b[24] = 0x81;
  if (!digits.empty() && digits[0] == '+') {
    digits.erase(0, 1);
    b[24] = 0x91;
  }
  b[23] = static_cast<uint8_t>(digits.size());
  for (size_t i = 0; i < digits.size() && i < 20; ++i) {
    const uint8_t d = static_cast<uint8_t>(digits[i] - '0');
    b[25 + i / 2] = static_cast<uint8_t>(i % 2 == 0 ? (0xF0 | d) : ((b[25 + i / 2] & 0x0F) | d << 4));
  }
  b[35] = 0xA7;
  Bytes userData;
  if (concat) userData = {0x05, 0x00, 0x03, concat->reference, concat->parts, concat->part};
  userData.insert(userData.end(), text.begin(), text.end());
  b[22] = static_cast<uint8_t>(userData.size());
  b.insert(b.end(), userData.begin(), userData.end());
  return b;
}

class NetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start()) << sim_.LastError();
    client_ = std::make_unique<TestClient>(sim_.DevicePath());
    ASSERT_TRUE(client_->IsOpen());
  }

  // Writes one request and gives back the message bytes of the next frame of
  // `replyType` whose command byte is one of `commands` (acks and others passed over).
  std::optional<Bytes> Ask(uint8_t type, const Bytes &request, uint8_t replyType, std::vector<uint8_t> commands,
                           std::chrono::milliseconds timeout = 2000ms) {
    if (!client_->Write(ComputerMessage(0x1E, type, request, sequence_++ % 8))) return std::nullopt;
    return NextReply(replyType, commands, timeout);
  }
  // Messages that came while another was looked for are kept for a later look.
  std::optional<Bytes> NextReply(uint8_t replyType, const std::vector<uint8_t> &commands,
                                 std::chrono::milliseconds timeout = 2000ms) {
    auto wanted = [&](const std::pair<uint8_t, Bytes> &m) {
      return m.first == replyType && std::find(commands.begin(), commands.end(), m.second[3]) != commands.end();
    };
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const auto found = std::find_if(unclaimed_.begin(), unclaimed_.end(), wanted);
      if (found != unclaimed_.end()) {
        Bytes bytes = found->second;
        unclaimed_.erase(found);
        return bytes;
      }
      const auto now = std::chrono::steady_clock::now();
      if (now >= end) return std::nullopt;
      const auto frame = client_->NextFrame(std::chrono::duration_cast<std::chrono::milliseconds>(end - now));
      if (!frame) return std::nullopt;
      if (frame->type == 0x7F || frame->payload.size() < 6) continue;
      unclaimed_.emplace_back(frame->type, Bytes(frame->payload.begin(), frame->payload.end() - 2));
    }
  }
  // Submits and returns the reference of the confirmation (-1: refused or no answer).
  int Submit(const Bytes &request) {
    const auto reply = Ask(0x02, request, 0x02, {0x02, 0x03});
    if (!reply || (*reply)[3] != 0x02 || reply->size() < 6) return -1;
    return (*reply)[5];
  }
  std::optional<Bytes> ReadLocation(uint8_t location) {
    return Ask(0x14, {0x00, 0x01, 0x00, 0x07, 0x02, location, 0x01, 0x64}, 0x14, {0x08, 0x09});
  }

  Simulator sim_;
  std::unique_ptr<TestClient> client_;
  uint8_t sequence_ = 0;
  std::deque<std::pair<uint8_t, Bytes>> unclaimed_;
};

TEST_F(NetworkTest, ConfirmationsCarryReferencesThatCountUpAndWrap) {
  sim_.LoadState({{"network", {{"next_reference", 254}}}});
  EXPECT_EQ(Submit(SubmitRequest("+491701234567", "one", false)), 254);
  EXPECT_EQ(Submit(SubmitRequest("+491701234567", "two", false)), 255);
  EXPECT_EQ(Submit(SubmitRequest("+491701234567", "three", false)), 0);
  // A refused submission takes no reference.
  ASSERT_EQ(sim_.Control("set /sms/fail_next_send true"), "ok");
  EXPECT_EQ(Submit(SubmitRequest("+491701234567", "four", false)), -1);
  EXPECT_EQ(Submit(SubmitRequest("+491701234567", "five", false)), 1);

  const json state = sim_.State();
  EXPECT_EQ(state["network"]["next_reference"], 2);
  const json &sent = state["sms"]["sent"];
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[0]["message_reference"], 254);
  EXPECT_EQ(sent[1]["message_reference"], 255);
  EXPECT_EQ(sent[2]["message_reference"], 0);
  EXPECT_EQ(sent[3]["outcome"], "refused");
  EXPECT_FALSE(sent[3].contains("message_reference"));
  EXPECT_EQ(sent[4]["message_reference"], 1);
  EXPECT_EQ(sent[4]["text"], "five");
}

TEST_F(NetworkTest, StoredReportAnswersWithItsOwnDischargeTime) {
  sim_.LoadState({{"sms",
                   {{"messages", json::array({{{"location", 3},
                                               {"kind", "report"},
                                               {"reference", 77},
                                               {"recipient", "+491701234567"},
                                               {"status", 0x41},
                                               {"time", {26, 12, 10, 9, 5, 7}},
                                               {"discharge_time", {26, 12, 11, 23, 59, 58}}},
                                              {{"location", 4},
                                               {"kind", "report"},
                                               {"reference", 78},
                                               {"recipient", "+491701234567"},
                                               {"time", {26, 1, 2, 3, 4, 5}}}})}}}});
  const auto reply = ReadLocation(3);
  ASSERT_TRUE(reply);
  ASSERT_GE(reply->size(), 49u);
  EXPECT_EQ((*reply)[3], 0x08);
  EXPECT_EQ((*reply)[7], 0x01) << "a status report";
  EXPECT_EQ((*reply)[21], 77) << "reference";
  EXPECT_EQ((*reply)[22], 0x41) << "status";
  EXPECT_EQ((*reply)[23], 12) << "recipient's digits";
  EXPECT_EQ((*reply)[24], 0x91);
  EXPECT_EQ(Bytes(reply->begin() + 35, reply->begin() + 41), (Bytes{0x62, 0x21, 0x01, 0x90, 0x50, 0x70}));
  EXPECT_EQ(Bytes(reply->begin() + 42, reply->begin() + 48), (Bytes{0x62, 0x21, 0x11, 0x32, 0x95, 0x85}));

  // Without a discharge time of its own the report was discharged when submitted.
  const auto older = ReadLocation(4);
  ASSERT_TRUE(older);
  ASSERT_GE(older->size(), 49u);
  EXPECT_EQ((*older)[21], 78);
  EXPECT_EQ(Bytes(older->begin() + 35, older->begin() + 41), Bytes(older->begin() + 42, older->begin() + 48));
}

// The messages kind "report" in the store, by location.
std::map<int, json> StoredReports(const json &state) {
  std::map<int, json> out;
  for (const json &m : state["sms"]["messages"])
    if (m.value("kind", "") == "report") out[m["location"].get<int>()] = m;
  return out;
}

TEST_F(NetworkTest, TheNetworksDelayHoldsTheVerdictButNotTheLink) {
  sim_.LoadState({{"network", {{"submit_delay_ms", 300}}}});
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(client_->Write(ComputerMessage(0x1E, 0x02, SubmitRequest("+491701234567", "slow", false), 0)));
  ASSERT_TRUE(client_->Write(ComputerMessage(0x1E, 0x04, {0x00, 0x01, 0x00, 0x01}, 1)));
  std::vector<uint8_t> types;
  std::chrono::steady_clock::time_point confirmed{};
  while (types.size() < 2) {
    const auto frame = client_->NextFrame(2000ms);
    ASSERT_TRUE(frame) << "only " << types.size() << " replies";
    if (frame->type == 0x7F) continue;
    types.push_back(frame->type);
    if (frame->type == 0x02) confirmed = std::chrono::steady_clock::now();
  }
  EXPECT_EQ(types, (std::vector<uint8_t>{0x04, 0x02})) << "the status answer does not wait for the network";
  EXPECT_GE(confirmed - start, 300ms);
  // The submission is on record from the start, with the reference it is confirmed with.
  EXPECT_EQ(sim_.State()["sms"]["sent"][0]["message_reference"], 0);
}

TEST_F(NetworkTest, ReportsFollowTheRulesPartByPart) {
  sim_.LoadState({{"network",
                   {{"report_rules", json::array({{{"destination", "+49170*"}, {"part", 2}, {"status", "failed"}},
                                                  {{"destination", "+44*"}, {"status", 0x45}},
                                                  {{"destination", "+4917*"}, {"status", "nonsense"}}})}}}});
  for (uint8_t part = 1; part <= 3; ++part)
    ASSERT_EQ(Submit(SubmitRequest("+491701234567", "part " + std::to_string(part), true, Concat{9, 3, part})),
              part - 1);
  std::vector<uint8_t> notices;
  for (int i = 0; i < 3; ++i) {
    const auto notice = NextReply(0x02, {0x10});
    ASSERT_TRUE(notice) << "notice " << i;
    notices.push_back((*notice)[5]);
  }
  EXPECT_EQ(notices, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(Submit(SubmitRequest("+447700900123", "abroad", true)), 3);
  ASSERT_TRUE(NextReply(0x02, {0x10}));
  // No report asked for, none comes.
  EXPECT_EQ(Submit(SubmitRequest("+491701234567", "quiet", false)), 4);
  EXPECT_FALSE(NextReply(0x02, {0x10}, 300ms));

  const auto reports = StoredReports(sim_.State());
  ASSERT_EQ(reports.size(), 4u);
  const std::vector<std::pair<int, int>> referenceAndStatus = {{0, 0x00}, {1, 0x41}, {2, 0x00}, {3, 0x45}};
  for (int location = 1; location <= 4; ++location) {
    const json &r = reports.at(location);
    EXPECT_EQ(r["reference"], referenceAndStatus[location - 1].first) << location;
    EXPECT_EQ(r["status"], referenceAndStatus[location - 1].second) << location;
    EXPECT_EQ(r["read"], false);
    EXPECT_EQ(r["recipient"], location == 4 ? "+447700900123" : "+491701234567");
    EXPECT_EQ(r["time"].size(), 6u);
    EXPECT_EQ(r["discharge_time"].size(), 6u);
  }
  // The host reads what the network said about the second part.
  const auto second = ReadLocation(2);
  ASSERT_TRUE(second);
  ASSERT_GE(second->size(), 49u);
  EXPECT_EQ((*second)[7], 0x01);
  EXPECT_EQ((*second)[21], 1);
  EXPECT_EQ((*second)[22], 0x41);
}

TEST_F(NetworkTest, APendingReportIsFollowedByTheFinalOne) {
  // Set as a test script would, over the control channel.
  ASSERT_EQ(sim_.Control("set /network/report_delay_ms 50"), "ok");
  ASSERT_EQ(sim_.Control(R"(set /network/report_rules [{"status": "pending", )"
                         R"("then": {"status": "delivered", "after_ms": 250}}])"),
            "ok");
  ASSERT_EQ(Submit(SubmitRequest("+491701234567", "patience", true)), 0);
  const auto first = NextReply(0x02, {0x10});
  ASSERT_TRUE(first);
  const auto pendingAt = std::chrono::steady_clock::now();
  EXPECT_EQ((*first)[5], 1);
  const auto pending = ReadLocation(1);
  ASSERT_TRUE(pending);
  ASSERT_GE(pending->size(), 23u);
  EXPECT_EQ((*pending)[22], 0x20);
  const auto second = NextReply(0x02, {0x10});
  ASSERT_TRUE(second);
  EXPECT_GE(std::chrono::steady_clock::now() - pendingAt, 200ms);
  EXPECT_EQ((*second)[5], 2);
  const auto delivered = ReadLocation(2);
  ASSERT_TRUE(delivered);
  ASSERT_GE(delivered->size(), 23u);
  EXPECT_EQ((*delivered)[21], 0) << "the same submission";
  EXPECT_EQ((*delivered)[22], 0x00);
}

TEST_F(NetworkTest, AFullStoreHoldsTheReportBackUntilALocationIsFree) {
  sim_.LoadState({{"sms",
                   {{"capacity", 2},
                    {"messages", json::array({{{"location", 1}, {"sender", "+4930123"}, {"text", "a"}},
                                              {{"location", 2}, {"sender", "+4930123"}, {"text", "b"}}})}}}});
  ASSERT_EQ(Submit(SubmitRequest("+491701234567", "full", true)), 0);
  ASSERT_TRUE(sim_.WaitFor([&] { return sim_.State()["network"]["held_reports"].size() == 1; }, 1s));
  EXPECT_FALSE(NextReply(0x02, {0x10}, 200ms)) << "no place to announce";
  EXPECT_TRUE(StoredReports(sim_.State()).empty());

  const auto deleted = Ask(0x14, {0x00, 0x01, 0x00, 0x0A, 0x02, 0x01}, 0x14, {0x0B});
  ASSERT_TRUE(deleted);
  const auto notice = NextReply(0x02, {0x10});
  ASSERT_TRUE(notice);
  EXPECT_EQ((*notice)[5], 1);
  const json state = sim_.State();
  EXPECT_TRUE(state["network"]["held_reports"].empty());
  const auto reports = StoredReports(state);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports.begin()->first, 1);
  EXPECT_EQ(reports.begin()->second["reference"], 0);
}

}  // namespace
