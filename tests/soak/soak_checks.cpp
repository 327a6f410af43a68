// Checks of whole stores against the phone's state: the library's SMS list after a
// complete scan, a downloaded logo, and at the end every SMS sent.
#include <map>
#include <string>
#include <vector>

#include "soak.h"

namespace pelkor_soak {

using nlohmann::json;
using namespace std::chrono_literals;
namespace L = limits;

// ---- the SMS list -------------------------------------------------------------------------------

// After a complete scan the list holds the store, in location order.
void Soak::CompareList() {
  const auto store = StoreOf(State());
  for (int code : {11, 12, 13}) {
    std::vector<const StoredMessage *> expected;
    for (const auto &m : store)
      if (KindCode(m.kind) == code) expected.push_back(&m);
    const int32_t count = Call("getsmsmsgcount", L::kNoWait, L::Between(0, 512), std::to_string(code),
                               [&] { return getsmsmsgcount(code); });
    if (count != static_cast<int32_t>(expected.size())) {
      Fail("wrong answer", "after a complete scan getsmsmsgcount(" + std::to_string(code) + ") gave " +
                               std::to_string(count) + ", the store holds " + std::to_string(expected.size()));
      continue;
    }
    for (size_t i = 0; i < expected.size(); ++i) {
      const StoredMessage &m = *expected[i];
      const int32_t n = static_cast<int32_t>(i + 1);
      char text[300], party[64];
      Call("getsmsmsgdata", L::kNoWait, L::Only({0}), std::to_string(code) + "," + std::to_string(n) + ",1",
           [&] { return getsmsmsgdata(code, n, 1, text, sizeof text); });
      Call("getsmsmsgdata", L::kNoWait, L::Only({0}), std::to_string(code) + "," + std::to_string(n) + ",2",
           [&] { return getsmsmsgdata(code, n, 2, party, sizeof party); });
      std::string want = m.kind == "report" ? ReportText(m.status) : m.coding == "gsm" ? m.text : "";
      if (m.coding == "gsm" || m.kind == "report") {
        if (want != text)
          Fail("wrong answer", "list entry " + std::to_string(code) + "/" + std::to_string(n) + " (location " +
                                   std::to_string(m.location) + ") reads '" + text + "', the store holds '" + want +
                                   "'");
      }
      if (m.kind == "received" && m.party != party)
        Fail("wrong answer", "list entry " + std::to_string(code) + "/" + std::to_string(n) + " has sender '" + party +
                                 "', the store says '" + m.party + "'");
      if (m.text.size() >= 100) ++tally_.multiFrame["sms_reads_in_two_frames"];
    }
  }
}

// ---- logos --------------------------------------------------------------------------------------

// The logo the library now holds is the phone's.
void Soak::CheckDownload(int kind, int group) {
  const json state = State();
  const std::string slot = LogoSlot(kind, group);
  const std::vector<uint8_t> expected = ParseHex(TextAt(state, slot + "/bitmap"));
  const std::vector<uint8_t> got = LibraryBitmap(kind);
  if (got != expected) {
    size_t wrong = 0;
    for (size_t i = 0; i < got.size(); ++i) wrong += i >= expected.size() || got[i] != expected[i];
    Fail("wrong answer", "logo_download(" + std::to_string(kind) + ") gave 0 with " + std::to_string(wrong) + " of " +
                             std::to_string(got.size()) + " bitmap bytes not the phone's");
  }
  if (kind != PELKOR_LOGO_OPERATOR) {
    char name[300];
    logo_getgroupname(name, sizeof name);
    const std::string want = TextAt(state, kind == PELKOR_LOGO_STARTUP ? slot + "/text" : slot + "/name");
    if (want != name)
      Fail("wrong answer",
           "logo_download(" + std::to_string(kind) + ") gave the text '" + name + "', the phone has '" + want + "'");
  }
}

// ---- the end ------------------------------------------------------------------------------------

// One send's entries in the phone's store, by part: those it took and those it refused.
struct StoredParts {
  size_t parts = 0;
  std::vector<std::vector<const json *>> sent, refused;
};

struct SmsStoreCounts {
  uint64_t reported = 0, stored = 0, lost = 0, duplicated = 0, altered = 0, refused = 0, refusedStored = 0;
  uint64_t timedOut = 0, timedOutStored = 0, partsStored = 0;
};

namespace {

// A Smart Messaging payload as the phone read it, against what was sent.
bool ContentDiffers(const json &sentContent, const json &entry) {
  bool wrong = false;
  const json content = entry.value("content", json::object());
  for (const auto &[key, want] : sentContent.items()) {
    const json got = key == "notes" ? json(content.value("notes", json::array()).size()) : content.value(key, json());
    const bool same = key == "bitmap"
                          ? got.is_string() && Hex(ParseHex(got.get<std::string>())) == want.get<std::string>()
                          : got == want;
    if (!same) wrong = true;
  }
  if (content.contains("error")) wrong = true;
  return wrong;
}

struct PartVerdict {
  bool missing = false, twice = false, wrong = false;
};

// A part the phone did not take, one it took twice, one stored with other contents.
PartVerdict VerdictOf(const SentSms &s, const StoredParts &stored) {
  PartVerdict v;
  for (size_t i = 0; i < stored.parts; ++i) {
    if (stored.sent[i].empty()) v.missing = true;
    if (stored.sent[i].size() > 1) v.twice = true;
    for (const json *e : stored.sent[i]) {
      if (!s.content.is_null()) {
        if (ContentDiffers(s.content, *e)) v.wrong = true;
      } else if (e->value("text", "") != s.parts[i]) {
        v.wrong = true;
      }
    }
  }
  return v;
}

}  // namespace

void Soak::FinalChecks() { CheckSmsStore(); }

// Every SMS reported sent is in the phone's store exactly once, as it was sent; nothing
// refused is.
void Soak::CheckSmsStore() {
  const json state = State();
  std::map<std::string, std::vector<const json *>> byDestination;
  if (const json *sent = At(state, "/sms/sent"))
    for (const json &s : *sent)
      if (s.is_object()) byDestination[s.value("destination", "")].push_back(&s);

  SmsStoreCounts counts;
  for (const SentSms &s : sms_) {
    const auto &entries = byDestination[s.destination];
    StoredParts stored;
    SortParts(s, entries, stored);
    JudgeSend(s, entries, stored, counts);
  }
  std::lock_guard lock(mutex_);
  tally_.sms = {{"sends", sms_.size()},
                {"reported_sent", counts.reported},
                {"stored_exactly_once", counts.stored},
                {"lost", counts.lost},
                {"duplicated", counts.duplicated},
                {"altered", counts.altered},
                {"refused", counts.refused},
                {"refused_but_stored", counts.refusedStored},
                {"timed_out", counts.timedOut},
                {"timed_out_but_reached_the_phone", counts.timedOutStored},
                {"parts_in_store", counts.partsStored}};
}

// Puts each of a send's store entries under its part, as sent or refused.
void Soak::SortParts(const SentSms &s, const std::vector<const json *> &entries, StoredParts &stored) {
  const size_t parts = s.content.is_null() ? s.parts.size() : 1;
  stored.parts = parts;
  stored.sent.resize(parts);
  stored.refused.resize(parts);
  for (const json *e : entries) {
    size_t part = 0;
    if (parts > 1) {
      const int n = e->contains("concat") ? (*e)["concat"].value("part", 0) : 0;
      if (n < 1 || static_cast<size_t>(n) > parts) {
        Fail("stored altered",
             s.destination + ": a part numbered " + std::to_string(n) + " of " + std::to_string(parts));
        continue;
      }
      part = static_cast<size_t>(n - 1);
    }
    const std::string outcome = e->value("outcome", "");
    if (outcome == "sent")
      stored.sent[part].push_back(e);
    else if (outcome == "refused")
      stored.refused[part].push_back(e);
  }
}

// What the store holds of one send, against the result the library gave for it.
void Soak::JudgeSend(const SentSms &s, const std::vector<const json *> &entries, const StoredParts &stored,
                     SmsStoreCounts &counts) {
  const size_t parts = stored.parts;
  const PartVerdict v = VerdictOf(s, stored);
  for (const auto &p : stored.sent) counts.partsStored += p.size();
  const std::string what = s.via + " to " + s.destination + " (" + std::to_string(parts) + " part" +
                           (parts > 1 ? "s" : "") + ", result " + std::to_string(s.result) + ")";
  if (v.twice) {
    ++counts.duplicated;
    Fail("SMS duplicated", what + ": a part is in the store more than once");
  }
  if (v.wrong) {
    ++counts.altered;
    Fail("stored altered", what + ": stored with other contents than were sent");
  }
  if (s.result == PELKOR_OK) {
    ++counts.reported;
    if (v.missing) {
      ++counts.lost;
      Fail("SMS lost", what + ": reported sent, not all parts are in the store");
    } else if (!v.twice && !v.wrong) {
      ++counts.stored;
    }
  } else if (s.result == PELKOR_ERR_SMS_SEND || s.result == PELKOR_ERR_REFUSED) {
    ++counts.refused;
    // The refusal ends the send: parts before it went, the refused one and later not.
    size_t first = 0;
    while (first < parts && !stored.sent[first].empty()) ++first;
    bool later = false;
    for (size_t i = first; i < parts; ++i) later = later || !stored.sent[i].empty();
    if (first == parts || later) {
      ++counts.refusedStored;
      Fail("refused yet stored", what + ": the phone stored what the library reports refused");
    }
    if (s.result == PELKOR_ERR_SMS_SEND && (first == parts || stored.refused[first].empty()))
      Fail("wrong answer", what + ": 19 without a refusal by the phone");
    if (s.result == PELKOR_ERR_REFUSED && !entries.empty())
      Fail("wrong answer", what + ": 22 (message centre refused) yet the phone was handed a message");
  } else if (s.result == PELKOR_ERR_TIMEOUT) {
    ++counts.timedOut;
    if (!entries.empty()) ++counts.timedOutStored;
  }
}

}  // namespace pelkor_soak
