// The receiver and the reply dispatcher fed arbitrary bytes, one at a time, as the
// watch thread feeds them, while every reply target is attached and every status cell
// pending, so that each handler runs its writing path and not only its checks.
//
// Targets a command attaches are reached in two ways. Where the owner exposes its
// target and cell (SMS, message centre, counts, logos, phonebook), the harness attaches
// records of its own and arms the cells, as the waiting command would. The clock, alarm,
// network and net-monitor targets are private to their commands, so the harness runs
// those commands themselves: each one, when it writes its request, starts the next, and
// the last one's request is where the input is fed, so all four wait at once. After
// the input, one good reply for each of the four ends its wait.
//
// What the receiver hands to the dispatcher while the input is fed is checked against
// the frames the input holds, found here independently:
// - a message is dispatched only where a frame ends, of that frame's type;
// - a frame without the first-frame bit is a message of its own only when it is the
//   phone's acknowledgement (type 0x7F);
// - any other message ends with a frame whose frames-left is 1 and began with the
//   latest first frame before it, of its type: it is made of frames of that type whose
//   frames-left count down by one and whose sequence numbers follow each other, nothing
//   of an earlier unfinished message and no frame of it lost;
// - and such a message, when nothing but acknowledgements came between its frames, is
//   dispatched (unless it is too long for the message buffer).
//
// The link's pacing sleeps are skipped and the clock moves a long way between inputs
// (see the wraps at the end, set up by the link options in CMakeLists.txt): a run takes
// no wall time in sleeps, and no answer cached by one input short-cuts the next.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "fuzz_support.h"
#include "link/frame_format.h"
#include "link/frame_receiver.h"
#include "link/port_link.h"
#include "link/session.h"
#include "logo/logo_transfer.h"
#include "phonebook/phonebook_session.h"
#include "platform/serial_port.h"
#include "services/clock_alarm.h"
#include "services/network.h"
#include "services/service_requests.h"
#include "transaction/transaction.h"
#include "sms/sms_send.h"
#include "sms/sms_store.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

namespace {

using pelkor::Session;
using Bytes = std::vector<uint8_t>;

const uint8_t *g_input = nullptr;
size_t g_inputSize = 0;
std::string g_dumpDirectory;  // where the UCS-2 read handler writes its copies

// ---- the commands that wait together ----------------------------------------------

int32_t g_dateTimeResult, g_alarmResult, g_networkResult;

void ReadDateTime() {
  int32_t year, month, day, hour, minute, second;
  g_dateTimeResult = pelkor::GetDateTime(&year, &month, &day, &hour, &minute, &second);
}
void ReadAlarm() {
  int32_t enabled, hour, minute;
  g_alarmResult = pelkor::GetAlarm(&enabled, &hour, &minute);
}
void ReadNetwork() {
  char code[10], area[10], cell[10];
  g_networkResult = pelkor::GetNetworkInfo(code, sizeof code, area, sizeof area, cell, sizeof cell);
}
void ReadMonitor() {
  char text[64];
  pelkor::NetMonitor("field", text, sizeof text);
}

using Command = void (*)();
constexpr Command kWaitingCommands[] = {ReadDateTime, ReadAlarm, ReadNetwork, ReadMonitor};
constexpr size_t kWaitingCommandCount = sizeof kWaitingCommands / sizeof kWaitingCommands[0];

// One reply for each waiting command that ends its wait whatever the input did.
Bytes PhoneFrame(uint8_t type, Bytes message, uint8_t sequence) {
  message.push_back(0x01);                                         // frames left
  message.push_back(static_cast<uint8_t>(0x40 | (sequence & 7)));  // first frame
  return fuzzing::Frame(pelkor::kStartCable, pelkor::kAddressHost, pelkor::kAddressPhone, type, message);
}

const std::vector<Bytes> &Completions() {
  static const std::vector<Bytes> frames = {
      PhoneFrame(0x11, {0x01, 0x00, 0x00, 0x63, 0x01, 0x01, 0x07, 0x00, 0x07, 0xD1, 0x03, 0x0F, 0x0C, 0x1E, 0x2D}, 1),
      PhoneFrame(0x11, {0x01, 0x00, 0x00, 0x6E, 0x01, 0x20, 0x03, 0x00, 0x02, 0x07, 0x1E}, 2),
      PhoneFrame(0x0A,
                 {0x01, 0x00, 0x00, 0x71, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78, 0x62, 0xF2, 0x10},
                 3),
      PhoneFrame(0x40, {0x01, 0x00, 0x7E, 0x01, 'f', 'i', 'e', 'l', 'd', 0x00}, 4),
  };
  return frames;
}

void Feed(const uint8_t *bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) pelkor::OnByte(bytes[i]);
}

