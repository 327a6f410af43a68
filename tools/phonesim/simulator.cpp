#include "simulator.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>

namespace phonesim {

namespace {

// Records are for tests and people watching; keep them from growing without end when
// the simulator runs for days.
constexpr size_t kMaxWire = 1 << 20;
constexpr size_t kMaxRecords = 100000;
constexpr size_t kMaxNoise = 1 << 20;

template <typename T>
void keep_bounded(std::vector<T> &records, size_t limit) {
  if (records.size() > limit) records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(limit / 2));
}

constexpr size_t kMaxOutput = 1 << 20;

void signal_fd(int fd) {
  const uint64_t one = 1;
  if (fd < 0) return;
  const ssize_t result = ::write(fd, &one, sizeof one);
  (void)result;  // a full counter already means "wake up"
}

void drain_fd(int fd) {
  uint64_t count = 0;
  if (fd < 0) return;
  const ssize_t result = ::read(fd, &count, sizeof count);
  (void)result;  // nothing to drain is fine
}

}  // namespace

Simulator::Simulator(Options options)
    : options_(std::move(options)), handlers_(make_handler_table()), state_(handlers_.defaults()) {
  paced_ = options_.paced;
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  quit_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

Simulator::~Simulator() {
  stop();
  for (int fd : {wake_fd_, quit_fd_}) {
    if (fd >= 0) ::close(fd);
  }
}

bool Simulator::start() {
  if (running_.load()) return true;
  std::lock_guard lock(mutex_);
  if (wake_fd_ < 0 || quit_fd_ < 0) {
    error_ = "eventfd failed";
    return false;
  }
  if (!options_.files_dir.empty() && !state_.confine_files(options_.files_dir, error_)) return false;
  if (!options_.state_file.empty()) {
    std::ifstream file(options_.state_file);
    if (!file) {
      error_ = "cannot read state file " + options_.state_file;
      return false;
    }
    const nlohmann::json loaded = nlohmann::json::parse(file, nullptr, false);
    if (loaded.is_discarded() || !loaded.is_object()) {
      error_ = "state file " + options_.state_file + " is not a JSON object";
      return false;
    }
    state_.load(loaded);
  }
  const bool opened =
      options_.device.empty() ? transport_.open_pty(options_.link_path) : transport_.open_device(options_.device);
  if (!opened) {
    error_ = transport_.error();
    return false;
  }
  device_path_ = transport_.device_path();
  drain_fd(wake_fd_);
  running_.store(true);
  thread_ = std::thread(&Simulator::run, this);
  return true;
}

void Simulator::stop() {
  if (!running_.exchange(false)) return;
  wake();
  if (thread_.joinable()) thread_.join();
  transport_.close();
  notify_change();
}

void Simulator::wake() { signal_fd(wake_fd_); }

void Simulator::notify_change() {
  {
    std::lock_guard lock(change_mutex_);
    ++change_count_;
  }
  changed_.notify_all();
}

std::string Simulator::device_path() const {
  std::lock_guard lock(mutex_);
  return device_path_;
}

std::string Simulator::last_error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

void Simulator::run() {
  using clock = std::chrono::steady_clock;
  std::array<uint8_t, 4096> buffer{};
  clock::time_point next_due{};
  while (running_.load()) {
    run_due_actions();
    bool have_output = false;
    bool paced = false;
    std::optional<clock::time_point> next_action;
    clock::time_point next_read{};
    bool want_read = true;
    {
      std::lock_guard lock(mutex_);
      have_output = !output_.empty();
      paced = paced_;
      if (!later_.empty()) next_action = later_.begin()->first;
      want_read = input_allowance(clock::now(), next_read) > 0;
    }
    std::array<pollfd, 3> fds{};
    nfds_t count = 0;
    fds[count++] = {wake_fd_, POLLIN, 0};
    const bool want_write = have_output && !(paced && next_due > clock::now());
    fds[count++] = {transport_.fd(), static_cast<short>((want_read ? POLLIN : 0) | (want_write ? POLLOUT : 0)), 0};
    if (transport_.watch_fd() >= 0) fds[count++] = {transport_.watch_fd(), POLLIN, 0};

    timespec timeout{};
    // Sleep until something happens; a paced byte not yet due (either way) and a
    // delayed action (the network's) set an alarm. (A byte that is due waits for
    // POLLOUT like any other, so a client that stops reading does not set us spinning.)
    const timespec *wait = nullptr;
    std::optional<clock::time_point> alarm = next_action;
    if (have_output && !want_write) alarm = alarm ? std::min(*alarm, next_due) : next_due;
    if (!want_read) alarm = alarm ? std::min(*alarm, next_read) : next_read;
    if (alarm) {
      const auto left = std::max(clock::duration::zero(), *alarm - clock::now());
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
      timeout.tv_nsec = static_cast<long>(ns % 1000000000);
      wait = &timeout;
    }
    if (ppoll(fds.data(), count, wait, nullptr) < 0 && errno != EINTR) break;
    drain_fd(wake_fd_);
    if (!running_.load()) break;
    if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      // Only a real device can go away (we hold the terminal side of our own pty open).
      // Give up rather than spin, and let whoever runs us know.
      {
        std::lock_guard lock(mutex_);
        error_ = "the line to " + device_path_ + " was lost";
      }
      quit_.store(true);
      signal_fd(quit_fd_);
      notify_change();
      break;
    }

    // Opens and closes first: they tell whether the bytes below have a reader.
    if (transport_.handle_watch_events()) {
      std::lock_guard lock(mutex_);
      output_.clear();  // the client that was to read it has gone
      pacing_ = false;
      input_pacing_ = false;
    }
    for (;;) {
      size_t allowed = 0;
      const auto now = clock::now();
      {
        std::lock_guard lock(mutex_);
        allowed = std::min(input_allowance(now, next_read), buffer.size());
      }
      if (allowed == 0) break;
      const ptrdiff_t got = transport_.read_some(buffer.data(), allowed);
      std::lock_guard lock(mutex_);
      if (got <= 0) {
        input_pacing_ = false;  // the line is idle
        break;
      }
      if (paced_) {
        if (!input_pacing_) {
          input_pacing_ = true;
          input_origin_ = now;
          input_taken_ = 0;
        }
        input_taken_ += static_cast<size_t>(got);
        if (static_cast<size_t>(got) < allowed) input_pacing_ = false;  // all there was
      }
      receive(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(got)));
    }
    flush_output(next_due);
  }
}

