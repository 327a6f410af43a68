#include "simulator.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

namespace phonesim {

namespace {

using Clock = std::chrono::steady_clock;

void SignalFd(int fd) {
  const uint64_t one = 1;
  if (fd < 0) return;
  const ssize_t result = ::write(fd, &one, sizeof one);
  (void)result;  // a full counter already means "wake up"
}

void DrainFd(int fd) {
  uint64_t count = 0;
  if (fd < 0) return;
  const ssize_t result = ::read(fd, &count, sizeof count);
  (void)result;  // nothing to drain is fine
}

std::optional<Clock::time_point> Earliest(std::optional<Clock::time_point> alarm, Clock::time_point other) {
  return alarm ? std::min(*alarm, other) : other;
}

timespec TimeUntil(Clock::time_point alarm) {
  const auto left = std::max(Clock::duration::zero(), alarm - Clock::now());
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  timespec timeout{};
  timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
  timeout.tv_nsec = static_cast<long>(ns % 1000000000);
  return timeout;
}

}  // namespace

Simulator::Simulator(Options options)
    : options_(std::move(options)), handlers_(MakeHandlerTable()), state_(handlers_.Defaults()) {
  line_.SetPaced(options_.paced);
  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  quitFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  AddControls();
}

Simulator::~Simulator() {
  Stop();
  for (int fd : {wakeFd_, quitFd_}) {
    if (fd >= 0) ::close(fd);
  }
}

bool Simulator::Start() {
  if (running_.load()) return true;
  std::lock_guard lock(mutex_);
  if (wakeFd_ < 0 || quitFd_ < 0) {
    error_ = "eventfd failed";
    return false;
  }
  if (!options_.filesDir.empty() && !state_.ConfineFiles(options_.filesDir, error_)) return false;
  if (!LoadStateFile()) return false;
  const bool opened =
      options_.device.empty() ? transport_.OpenPty(options_.linkPath) : transport_.OpenDevice(options_.device);
  if (!opened) {
    error_ = transport_.Error();
    return false;
  }
  devicePath_ = transport_.DevicePath();
  DrainFd(wakeFd_);
  running_.store(true);
  thread_ = std::thread(&Simulator::Run, this);
  return true;
}

bool Simulator::LoadStateFile() {
  if (options_.stateFile.empty()) return true;
  std::ifstream file(options_.stateFile);
  if (!file) {
    error_ = "cannot read state file " + options_.stateFile;
    return false;
  }
  const nlohmann::json loaded = nlohmann::json::parse(file, nullptr, false);
  if (loaded.is_discarded() || !loaded.is_object()) {
    error_ = "state file " + options_.stateFile + " is not a JSON object";
    return false;
  }
  state_.Load(loaded);
  return true;
}

void Simulator::Stop() {
  if (!running_.exchange(false)) return;
  Wake();
  if (thread_.joinable()) thread_.join();
  transport_.Close();
  NotifyChange();
}

void Simulator::Wake() { SignalFd(wakeFd_); }

void Simulator::NotifyChange() {
  {
    std::lock_guard lock(changeMutex_);
    ++changeCount_;
  }
  changed_.notify_all();
}

std::string Simulator::DevicePath() const {
  std::lock_guard lock(mutex_);
  return devicePath_;
}

std::string Simulator::LastError() const {
  std::lock_guard lock(mutex_);
  return error_;
}

void Simulator::Run() {
  std::array<uint8_t, 4096> buffer{};
  Clock::time_point nextDue{};
  while (running_.load() && RunOnce(buffer, nextDue)) {
  }
}

bool Simulator::RunOnce(std::array<uint8_t, 4096> &buffer, Clock::time_point &nextDue) {
  RunDueActions();
  int lineEvents = 0;
  WaitForLine(nextDue, lineEvents);
  if (lineEvents < 0) return false;
  DrainFd(wakeFd_);
  if (!running_.load()) return false;
  if (lineEvents & (POLLERR | POLLHUP | POLLNVAL)) {
    LineLost();
    return false;
  }
  // Opens and closes first: they tell whether the bytes below have a reader.
  if (transport_.HandleWatchEvents()) {
    std::lock_guard lock(mutex_);
    line_.ClientGone();  // the client that was to read the output has gone
  }
  ReadInput(buffer);
  FlushOutput(nextDue);
  return true;
}

// Sleeps until something happens; a paced byte not yet due (either way) and a delayed
// action (the network's) set an alarm. (A byte that is due waits for POLLOUT like any
// other, so a client that stops reading does not set us spinning.) `lineEvents` is
// what the terminal reported, or -1 when the wait failed.
void Simulator::WaitForLine(Clock::time_point nextDue, int &lineEvents) {
  bool haveOutput = false;
  bool paced = false;
  std::optional<Clock::time_point> alarm;
  Clock::time_point nextRead{};
  bool wantRead = true;
  {
    std::lock_guard lock(mutex_);
    haveOutput = line_.HasOutput();
    paced = line_.Paced();
    if (!later_.empty()) alarm = later_.begin()->first;
    wantRead = line_.InputAllowance(Clock::now(), nextRead) > 0;
  }
  const bool wantWrite = haveOutput && !(paced && nextDue > Clock::now());
  std::array<pollfd, 3> fds{};
  nfds_t count = 0;
  fds[count++] = {wakeFd_, POLLIN, 0};
  fds[count++] = {transport_.Fd(), static_cast<short>((wantRead ? POLLIN : 0) | (wantWrite ? POLLOUT : 0)), 0};
  if (transport_.WatchFd() >= 0) fds[count++] = {transport_.WatchFd(), POLLIN, 0};

  if (haveOutput && !wantWrite) alarm = Earliest(alarm, nextDue);
  if (!wantRead) alarm = Earliest(alarm, nextRead);
  timespec timeout{};
  if (alarm) timeout = TimeUntil(*alarm);
  if (ppoll(fds.data(), count, alarm ? &timeout : nullptr, nullptr) < 0 && errno != EINTR) {
    lineEvents = -1;
    return;
  }
  lineEvents = fds[1].revents;
}

// Only a real device can go away (we hold the terminal side of our own pty open). Give
// up rather than spin, and let whoever runs us know.
void Simulator::LineLost() {
  {
    std::lock_guard lock(mutex_);
    error_ = "the line to " + devicePath_ + " was lost";
  }
  RequestQuit();
  NotifyChange();
}

void Simulator::ReadInput(std::array<uint8_t, 4096> &buffer) {
  for (;;) {
    size_t allowed = 0;
    Clock::time_point nextRead{};
    const auto now = Clock::now();
    {
      std::lock_guard lock(mutex_);
      allowed = std::min(line_.InputAllowance(now, nextRead), buffer.size());
    }
    if (allowed == 0) break;
    const ptrdiff_t got = transport_.ReadSome(buffer.data(), allowed);
    std::lock_guard lock(mutex_);
    line_.TookInput(now, got > 0 ? static_cast<size_t>(got) : 0, allowed);
    if (got <= 0) break;
    Receive(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(got)));
  }
}