// ---- what was dispatched, and what should have been -----------------------------------

struct Dispatched {
  size_t at;  // index of the input byte whose arrival dispatched it
  uint8_t type;
  Bytes bytes;
};

bool g_recording = false;  // only while the input itself is fed
size_t g_inputIndex = 0;
std::vector<Dispatched> g_dispatched;

void FeedInput() {
  g_dispatched.clear();
  g_recording = true;
  for (g_inputIndex = 0; g_inputIndex < g_inputSize; ++g_inputIndex) pelkor::OnByte(g_input[g_inputIndex]);
  g_recording = false;
}

struct SeenFrame {
  size_t end;  // index of its last checksum byte
  uint8_t type;
  const uint8_t *payload;
  size_t length;
  bool first;  // the first-frame bit in its sequence byte
  uint8_t framesLeft;
  uint8_t number;  // low three bits of the sequence byte
  bool Data() const { return length >= 2; }
  bool Acknowledgement() const { return !first && type == pelkor::kTypeAck; }
};

// The frames of the input as a receiver that looks, at every byte, for the shortest
// frame from the phone ending there. Each start byte with a good header names the one
// place its frame can end, so the frame found at an end is the valid one that starts
// latest. The window before the input is zeros, so every frame lies within the input.
std::vector<SeenFrame> FramesOf(const uint8_t *data, size_t size) {
  std::vector<ptrdiff_t> startOfFrameEndingAt(size, -1);
  for (size_t start = 0; start + 8 <= size; ++start) {
    const uint8_t *f = data + start;
    if (f[0] != pelkor::kStartCable || f[1] != pelkor::kAddressHost || f[2] != pelkor::kAddressPhone || f[4] != 0)
      continue;
    const size_t frameSize = pelkor::FrameSize(f[5]);
    if (start + frameSize > size) continue;
    uint8_t even = 0, odd = 0;
    for (size_t i = 0; i + 2 < frameSize; ++i) (i % 2 == 0 ? even : odd) ^= f[i];
    if (f[frameSize - 2] != even || f[frameSize - 1] != odd) continue;
    startOfFrameEndingAt[start + frameSize - 1] = static_cast<ptrdiff_t>(start);  // a later start is shorter
  }
  std::vector<SeenFrame> frames;
  for (size_t end = 0; end < size; ++end) {
    if (startOfFrameEndingAt[end] < 0) continue;
    const uint8_t *f = data + startOfFrameEndingAt[end];
    SeenFrame frame{end, f[3], f + 6, f[5], false, 0, 0};
    const uint8_t sequence = frame.length > 0 ? frame.payload[frame.length - 1] : 0;
    frame.first = (sequence & 0xF0) == pelkor::kFirstFrameBit;
    frame.framesLeft = frame.length >= 2 ? frame.payload[frame.length - 2] : 0;
    frame.number = sequence & 0x07;
    frames.push_back(frame);
  }
  return frames;
}

Bytes Payload(const SeenFrame &frame) { return Bytes(frame.payload, frame.payload + frame.length); }

