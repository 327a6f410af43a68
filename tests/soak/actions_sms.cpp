// SMS actions: sends of every kind (each kept, to be found in the store at the end), the
// message centres, and the store's list, reads, counts, deletions and arrivals.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "soak.h"

namespace pelkor_soak {

using nlohmann::json;
using namespace std::chrono_literals;
namespace L = limits;

// ---- SMS sending --------------------------------------------------------------------------------

std::string Soak::NextDestination() {
  char number[24];
  std::snprintf(number, sizeof number, "+35850%07d", ++destinationSerial_);
  return number;
}

void Soak::SendText(const std::string &via, const std::string &text, int32_t centre, int32_t options) {
  SentSms sent;
  sent.via = via;
  sent.destination = NextDestination();
  for (size_t at = 0; at < text.size() || at == 0; at += 153) {
    sent.parts.push_back(text.size() <= 160 ? text : text.substr(at, 153));
    if (text.size() <= 160) break;
  }
  char args[96];
  std::snprintf(args, sizeof args, "%s, %zu characters, centre %d, options 0x%X", sent.destination.c_str(), text.size(),
                centre, options);
  sent.result = Call(via, L::SendSms(text.size()), L::Only({0, 4, 19, 22}), args,
                     [&] { return sendsms(sent.destination.c_str(), text.c_str(), centre, options); });
  centreIndex_ = centre;
  for (const std::string &part : sent.parts)
    if (part.size() > 89) ++tally_.multiFrame["sms_parts_sent_in_two_frames"];
  sms_.push_back(std::move(sent));
}

void Soak::SmsShort() {
  const size_t length = Chance(0.1) ? 160 : static_cast<size_t>(Uniform(1, 160));
  const int32_t options = Uniform(0, 4) | (Chance(0.2) ? 0x10000 : 0);
  SendText("sendsms", RandomText(length), Uniform(1, 2), options);
}

void Soak::SmsLong() {
  const size_t lengths[] = {161, 306, 307, 459};
  const size_t length = Chance(0.3) ? lengths[Uniform(0, 3)] : static_cast<size_t>(Uniform(161, 459));
  SendText("sendsms", RandomText(length), Uniform(1, 2), Uniform(0, 4));
}

void Soak::SmsUcs2() {
  const std::string text = RandomText(static_cast<size_t>(Uniform(1, 70)));
  const std::string file = tmp_ + "/ucs2.txt";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.put(static_cast<char>(0xFE)).put(static_cast<char>(0xFF));
    for (char c : text) out.put('\0').put(c);
  }
  SentSms sent;
  sent.via = "senducs2";
  sent.destination = NextDestination();
  sent.parts = {text};
  const int32_t centre = Uniform(1, 2);
  sent.result = Call("senducs2", L::kOneSms, L::Only({0, 4, 19, 22}), sent.destination,
                     [&] { return senducs2(sent.destination.c_str(), file.c_str(), centre, 0); });
  centreIndex_ = centre;
  sms_.push_back(std::move(sent));
}

// A message centre the phone does not have: nothing may be sent.
void Soak::SmsCentreRefused() {
  Call("setsmsmessagecenter", L::kNoWait, L::Only({0}), "3", [] { return setsmsmessagecenter(3, nullptr); });
  centreIndex_ = 3;
  char buffer[48];
  Call("getsmsmessagecenter", L::kCentreQuery, L::Only({3}), "",
       [&] { return getsmsmessagecenter(buffer, sizeof buffer); });
  if (buffer[0] != '\0')
    Fail("wrong answer", std::string("message centre 3 does not exist, yet its number is ") + buffer);
  SentSms sent;
  sent.via = "sendsms";
  sent.destination = NextDestination();
  sent.parts = {RandomText(40)};
  sent.result = Call("sendsms", L::kOneSms, L::Only({22, 4}), sent.destination + ", centre 3",
                     [&] { return sendsms(sent.destination.c_str(), sent.parts[0].c_str(), 3, 0); });
  sms_.push_back(std::move(sent));
  Call("setsmsmessagecenter", L::kNoWait, L::Only({0}), "1", [] { return setsmsmessagecenter(1, nullptr); });
  centreIndex_ = 1;
}

void Soak::SmsCentre() {
  if (Chance(0.5)) {
    const int32_t index = Uniform(1, 2);
    Call("setsmsmessagecenter", L::kNoWait, L::Only({0}), std::to_string(index),
         [&] { return setsmsmessagecenter(index, nullptr); });
    centreIndex_ = index;
  }
  char buffer[48];
  Call("getsmsmessagecenter", L::kCentreQuery, L::Only({centreIndex_}), "",
       [&] { return getsmsmessagecenter(buffer, sizeof buffer); });
  const json state = State();
  bool known = buffer[0] == '\0';
  if (const json *centres = At(state, "/sms/centres"))
    for (const json &c : *centres)
      if (c.is_object() && c.value("number", "") == buffer) known = true;
  if (!known) Fail("wrong answer", std::string("getsmsmessagecenter gave the unknown number ") + buffer);
}

// ---- the SMS store ------------------------------------------------------------------------------