void Simulator::Receive(std::span<const uint8_t> bytes) {
  const auto now = Clock::now();
  recorder_.RecordWire(bytes);
  for (const Frame &frame : line_.ReadFrames(bytes)) {
    if (options_.verbose) {
      std::fprintf(stderr, "phonesim: <- %02X %02X [%s]\n", frame.start, frame.type, ToHex(frame.payload).c_str());
    }
    const LinkEvent event = line_.OnFrame(frame);
    recorder_.RecordFrame(frame, event.isAck, now);
    if (event.isAck) {
      recorder_.CountAck();
      continue;
    }
    if (event.needsAck && faults_.Acknowledging() && !faults_.Silent()) QueueOutput(PhoneLine::AckFor(frame, event));
    if (event.message) {
      recorder_.RecordMessage(*event.message, now);
      if (!faults_.Silent()) Dispatch(*event.message);  // with the cable pulled the phone hears nothing
    }
  }
  NotifyChange();
}

void Simulator::Dispatch(const Message &message) {
  const Handler *handler = handlers_.Find(message.type, message.bytes);
  if (handler == nullptr) return;  // acknowledged and recorded, nothing to answer
  Replies replies;
  try {
    (*handler)(Request{message.start, message.type, message.bytes}, state_, replies);
  } catch (const std::exception &failure) {
    // A state file with odd contents must not take the phone down.
    std::fprintf(stderr, "phonesim: handler for type 0x%02X failed: %s\n", message.type, failure.what());
    return;
  }
  QueueReplies(message.start, replies);
}