bool SameBytes(const Bytes &bytes, size_t offset, const uint8_t *expected, size_t length) {
  return offset + length <= bytes.size() && std::memcmp(bytes.data() + offset, expected, length) == 0;
}

// Is `message` the frames chain[0] = frames[first] ... frames[last] of one message,
// the ones between chosen among frames[first + 1 .. last - 1]? Repeated frames offer a
// choice, so this searches; a search that runs too long gives the benefit of the doubt.
class ChainSearch {
 public:
  ChainSearch(const std::vector<SeenFrame> &frames, size_t first, size_t last, const Bytes &message)
      : frames_(frames), first_(first), last_(last), message_(message) {}

  bool Found() {
    const SeenFrame &start = frames_[first_];
    if (first_ == last_) return start.framesLeft == 1 && message_ == Payload(start);
    if (!SameBytes(message_, 0, start.payload, start.length - 2)) return false;
    return From(first_, start.length - 2, start.framesLeft - 1, (start.number + 1) & 7);
  }

 private:
  bool From(size_t after, size_t offset, unsigned framesLeft, unsigned number) {
    if (++steps_ > kStepBudget) return true;
    const SeenFrame &end = frames_[last_];
    if (framesLeft == 1)
      return end.framesLeft == 1 && end.number == number && offset + end.length == message_.size() &&
             SameBytes(message_, offset, end.payload, end.length);
    for (size_t i = after + 1; i < last_; ++i) {
      const SeenFrame &f = frames_[i];
      if (f.first || !f.Data() || f.type != end.type || f.framesLeft != framesLeft || f.number != number) continue;
      if (!SameBytes(message_, offset, f.payload, f.length - 2)) continue;
      if (From(i, offset + f.length - 2, framesLeft - 1, (number + 1) & 7)) return true;
    }
    return false;
  }

  static constexpr size_t kStepBudget = 100000;
  const std::vector<SeenFrame> &frames_;
  size_t first_, last_;
  const Bytes &message_;
  size_t steps_ = 0;
};

// Index of the latest data frame with the first-frame bit at or before `k`, or -1.
ptrdiff_t LatestFirstFrame(const std::vector<SeenFrame> &frames, size_t k) {
  for (ptrdiff_t j = static_cast<ptrdiff_t>(k); j >= 0; --j)
    if (frames[static_cast<size_t>(j)].first && frames[static_cast<size_t>(j)].Data()) return j;
  return -1;
}