size_t Simulator::input_allowance(std::chrono::steady_clock::time_point now,
                                  std::chrono::steady_clock::time_point &next) const {
  if (!paced_) return SIZE_MAX;
  if (!input_pacing_) return 1;  // the first byte of a burst
  const auto due = static_cast<size_t>((now - input_origin_) / kByteTime) + 1;
  if (due > input_taken_) return due - input_taken_;
  next = input_origin_ + kByteTime * static_cast<long>(input_taken_);
  return 0;
}

void Simulator::receive(std::span<const uint8_t> bytes) {
  const auto now = std::chrono::steady_clock::now();
  wire_.insert(wire_.end(), bytes.begin(), bytes.end());
  if (wire_.size() > kMaxWire) wire_.erase(wire_.begin(), wire_.begin() + static_cast<std::ptrdiff_t>(kMaxWire / 2));

  for (const Frame &frame : reader_.feed(bytes)) {
    if (options_.verbose) {
      std::fprintf(stderr, "phonesim: <- %02X %02X [%s]\n", frame.start, frame.type, to_hex(frame.payload).c_str());
    }
    last_start_ = frame.start;
    const LinkEvent event = link_.on_frame(frame);
    frames_.push_back({frame.start, frame.type, frame.payload, event.is_ack, now});
    keep_bounded(frames_, kMaxRecords);
    if (event.is_ack) {
      ++acks_;
      continue;
    }
    if (event.needs_ack && acknowledging_ && !silent_) {
      queue_output(LinkLayer::ack_frame(frame.start, event.ack_type, event.ack_sequence));
    }
    if (event.message) {
      messages_.push_back({event.message->start, event.message->type, event.message->bytes, now});
      keep_bounded(messages_, kMaxRecords);
      if (!silent_) dispatch(*event.message);  // with the cable pulled the phone hears nothing
    }
  }
  notify_change();
}