void Simulator::QueueReplies(uint8_t start, const Replies &replies) {
  for (const OutgoingMessage &reply : replies.Messages()) QueueFrames(line_.FramesFor(start, reply.type, reply.bytes));
  if (replies.Deferred().empty()) return;
  const auto now = Clock::now();
  for (const LaterAction &later : replies.Deferred()) later_.emplace(now + later.delay, later.action);
  Wake();  // the I/O thread's next wait must end in time for it
}

bool Simulator::RunDueActions() {
  bool ran = false;
  for (;;) {
    std::lock_guard lock(mutex_);
    if (later_.empty() || later_.begin()->first > Clock::now()) break;
    const Deferred action = std::move(later_.begin()->second);
    later_.erase(later_.begin());
    Replies replies;
    try {
      action(state_, replies);
    } catch (const std::exception &failure) {
      std::fprintf(stderr, "phonesim: a delayed action failed: %s\n", failure.what());
      continue;
    }
    QueueReplies(line_.LastStart(), replies);
    ran = true;
  }
  if (ran) NotifyChange();
  return ran;
}

void Simulator::QueueOutput(const std::vector<uint8_t> &bytes) {
  if (faults_.Silent() || !line_.Queue(bytes)) return;
  Wake();
}

void Simulator::QueueFrames(const std::vector<std::vector<uint8_t>> &frames) {
  // The frames keep their sequence numbers whether or not they reach the wire.
  const size_t skip = faults_.FrameToLose(frames.size());
  for (size_t i = 0; i < frames.size(); ++i)
    if (i != skip) QueueOutput(frames[i]);
}

void Simulator::FlushOutput(Clock::time_point &nextDue) {
  std::vector<uint8_t> chunk;
  {
    std::lock_guard lock(mutex_);
    if (faults_.Silent() || !transport_.ClientPresent()) {
      line_.DropOutput();  // nobody on the line: the bytes are lost, as on a real wire
      return;
    }
    if (!line_.HasOutput()) return;
    chunk = line_.NextChunk(Clock::now());
  }
  ptrdiff_t written = chunk.empty() ? 0 : transport_.WriteSome(chunk.data(), chunk.size());
  if (written < 0) written = 0;  // a client that vanished mid-write; the watch will tell
  std::lock_guard lock(mutex_);
  nextDue = line_.Written(static_cast<size_t>(written));
}

void Simulator::SetSilent(bool silent) {
  {
    std::lock_guard lock(mutex_);
    faults_.SetSilent(silent);
  }
  Wake();
}

void Simulator::SetAcknowledging(bool acknowledging) {
  std::lock_guard lock(mutex_);
  faults_.SetAcknowledging(acknowledging);
}

void Simulator::SetPaced(bool paced) {
  {
    std::lock_guard lock(mutex_);
    line_.SetPaced(paced);
  }
  Wake();
}

bool Simulator::Silent() const {
  std::lock_guard lock(mutex_);
  return faults_.Silent();
}