void CheckDispatches(const uint8_t *data, size_t size) {
  const std::vector<SeenFrame> frames = FramesOf(data, size);
  std::vector<ptrdiff_t> frameEndingAt(size, -1);
  for (size_t i = 0; i < frames.size(); ++i) frameEndingAt[frames[i].end] = static_cast<ptrdiff_t>(i);

  // Every message dispatched is one the input holds.
  std::vector<const Dispatched *> dispatchedAt(size, nullptr);
  for (const Dispatched &d : g_dispatched) {
    FUZZ_CHECK_MSG(frameEndingAt[d.at] >= 0, "a message of type %02X was dispatched at byte %zu, where no frame ends",
                   d.type, d.at);
    const size_t k = static_cast<size_t>(frameEndingAt[d.at]);
    const SeenFrame &f = frames[k];
    FUZZ_CHECK_MSG(d.type == f.type, "dispatched as type %02X at the end of a frame of type %02X", d.type, f.type);
    FUZZ_CHECK_MSG(dispatchedAt[d.at] == nullptr, "two messages dispatched at byte %zu", d.at);
    dispatchedAt[d.at] = &d;
    if (f.Acknowledgement()) {
      FUZZ_CHECK_MSG(d.bytes == Payload(f), "an acknowledgement was not dispatched as it came");
      continue;
    }
    FUZZ_CHECK_MSG(f.Data() && f.framesLeft == 1,
                   "type %02X dispatched at byte %zu by a frame that ends no message (frames-left %u, %s)", f.type,
                   d.at, f.framesLeft, f.first ? "first frame" : "not a first frame");
    const ptrdiff_t j = LatestFirstFrame(frames, k);
    FUZZ_CHECK_MSG(j >= 0, "type %02X dispatched at byte %zu without a first frame", f.type, d.at);
    const SeenFrame &start = frames[static_cast<size_t>(j)];
    FUZZ_CHECK_MSG(
        start.type == f.type,
        "type %02X dispatched at byte %zu although a first frame of type %02X (byte %zu) came after its start", f.type,
        d.at, start.type, start.end);
    FUZZ_CHECK_MSG(ChainSearch(frames, static_cast<size_t>(j), k, d.bytes).Found(),
                   "type %02X dispatched at byte %zu (%zu bytes) is not the unbroken run of frames that began at "
                   "byte %zu with frames-left %u",
                   f.type, d.at, d.bytes.size(), start.end, start.framesLeft);
  }

  // Every clean message is dispatched: its frames in order, nothing but the phone's
  // acknowledgements between them, within the message buffer.
  for (size_t k = 0; k < frames.size(); ++k) {
    const SeenFrame &end = frames[k];
    if (!end.Data() || end.framesLeft != 1 || end.Acknowledgement()) continue;
    const ptrdiff_t j = LatestFirstFrame(frames, k);
    if (j < 0 || frames[static_cast<size_t>(j)].type != end.type) continue;
    const SeenFrame &start = frames[static_cast<size_t>(j)];
    Bytes expected(start.payload, start.payload + start.length - 2);
    bool clean = start.length <= pelkor::kMessageSize;
    unsigned framesLeft = start.framesLeft, number = start.number;
    for (size_t i = static_cast<size_t>(j) + 1; clean && i <= k; ++i) {
      const SeenFrame &f = frames[i];
      if (f.Acknowledgement()) continue;
      clean = !f.first && f.Data() && f.type == end.type && f.framesLeft + 1 == framesLeft &&
              f.number == ((number + 1) & 7) && expected.size() + f.length <= pelkor::kMessageSize;
      if (!clean) break;
      framesLeft = f.framesLeft;
      number = f.number;
      expected.insert(expected.end(), f.payload, f.payload + f.length - (i == k ? 0 : 2));
    }
    if (static_cast<size_t>(j) == k)
      expected.insert(expected.end(), end.payload + end.length - 2, end.payload + end.length);
    if (!clean || framesLeft != 1) continue;
    const Dispatched *d = dispatchedAt[end.end];
    FUZZ_CHECK_MSG(d != nullptr, "a whole message of type %02X (%zu bytes, began at byte %zu) was never dispatched",
                   end.type, expected.size(), start.end);
    FUZZ_CHECK_MSG(d->bytes == expected, "a whole message of type %02X was dispatched altered", end.type);
  }
}

enum class Phase { kDescending, kFeeding, kDone };
Phase g_phase = Phase::kDone;
size_t g_nextCommand = 0;

void FeedInputAndCompletions() {
  g_phase = Phase::kFeeding;
  FeedInput();
  // Whatever the input left half-collected must not swallow the replies that end the
  // waits: start them on an empty receiver.
  pelkor::ResetReceiver();
  for (const Bytes &frame : Completions()) Feed(frame.data(), frame.size());
  g_phase = Phase::kDone;
}

// Starts the waiting commands one inside the other; a command that sends nothing (an
// answer still fresh) is simply passed over.
void Descend() {
  while (g_nextCommand < kWaitingCommandCount) {
    kWaitingCommands[g_nextCommand++]();
    if (g_phase != Phase::kDescending) return;  // its request started the rest
  }
  FeedInputAndCompletions();
}