void Simulator::dispatch(const Message &message) {
  const Handler *handler = handlers_.find(message.type, message.bytes);
  if (handler == nullptr) return;  // acknowledged and recorded, nothing to answer
  Replies replies;
  try {
    (*handler)(Request{message.start, message.type, message.bytes}, state_, replies);
  } catch (const std::exception &failure) {
    // A state file with odd contents must not take the phone down.
    std::fprintf(stderr, "phonesim: handler for type 0x%02X failed: %s\n", message.type, failure.what());
    return;
  }
  queue_replies(message.start, replies);
}

void Simulator::queue_replies(uint8_t start, const Replies &replies) {
  for (const OutgoingMessage &reply : replies.messages())
    queue_frames(link_.frames_for(start, reply.type, reply.bytes));
  if (replies.deferred().empty()) return;
  const auto now = std::chrono::steady_clock::now();
  for (const LaterAction &later : replies.deferred()) later_.emplace(now + later.delay, later.action);
  wake();  // the I/O thread's next wait must end in time for it
}

bool Simulator::run_due_actions() {
  bool ran = false;
  for (;;) {
    std::lock_guard lock(mutex_);
    if (later_.empty() || later_.begin()->first > std::chrono::steady_clock::now()) break;
    const Deferred action = std::move(later_.begin()->second);
    later_.erase(later_.begin());
    Replies replies;
    try {
      action(state_, replies);
    } catch (const std::exception &failure) {
      std::fprintf(stderr, "phonesim: a delayed action failed: %s\n", failure.what());
      continue;
    }
    queue_replies(last_start_, replies);
    ran = true;
  }
  if (ran) notify_change();
  return ran;
}

void Simulator::queue_output(const std::vector<uint8_t> &bytes) {
  // A client that never reads must not make us hoard bytes for ever.
  if (silent_ || output_.size() + bytes.size() > kMaxOutput) return;
  output_.insert(output_.end(), bytes.begin(), bytes.end());
  wake();
}

void Simulator::queue_frames(const std::vector<std::vector<uint8_t>> &frames) {
  // The frames keep their sequence numbers whether or not they reach the wire.
  size_t skip = frames.size();
  if (lose_frame_ > 0 && frames.size() > 1 && !silent_) {
    skip = std::min(lose_frame_, frames.size()) - 1;
    lose_frame_ = 0;
    ++frames_lost_;
  }
  for (size_t i = 0; i < frames.size(); ++i)
    if (i != skip) queue_output(frames[i]);
}

void Simulator::flush_output(std::chrono::steady_clock::time_point &next_due) {
  using clock = std::chrono::steady_clock;
  std::vector<uint8_t> chunk;
  {
    std::lock_guard lock(mutex_);
    if (silent_ || !transport_.client_present()) {
      output_.clear();  // nobody on the line: the bytes are lost, as on a real wire
      pacing_ = false;
      return;
    }
    if (output_.empty()) return;
    size_t allowed = output_.size();
    if (paced_) {
      const auto now = clock::now();
      if (!pacing_) {
        pacing_ = true;
        pace_origin_ = now;
        pace_sent_ = 0;
      }
      const auto due = static_cast<size_t>((now - pace_origin_) / kByteTime) + 1;
      allowed = due > pace_sent_ ? std::min(allowed, due - pace_sent_) : 0;
    }
    chunk.assign(output_.begin(), output_.begin() + static_cast<std::ptrdiff_t>(allowed));
  }
  ptrdiff_t written = chunk.empty() ? 0 : transport_.write_some(chunk.data(), chunk.size());
  if (written < 0) written = 0;  // a client that vanished mid-write; the watch will tell
  std::lock_guard lock(mutex_);
  // Only this thread takes bytes off the front, so the first `written` bytes are the
  // ones just written.
  output_.erase(output_.begin(),
                output_.begin() + std::min<std::ptrdiff_t>(written, static_cast<std::ptrdiff_t>(output_.size())));
  if (paced_ && pacing_) {
    pace_sent_ += static_cast<size_t>(written);
    next_due = pace_origin_ + kByteTime * static_cast<long>(pace_sent_);
    if (output_.empty()) pacing_ = false;
  } else {
    next_due = {};
    pacing_ = false;
  }
}