bool Simulator::Acknowledging() const {
  std::lock_guard lock(mutex_);
  return faults_.Acknowledging();
}

bool Simulator::Paced() const {
  std::lock_guard lock(mutex_);
  return line_.Paced();
}

void Simulator::InjectNoise(size_t count) {
  std::lock_guard lock(mutex_);
  QueueOutput(faults_.Noise(count));
}

void Simulator::InjectCorruptFrame() {
  std::lock_guard lock(mutex_);
  QueueOutput(FaultInjector::CorruptFrame(line_.LastStart(), line_.NextSequence()));
}

std::string Simulator::RunFamilyControl(const ControlCommand &command, const std::string &arguments) {
  std::string answer;
  Replies replies;
  {
    std::lock_guard lock(mutex_);
    try {
      answer = command.handler(arguments, state_, replies);
    } catch (const std::exception &failure) {
      return std::string("error: ") + failure.what();
    }
    QueueReplies(line_.LastStart(), replies);
  }
  NotifyChange();
  return answer;
}

bool Simulator::SendMessage(uint8_t type, const std::vector<uint8_t> &bytes) {
  std::lock_guard lock(mutex_);
  if (faults_.Silent()) return false;
  const auto frames = line_.FramesFor(line_.LastStart(), type, bytes);
  QueueFrames(frames);
  return !frames.empty();
}

void Simulator::LoseFrame(size_t index) {
  std::lock_guard lock(mutex_);
  faults_.LoseFrame(index);
}

size_t Simulator::FrameLossPending() const {
  std::lock_guard lock(mutex_);
  return faults_.FrameLossPending();
}

size_t Simulator::FramesLost() const {
  std::lock_guard lock(mutex_);
  return faults_.FramesLost();
}

std::vector<uint8_t> Simulator::Wire() const {
  std::lock_guard lock(mutex_);
  return recorder_.Wire();
}

void Simulator::ClearWire() {
  std::lock_guard lock(mutex_);
  recorder_.ClearWire();
}

std::vector<ReceivedFrame> Simulator::Frames() const {
  std::lock_guard lock(mutex_);
  return recorder_.Frames();
}

std::vector<ReceivedMessage> Simulator::Messages() const {
  std::lock_guard lock(mutex_);
  return recorder_.Messages();
}

void Simulator::ClearRecords() {
  std::lock_guard lock(mutex_);
  recorder_.Clear();
}

size_t Simulator::AcksReceived() const {
  std::lock_guard lock(mutex_);
  return recorder_.Acks();
}

std::string Simulator::Info() const {
  std::lock_guard lock(mutex_);
  std::ostringstream info;
  info << "device " << devicePath_ << " silent " << (faults_.Silent() ? "on" : "off") << " ack "
       << (faults_.Acknowledging() ? "on" : "off") << " pace " << (line_.Paced() ? "on" : "off") << " frames "
       << recorder_.Frames().size() << " messages " << recorder_.Messages().size() << " acks " << recorder_.Acks();
  return info.str();
}

void Simulator::RequestQuit() {
  quit_.store(true);
  SignalFd(quitFd_);
}

nlohmann::json Simulator::State() const {
  std::lock_guard lock(mutex_);
  return state_.Json();
}

void Simulator::LoadState(const nlohmann::json &state) {
  {
    std::lock_guard lock(mutex_);
    state_.Load(state);
  }
  NotifyChange();
}

bool Simulator::WaitFor(std::function<bool()> pred, std::chrono::milliseconds timeout) const {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    uint64_t seen = 0;
    {
      std::lock_guard lock(changeMutex_);
      seen = changeCount_;
    }
    if (pred()) return true;
    const auto now = Clock::now();
    if (now >= deadline) return false;
    // Wake on any change, and now and then anyway in case pred watches something else.
    std::unique_lock lock(changeMutex_);
    changed_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(20)),
                        [&] { return changeCount_ != seen; });
  }
}

}  // namespace phonesim
