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

std::optional<Clock::time_point> earliest(std::optional<Clock::time_point> alarm, Clock::time_point other) {
  return alarm ? std::min(*alarm, other) : other;
}

timespec time_until(Clock::time_point alarm) {
  const auto left = std::max(Clock::duration::zero(), alarm - Clock::now());
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  timespec timeout{};
  timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
  timeout.tv_nsec = static_cast<long>(ns % 1000000000);
  return timeout;
}

}  // namespace

Simulator::Simulator(Options options)
    : options_(std::move(options)), handlers_(make_handler_table()), state_(handlers_.defaults()) {
  line_.set_paced(options_.paced);
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  quit_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  add_controls();
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
  if (!load_state_file()) return false;
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

bool Simulator::load_state_file() {
  if (options_.state_file.empty()) return true;
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
  std::array<uint8_t, 4096> buffer{};
  Clock::time_point next_due{};
  while (running_.load() && run_once(buffer, next_due)) {
  }
}

bool Simulator::run_once(std::array<uint8_t, 4096> &buffer, Clock::time_point &next_due) {
  run_due_actions();
  int line_events = 0;
  wait_for_line(next_due, line_events);
  if (line_events < 0) return false;
  drain_fd(wake_fd_);
  if (!running_.load()) return false;
  if (line_events & (POLLERR | POLLHUP | POLLNVAL)) {
    line_lost();
    return false;
  }
  // Opens and closes first: they tell whether the bytes below have a reader.
  if (transport_.handle_watch_events()) {
    std::lock_guard lock(mutex_);
    line_.client_gone();  // the client that was to read the output has gone
  }
  read_input(buffer);
  flush_output(next_due);
  return true;
}

// Sleeps until something happens; a paced byte not yet due (either way) and a delayed
// action (the network's) set an alarm. (A byte that is due waits for POLLOUT like any
// other, so a client that stops reading does not set us spinning.) `line_events` is
// what the terminal reported, or -1 when the wait failed.
void Simulator::wait_for_line(Clock::time_point next_due, int &line_events) {
  bool have_output = false;
  bool paced = false;
  std::optional<Clock::time_point> alarm;
  Clock::time_point next_read{};
  bool want_read = true;
  {
    std::lock_guard lock(mutex_);
    have_output = line_.has_output();
    paced = line_.paced();
    if (!later_.empty()) alarm = later_.begin()->first;
    want_read = line_.input_allowance(Clock::now(), next_read) > 0;
  }
  const bool want_write = have_output && !(paced && next_due > Clock::now());
  std::array<pollfd, 3> fds{};
  nfds_t count = 0;
  fds[count++] = {wake_fd_, POLLIN, 0};
  fds[count++] = {transport_.fd(), static_cast<short>((want_read ? POLLIN : 0) | (want_write ? POLLOUT : 0)), 0};
  if (transport_.watch_fd() >= 0) fds[count++] = {transport_.watch_fd(), POLLIN, 0};

  if (have_output && !want_write) alarm = earliest(alarm, next_due);
  if (!want_read) alarm = earliest(alarm, next_read);
  timespec timeout{};
  if (alarm) timeout = time_until(*alarm);
  if (ppoll(fds.data(), count, alarm ? &timeout : nullptr, nullptr) < 0 && errno != EINTR) {
    line_events = -1;
    return;
  }
  line_events = fds[1].revents;
}

// Only a real device can go away (we hold the terminal side of our own pty open). Give
// up rather than spin, and let whoever runs us know.
void Simulator::line_lost() {
  {
    std::lock_guard lock(mutex_);
    error_ = "the line to " + device_path_ + " was lost";
  }
  request_quit();
  notify_change();
}

void Simulator::read_input(std::array<uint8_t, 4096> &buffer) {
  for (;;) {
    size_t allowed = 0;
    Clock::time_point next_read{};
    const auto now = Clock::now();
    {
      std::lock_guard lock(mutex_);
      allowed = std::min(line_.input_allowance(now, next_read), buffer.size());
    }
    if (allowed == 0) break;
    const ptrdiff_t got = transport_.read_some(buffer.data(), allowed);
    std::lock_guard lock(mutex_);
    line_.took_input(now, got > 0 ? static_cast<size_t>(got) : 0, allowed);
    if (got <= 0) break;
    receive(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(got)));
  }
}