// The port: every write succeeds; the first data frame written while the commands are
// being started is the moment the next one starts.
class HarnessPort final : public pelkor::platform::SerialPort {
 public:
  bool Open(const char *) override { return open_ = true; }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  bool SetBaudRate(int32_t) override { return true; }
  void SetDtr(bool) override {}
  void SetRts(bool) override {}
  void Purge() override {}
  void DrainOutput() override {}
  size_t ReadQueued(uint8_t *, size_t) override { return 0; }
  size_t Write(const uint8_t *buffer, size_t length) override {
    const bool dataFrame = length > 3 && buffer[3] != pelkor::kTypeAck;
    if (dataFrame && g_phase == Phase::kDescending) Descend();
    return length;
  }
  void WaitForInput() override {}
  void CancelWait() override {}
  void ResetCancel() override {}

 private:
  bool open_ = false;
};

HarnessPort g_port;

// ---- the clock and the sleeps --------------------------------------------------------

int64_t g_clockOffsetMs = 0;
constexpr int64_t kClockStepPerInputMs = 24LL * 3600 * 1000;  // past every answer cache

void ResetLink() {
  pelkor::LinkSession &s = Session();
  s.connectionType = 0;
  s.lastAck = 0xFFFF;
  s.lastType = 0;
  s.lastSequence = 0;
  s.messageLength = 0;
  s.linkUp = false;
  s.phoneHeard = false;
  s.sessionOpen = true;  // the net monitor asks only in an open session
  pelkor::SetPreparatoryRequestPending(false);
  pelkor::ResetReceiver();
}

void RemoveDumps() {
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(g_dumpDirectory, error)) {
    if (entry.path().filename().string().rfind("UCS2-", 0) == 0) std::filesystem::remove(entry.path(), error);
  }
}

bool Terminated(const char *text, size_t capacity) { return std::memchr(text, '\0', capacity) != nullptr; }