void Simulator::set_silent(bool silent) {
  {
    std::lock_guard lock(mutex_);
    silent_ = silent;
  }
  wake();
}

void Simulator::set_acknowledging(bool acknowledging) {
  std::lock_guard lock(mutex_);
  acknowledging_ = acknowledging;
}

void Simulator::set_paced(bool paced) {
  {
    std::lock_guard lock(mutex_);
    paced_ = paced;
    pacing_ = false;
    input_pacing_ = false;
  }
  wake();
}

bool Simulator::silent() const {
  std::lock_guard lock(mutex_);
  return silent_;
}

bool Simulator::acknowledging() const {
  std::lock_guard lock(mutex_);
  return acknowledging_;
}

bool Simulator::paced() const {
  std::lock_guard lock(mutex_);
  return paced_;
}

void Simulator::inject_noise(size_t count) {
  std::lock_guard lock(mutex_);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> noise(std::min(count, kMaxNoise));
  for (uint8_t &b : noise) b = static_cast<uint8_t>(byte(random_));
  queue_output(noise);
}

void Simulator::inject_corrupt_frame() {
  std::lock_guard lock(mutex_);
  // A status answer that would be accepted but for its last checksum byte. It does not
  // take a sequence number: as far as the link goes it was never sent.
  const uint8_t sequence = static_cast<uint8_t>(kFirstFrameBit | link_.next_sequence());
  const std::vector<uint8_t> payload = {0x01, 0x08, 0x00, 0x02, 0x01, 0x03, 0x01, 0x00, 0x02, 0x01, sequence};
  std::vector<uint8_t> frame = build_phone_frame(last_start_, 0x04, payload);
  frame.back() ^= 0x5A;
  queue_output(frame);
}

std::string Simulator::run_family_control(const ControlCommand &command, const std::string &arguments) {
  std::string answer;
  Replies replies;
  {
    std::lock_guard lock(mutex_);
    try {
      answer = command.handler(arguments, state_, replies);
    } catch (const std::exception &failure) {
      return std::string("error: ") + failure.what();
    }
    queue_replies(last_start_, replies);
  }
  notify_change();
  return answer;
}

bool Simulator::send_message(uint8_t type, const std::vector<uint8_t> &bytes) {
  std::lock_guard lock(mutex_);
  if (silent_) return false;
  const auto frames = link_.frames_for(last_start_, type, bytes);
  queue_frames(frames);
  return !frames.empty();
}

void Simulator::lose_frame(size_t index) {
  std::lock_guard lock(mutex_);
  lose_frame_ = index;
}

size_t Simulator::frame_loss_pending() const {
  std::lock_guard lock(mutex_);
  return lose_frame_;
}

size_t Simulator::frames_lost() const {
  std::lock_guard lock(mutex_);
  return frames_lost_;
}

std::vector<uint8_t> Simulator::wire() const {
  std::lock_guard lock(mutex_);
  return wire_;
}

void Simulator::clear_wire() {
  std::lock_guard lock(mutex_);
  wire_.clear();
}

std::vector<ReceivedFrame> Simulator::frames() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

std::vector<ReceivedMessage> Simulator::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

void Simulator::clear_records() {
  std::lock_guard lock(mutex_);
  wire_.clear();
  frames_.clear();
  messages_.clear();
}

size_t Simulator::acks_received() const {
  std::lock_guard lock(mutex_);
  return acks_;
}

nlohmann::json Simulator::state() const {
  std::lock_guard lock(mutex_);
  return state_.json();
}

void Simulator::load_state(const nlohmann::json &state) {
  {
    std::lock_guard lock(mutex_);
    state_.load(state);
  }
  notify_change();
}

bool Simulator::wait_for(std::function<bool()> pred, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    uint64_t seen = 0;
    {
      std::lock_guard lock(change_mutex_);
      seen = change_count_;
    }
    if (pred()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    // Wake on any change, and now and then anyway in case pred watches something else.
    std::unique_lock lock(change_mutex_);
    changed_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(20)),
                        [&] { return change_count_ != seen; });
  }
}

}  // namespace phonesim