void Simulator::receive(std::span<const uint8_t> bytes) {
  const auto now = Clock::now();
  recorder_.record_wire(bytes);
  for (const Frame &frame : line_.read_frames(bytes)) {
    if (options_.verbose) {
      std::fprintf(stderr, "phonesim: <- %02X %02X [%s]\n", frame.start, frame.type, to_hex(frame.payload).c_str());
    }
    const LinkEvent event = line_.on_frame(frame);
    recorder_.record_frame(frame, event.is_ack, now);
    if (event.is_ack) {
      recorder_.count_ack();
      continue;
    }
    if (event.needs_ack && faults_.acknowledging() && !faults_.silent()) queue_output(PhoneLine::ack_for(frame, event));
    if (event.message) {
      recorder_.record_message(*event.message, now);
      if (!faults_.silent()) dispatch(*event.message);  // with the cable pulled the phone hears nothing
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
    queue_frames(line_.frames_for(start, reply.type, reply.bytes));
  if (replies.deferred().empty()) return;
  const auto now = Clock::now();
  for (const LaterAction &later : replies.deferred()) later_.emplace(now + later.delay, later.action);
  wake();  // the I/O thread's next wait must end in time for it
}

bool Simulator::run_due_actions() {
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
    queue_replies(line_.last_start(), replies);
    ran = true;
  }
  if (ran) notify_change();
  return ran;
}

void Simulator::queue_output(const std::vector<uint8_t> &bytes) {
  if (faults_.silent() || !line_.queue(bytes)) return;
  wake();
}

void Simulator::queue_frames(const std::vector<std::vector<uint8_t>> &frames) {
  // The frames keep their sequence numbers whether or not they reach the wire.
  const size_t skip = faults_.frame_to_lose(frames.size());
  for (size_t i = 0; i < frames.size(); ++i)
    if (i != skip) queue_output(frames[i]);
}

void Simulator::flush_output(Clock::time_point &next_due) {
  std::vector<uint8_t> chunk;
  {
    std::lock_guard lock(mutex_);
    if (faults_.silent() || !transport_.client_present()) {
      line_.drop_output();  // nobody on the line: the bytes are lost, as on a real wire
      return;
    }
    if (!line_.has_output()) return;
    chunk = line_.next_chunk(Clock::now());
  }
  ptrdiff_t written = chunk.empty() ? 0 : transport_.write_some(chunk.data(), chunk.size());
  if (written < 0) written = 0;  // a client that vanished mid-write; the watch will tell
  std::lock_guard lock(mutex_);
  next_due = line_.written(static_cast<size_t>(written));
}

void Simulator::set_silent(bool silent) {
  {
    std::lock_guard lock(mutex_);
    faults_.set_silent(silent);
  }
  wake();
}

void Simulator::set_acknowledging(bool acknowledging) {
  std::lock_guard lock(mutex_);
  faults_.set_acknowledging(acknowledging);
}

void Simulator::set_paced(bool paced) {
  {
    std::lock_guard lock(mutex_);
    line_.set_paced(paced);
  }
  wake();
}

bool Simulator::silent() const {
  std::lock_guard lock(mutex_);
  return faults_.silent();
}

bool Simulator::acknowledging() const {
  std::lock_guard lock(mutex_);
  return faults_.acknowledging();
}

bool Simulator::paced() const {
  std::lock_guard lock(mutex_);
  return line_.paced();
}

void Simulator::inject_noise(size_t count) {
  std::lock_guard lock(mutex_);
  queue_output(faults_.noise(count));
}

void Simulator::inject_corrupt_frame() {
  std::lock_guard lock(mutex_);
  queue_output(FaultInjector::corrupt_frame(line_.last_start(), line_.next_sequence()));
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
    queue_replies(line_.last_start(), replies);
  }
  notify_change();
  return answer;
}

bool Simulator::send_message(uint8_t type, const std::vector<uint8_t> &bytes) {
  std::lock_guard lock(mutex_);
  if (faults_.silent()) return false;
  const auto frames = line_.frames_for(line_.last_start(), type, bytes);
  queue_frames(frames);
  return !frames.empty();
}

void Simulator::lose_frame(size_t index) {
  std::lock_guard lock(mutex_);
  faults_.lose_frame(index);
}

size_t Simulator::frame_loss_pending() const {
  std::lock_guard lock(mutex_);
  return faults_.frame_loss_pending();
}

size_t Simulator::frames_lost() const {
  std::lock_guard lock(mutex_);
  return faults_.frames_lost();
}

std::vector<uint8_t> Simulator::wire() const {
  std::lock_guard lock(mutex_);
  return recorder_.wire();
}

void Simulator::clear_wire() {
  std::lock_guard lock(mutex_);
  recorder_.clear_wire();
}

std::vector<ReceivedFrame> Simulator::frames() const {
  std::lock_guard lock(mutex_);
  return recorder_.frames();
}

std::vector<ReceivedMessage> Simulator::messages() const {
  std::lock_guard lock(mutex_);
  return recorder_.messages();
}

void Simulator::clear_records() {
  std::lock_guard lock(mutex_);
  recorder_.clear();
}

size_t Simulator::acks_received() const {
  std::lock_guard lock(mutex_);
  return recorder_.acks();
}

std::string Simulator::info() const {
  std::lock_guard lock(mutex_);
  std::ostringstream info;
  info << "device " << device_path_ << " silent " << (faults_.silent() ? "on" : "off") << " ack "
       << (faults_.acknowledging() ? "on" : "off") << " pace " << (line_.paced() ? "on" : "off") << " frames "
       << recorder_.frames().size() << " messages " << recorder_.messages().size() << " acks " << recorder_.acks();
  return info.str();
}

void Simulator::request_quit() {
  quit_.store(true);
  signal_fd(quit_fd_);
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
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    uint64_t seen = 0;
    {
      std::lock_guard lock(change_mutex_);
      seen = change_count_;
    }
    if (pred()) return true;
    const auto now = Clock::now();
    if (now >= deadline) return false;
    // Wake on any change, and now and then anyway in case pred watches something else.
    std::unique_lock lock(change_mutex_);
    changed_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(20)),
                        [&] { return change_count_ != seen; });
  }
}

}  // namespace phonesim