// Fixes the checksums of the frames a mutation left in the input, most of the time, so
// that mutated payloads still reach the handlers; the rest are left as they came, so
// that broken checksums are fuzzed too.
void MendChecksums(uint8_t *data, size_t size) {
  size_t p = 0;
  while (p + 8 <= size) {
    const bool header = data[p] == pelkor::kStartCable && data[p + 1] == pelkor::kAddressHost &&
                        data[p + 2] == pelkor::kAddressPhone && data[p + 4] == 0x00;
    const size_t frameSize = header ? pelkor::FrameSize(data[p + 5]) : 0;
    if (!header || p + frameSize > size) {
      ++p;
      continue;
    }
    const size_t end = p + frameSize - 2;
    uint8_t even = 0, odd = 0;
    for (size_t i = p; i < end; ++i) ((i - p) % 2 == 0 ? even : odd) ^= data[i];
    data[end] = even;
    data[end + 1] = odd;
    p += frameSize;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  pelkor::UsePortForTesting(&g_port);
  g_port.Open("fuzz");
  // The UCS-2 read handler writes copies of what it read into TMPDIR.
  g_dumpDirectory = fuzzing::ScratchPath("dumps");
  std::filesystem::create_directories(g_dumpDirectory);
  setenv("TMPDIR", g_dumpDirectory.c_str(), 1);
  return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize, unsigned int seed) {
  size = LLVMFuzzerMutate(data, size, maxSize);
  if (seed % 4 != 0) MendChecksums(data, size);
  return size;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  g_clockOffsetMs += kClockStepPerInputMs;
  ResetLink();

  // The records of the commands whose targets the harness attaches itself.
  pelkor::LogoBitmap logo{};
  pelkor::SmsRecord sms{};
  pelkor::SmsRecord centre{};
  pelkor::SmsCounts counts{};
  pelkor::MemoryCounts memory{};
  pelkor::PhonebookEntry entry{};
  pelkor::SpeedDial dial{};
  pelkor::PhonebookSession &pb = pelkor::Phonebook();

  pelkor::LogoTransfers().downloadTarget.Attach(&logo);
  pelkor::Sms().sendTarget.Attach(&sms);
  pelkor::Sms().centreTarget.Attach(&centre);
  pelkor::Sms().countsTarget.Attach(&counts);
  pb.memoryCountsTarget.Attach(&memory);
  pb.entryTarget.Attach(&entry);
  pb.speedDialTarget.Attach(&dial);
  for (pelkor::StatusCell *cell :
       {&pelkor::LogoTransfers().uploadCell, &pelkor::LogoTransfers().downloadCell, &pelkor::Sms().sendCell,
        &pelkor::Sms().centreCell, &pelkor::Sms().countsCell, &pb.memoryStatusCell, &pb.entryCell, &pb.speedDialCell})
    cell->Arm(pelkor::kPending);

  g_input = data;
  g_inputSize = size;
  g_nextCommand = 0;
  g_phase = Phase::kDescending;
  Descend();
  FUZZ_CHECK(g_phase == Phase::kDone);

  pb.speedDialTarget.Detach();
  pb.entryTarget.Detach();
  pb.memoryCountsTarget.Detach();
  pelkor::Sms().countsTarget.Detach();
  pelkor::Sms().centreTarget.Detach();
  pelkor::Sms().sendTarget.Detach();
  pelkor::LogoTransfers().downloadTarget.Detach();

  // A waiting command that ran out of time means the replies above no longer end its
  // wait: every input would then cost seconds. Say so once rather than crawl silently.
  static bool warned = false;
  if (!warned && (g_dateTimeResult != 0 || g_alarmResult != 0 || g_networkResult != 0)) {
    warned = true;
    std::fprintf(stderr,
                 "receiver harness: a waiting command timed out (date %d, alarm %d, network %d); "
                 "the replies that end the waits need updating\n",
                 g_dateTimeResult, g_alarmResult, g_networkResult);
  }

  // What the handlers wrote stays within its fields.
  FUZZ_CHECK(logo.size <= pelkor::kLogoBitmapCapacity);
  FUZZ_CHECK(Terminated(logo.groupName, sizeof logo.groupName));
  FUZZ_CHECK(Terminated(sms.text, sizeof sms.text));
  FUZZ_CHECK(Terminated(sms.sender, sizeof sms.sender));
  FUZZ_CHECK(Terminated(sms.centreNumber, sizeof sms.centreNumber));
  FUZZ_CHECK(Terminated(centre.centreNumber, sizeof centre.centreNumber));
  FUZZ_CHECK(Terminated(entry.name, sizeof entry.name));
  FUZZ_CHECK(Terminated(entry.number, sizeof entry.number));
  FUZZ_CHECK(sms.userDataLength >= 0 && sms.userDataLength < static_cast<int32_t>(sizeof sms.text));

  CheckDispatches(data, size);

  RemoveDumps();
  return 0;
}

// ---- link-time wraps (-Wl,--wrap=...) --------------------------------------------------

extern "C" int64_t __real__ZN6pelkor8platform11MonotonicMsEv();
extern "C" void __real__ZN6pelkor14ProcessMessageEv();

// pelkor::ProcessMessage: notes what the receiver dispatches while the input is fed.
extern "C" void __wrap__ZN6pelkor14ProcessMessageEv() {
  if (g_recording) {
    const pelkor::LinkSession &s = Session();
    g_dispatched.push_back({g_inputIndex, s.lastType, Bytes(s.message, s.message + s.messageLength)});
  }
  __real__ZN6pelkor14ProcessMessageEv();
}

// pelkor::platform::SleepMs: the pacing sleeps after each message would be most of a
// run's time and change nothing the receiver does.
extern "C" void __wrap__ZN6pelkor8platform7SleepMsEi(int32_t) {}

// pelkor::platform::MonotonicMs: real time within an input, a day later for each new one.
extern "C" int64_t __wrap__ZN6pelkor8platform11MonotonicMsEv() {
  return __real__ZN6pelkor8platform11MonotonicMsEv() + g_clockOffsetMs;
}