void Soak::StoreScan() {
  const int32_t result =
      Call("updatesmslist", L::SmsScan(kStoreCapacity), L::Only({0, 4, 8}), "", [] { return updatesmslist(); });
  if (result == PELKOR_ERR_SMS_READ) CompareList();
}

void Soak::StoreQueries() {
  const int codes[] = {11, 12, 13, 0};
  const int code = codes[Uniform(0, 3)];
  const int32_t count = Call("getsmsmsgcount", L::kNoWait, L::Between(0, 512), std::to_string(code),
                             [&] { return getsmsmsgcount(code); });
  const int32_t n = Uniform(1, count + 1);
  const std::string args = std::to_string(code) + "," + std::to_string(n);
  const bool exists = n <= count;
  const L::Allowed found = exists ? L::Only({0}) : L::Only({-1});
  Call("getsmssentread", L::kNoWait, exists ? L::Only({0, 1}) : L::Only({0}), args,
       [&] { return getsmssentread(code, n); });
  char buffer[300];
  const int field = Uniform(1, 3);
  Call("getsmsmsgdata", L::kNoWait, found, args + "," + std::to_string(field),
       [&] { return getsmsmsgdata(code, n, field, buffer, sizeof buffer); });
  int32_t y, mo, d, h, mi, s;
  Call("getsmsmsgdatetime", L::kNoWait, found, args,
       [&] { return getsmsmsgdatetime(code, n, &y, &mo, &d, &h, &mi, &s); });
}

void Soak::StoreCounts() {
  if (Chance(0.5))
    Call("getsmsmsgunread", L::kSmsCounts, L::Between(0, 255), "", [] { return getsmsmsgunread(); });
  else
    Call("getsmsmsgtotal", L::kSmsCounts, L::Between(0, 255), "", [] { return getsmsmsgtotal(); });
}

void Soak::StoreDelete() {
  if (StoreOf(State()).size() <= 3) return;  // keep something to read
  const int codes[] = {11, 13};
  const int code = codes[Uniform(0, 1)];
  const int32_t before = getsmsmsgcount(code);
  const int32_t n = Uniform(1, std::max(1, before));
  const int32_t result = Call("deletesmsmsg", L::kSmsDelete, before > 0 ? L::Only({0, 4}) : L::Only({-1}),
                              std::to_string(code) + "," + std::to_string(n), [&] { return deletesmsmsg(code, n); });
  const int32_t after = getsmsmsgcount(code);
  if (result == PELKOR_OK && after != before - 1)
    Fail("wrong answer", "deletesmsmsg gave 0 but the list went from " + std::to_string(before) + " to " +
                             std::to_string(after) + " entries");
}

void Soak::StoreRead() {
  const int location = Uniform(1, kStoreCapacity + 1);
  char number[64], text[300];
  const int32_t result = Call(
      "getsms", L::kSmsRead, L::Only({11, 12, 13, 3, 4, 5}), std::to_string(location),
      [&] { return getsms(location, number, sizeof number, text, sizeof text); }, 5);
  if (result == 5) return;  // no answer
  const auto store = StoreOf(State());
  const StoredMessage *m = nullptr;
  for (const auto &s : store)
    if (s.location == location) m = &s;
  const int expected = location > kStoreCapacity ? 3 : m == nullptr ? 4 : KindCode(m->kind) ? KindCode(m->kind) : 13;
  if (result != expected) {
    Fail("wrong answer", "getsms(" + std::to_string(location) + ") gave " + std::to_string(result) +
                             ", the store says " + std::to_string(expected));
    return;
  }
  if (m == nullptr) return;
  const std::string want = m->kind == "report" ? ReportText(m->status) : m->text;
  if ((m->coding == "gsm" || m->kind == "report") && want != text)
    Fail("wrong answer",
         "getsms(" + std::to_string(location) + ") read '" + text + "', the store holds '" + want + "'");
  if (m->kind == "received" && m->party != number)
    Fail("wrong answer",
         "getsms(" + std::to_string(location) + ") gave sender '" + number + "', the store says '" + m->party + "'");
  if (m->text.size() >= 100) ++tally_.multiFrame["sms_reads_in_two_frames"];
}

// A new message arrives; smsreceivedcount counts the notice and reads it into the list.
void Soak::StoreDeliver() {
  if (static_cast<int>(StoreOf(State()).size()) < kStoreCapacity - 2) {
    const std::string sender = "+3584" + RandomDigits(8);
    const std::string text = RandomText(static_cast<size_t>(Uniform(20, 160)));
    sim_.Control("sms deliver " + sender + " " + text);
    std::this_thread::sleep_for(100ms);
  }
  const int32_t count =
      Call("smsreceivedcount", L::kSmsRead, L::Between(0, INT32_MAX), "", [] { return smsreceivedcount(); });
  if (count < incomingSeen_)
    Fail("wrong answer", "smsreceivedcount went down from " + std::to_string(incomingSeen_) + " to " +
                             std::to_string(count) + " within one session");
  incomingSeen_ = std::max(incomingSeen_, count);
}

}  // namespace pelkor_soak
