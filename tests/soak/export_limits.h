#pragma once
// The longest each export may take and the result codes it may give, as the library
// promises them: counted polls of N checks S ms apart (taken here as N x S, the checks'
// sleeps all counted), fixed sleeps, and the results listed for each export.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace pelkor_soak::limits {

constexpr int64_t Polls(int64_t checks, int64_t stepMs) { return checks * stepMs; }

// Identity: the preparatory request's 5 ms, then up to three text polls of 100 x 10 ms
// (IMEI, version, hardware).
constexpr int64_t kIdentity = 5 + 3 * Polls(100, 10);
constexpr int64_t kPhoneStatus = Polls(100, 10);  // rf, battery, power source
constexpr int64_t kDisplay = Polls(100, 10);
constexpr int64_t kNetworkInfo = Polls(20, 10);
constexpr int64_t kNetMonitor = Polls(200, 10);
constexpr int64_t kGetDateTime = Polls(50, 10);
constexpr int64_t kSetDateTime = Polls(200, 10);
constexpr int64_t kGetAlarm = Polls(50, 10);
constexpr int64_t kSetAlarm = Polls(200, 10);
constexpr int64_t kNoWait = 0;   // requests handed to Send without an answer awaited
constexpr int64_t kBeepOn = 10;  // preparatory request, 10 ms, tone on
constexpr int64_t kCentreQuery = Polls(100, 10);
constexpr int64_t kSmsVerdict = Polls(700, 10);
constexpr int64_t kBetweenParts = 1000;
constexpr int64_t kSmsRead = Polls(1200, 5);
constexpr int64_t kSmsDelete = Polls(500, 10);
constexpr int64_t kSmsCounts = Polls(100, 10);
constexpr int64_t kLogoUpload = 10 + Polls(500, 10);
constexpr int64_t kLogoDownload = 10 + Polls(100, 10);
constexpr int64_t kMemoryStatus = Polls(200, 10);
constexpr int64_t kEntryRead = Polls(50, 10);
constexpr int64_t kEntryWrite = Polls(500, 10);
constexpr int64_t kSpeedDial = Polls(200, 10);

// One SMS (one part): the message-centre query when its number is not known yet, then
// the verdict.
constexpr int64_t kOneSms = kCentreQuery + kSmsVerdict;

// A text of `length` characters: one message up to 160, else parts of 153 with a
// second between parts.
inline int64_t SmsParts(size_t length) { return length <= 160 ? 1 : static_cast<int64_t>((length + 152) / 153); }
inline int64_t SendSms(size_t length) {
  const int64_t parts = SmsParts(length);
  return parts * kOneSms + (parts - 1) * kBetweenParts;
}

// play_tone: the preparatory request's 5 ms the first time, then the tone's own wait
// (duration - 15 ms, at least 1 ms); a duration of 0 or less plays nothing.
inline int64_t PlayTone(int32_t durationMs) {
  if (durationMs <= 0) return 5;
  return 5 + std::max<int64_t>(int64_t{durationMs} - 15, 1);
}

// getphonebookentry: 10 ms, the memory-status query (first read of a memory), the entry.
constexpr int64_t kEntryReadWithStatus = 10 + kMemoryStatus + kEntryRead;

// The scan of the SMS store: each location read is bounded by its own wait; a store of
// `capacity` locations is scanned in capacity + 1 reads (the first invalid one ends it).
inline int64_t SmsScan(int capacity) { return (capacity + 1) * kSmsRead; }

// Session. init: stopping an earlier session (the keep-alive leaves within a cycle of
// 500 ms, or after a start-up sequence of about 1.1 s it is running), the start-up
// sequence (33 sync bytes 1 ms apart, five requests, a wait of up to 99 x 10 ms), the
// wait for the phone (200 x 50 ms, 2 x 50 ms with quick start) and the beep (60 ms).
constexpr int64_t kStopLink = 500 + 1100;
constexpr int64_t kStartUp = 33 + 5 + 4 + 10 + 99 * 10;
constexpr int64_t kInit = kStopLink + kStartUp + 200 * 50 + 60;
constexpr int64_t kInitQuick = kStopLink + kStartUp + 2 * 50 + 60;
constexpr int64_t kTerminate = kStopLink;

// Scheduling slack on top of every limit: a fixed part for the sends' own 1 ms sleeps,
// thread wake-ups and a loaded machine, and a share of the limit for sleeps that run
// long under sanitizers.
inline int64_t Margin(int64_t limitMs) { return 250 + limitMs / 5; }

// A call still running this long is taken as hung: the process is ended with a report.
// Three times the allowed time (at least 5 s over it), so a call that hangs ten times its
// limit never escapes.
inline int64_t HangAfter(int64_t limitMs) {
  const int64_t allowed = limitMs + Margin(limitMs);
  return std::max(3 * allowed, allowed + 5000);
}

// The result codes an export may give.
struct Allowed {
  std::vector<int32_t> codes;
  bool range = false;  // any value lo ... hi instead
  int32_t lo = 0, hi = 0;

  bool Holds(int32_t value) const {
    if (range) return value >= lo && value <= hi;
    return std::find(codes.begin(), codes.end(), value) != codes.end();
  }
  std::string Text() const {
    if (range) return std::to_string(lo) + ".." + std::to_string(hi);
    std::string text;
    for (int32_t code : codes) text += (text.empty() ? "" : ",") + std::to_string(code);
    return "{" + text + "}";
  }
};

inline Allowed Only(std::initializer_list<int32_t> codes) { return Allowed{codes}; }
inline Allowed Between(int32_t lo, int32_t hi) { return Allowed{{}, true, lo, hi}; }

}  // namespace pelkor_soak::limits
