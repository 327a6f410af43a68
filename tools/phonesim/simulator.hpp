// The simulated phone: a pseudo-terminal (or serial device) on one side, the phone's
// state and behaviour on the other, all run by one I/O thread. Every public method is
// safe to call from any thread while that thread runs.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "dispatch.hpp"
#include "frame_codec.hpp"
#include "link_layer.hpp"
#include "phone_state.hpp"
#include "pty_transport.hpp"

namespace phonesim {

struct Options {
  std::string state_file;  // JSON laid over the defaults; empty for defaults only
  std::string link_path;   // also make a symlink here to the pseudo-terminal
  std::string device;      // use this serial device instead of a pseudo-terminal
  bool paced = false;      // read and write at the real line rate
  bool verbose = false;    // log each frame on stderr
  // The only directory the files named over the control channel or in the state may be
  // in (logo load/dump, a logo's "file"). The phonesim program always sets one (--files,
  // else the directory it was started in); empty leaves paths unconfined, for tests
  // that run the phone in-process.
  std::string files_dir;
};

struct ReceivedFrame {
  uint8_t start;
  uint8_t type;
  std::vector<uint8_t> payload;  // payload incl. trailer for data frames
  bool is_ack;
  std::chrono::steady_clock::time_point when;
};

struct ReceivedMessage {
  uint8_t start;
  uint8_t type;
  std::vector<uint8_t> bytes;  // reassembled, trailer removed
  std::chrono::steady_clock::time_point when;
};

// 115200 baud, 8N1: ten bit times per byte.
inline constexpr std::chrono::nanoseconds kByteTime{86806};

class Simulator {
 public:
  explicit Simulator(Options options = {});
  ~Simulator();
  Simulator(const Simulator &) = delete;
  Simulator &operator=(const Simulator &) = delete;

  // Loads the state, creates the pseudo-terminal (or opens the device) and starts the
  // I/O thread. False with last_error() set when any of it fails.
  bool start();
  void stop();  // returns at once; safe to call twice
  bool running() const { return running_.load(); }
  std::string device_path() const;
  std::string last_error() const;

  // A pulled cable: nothing goes out, not even acks, and nothing reaches the phone,
  // but what arrives on the wire is still recorded.
  void set_silent(bool silent);
  void set_acknowledging(bool acknowledging);
  void set_paced(bool paced);
  bool silent() const;
  bool acknowledging() const;
  bool paced() const;

  void inject_noise(size_t count);  // random bytes towards the computer
  void inject_corrupt_frame();      // a status frame whose checksum is wrong
  // Of the next message we send in more than one frame, frame `index` (1 the first; an
  // index past the last frame means the last) is not written, as if the line lost it.
  // 0 withdraws a loss not yet applied.
  void lose_frame(size_t index);
  size_t frame_loss_pending() const;  // the index still waiting for a message, or 0
  size_t frames_lost() const;         // frames not written so far
  // Sends a message of our own (numbered, split as needed). False when it cannot be
  // numbered (over 255 frames) or nothing may be sent (silent).
  bool send_message(uint8_t type, const std::vector<uint8_t> &bytes);

  std::vector<uint8_t> wire() const;
  void clear_wire();
  std::vector<ReceivedFrame> frames() const;
  std::vector<ReceivedMessage> messages() const;
  void clear_records();  // wire, frames and messages
  size_t acks_received() const;

  nlohmann::json state() const;
  void load_state(const nlohmann::json &state);  // laid over the defaults

  // One line command (see `help`) -> reply text without a trailing newline.
  std::string control(const std::string &line);
  bool quit_requested() const { return quit_.load(); }
  int quit_fd() const { return quit_fd_; }  // readable once `quit` was asked for

  // Blocks until pred() holds or the timeout passes; returns pred's last value.
  // pred may call any method of this class.
  bool wait_for(std::function<bool()> pred, std::chrono::milliseconds timeout) const;

 private:
  void run();
  void wake();
  void notify_change();
  void receive(std::span<const uint8_t> bytes);                        // lock held
  void dispatch(const Message &message);                               // lock held
  void queue_output(const std::vector<uint8_t> &bytes);                // lock held
  void queue_frames(const std::vector<std::vector<uint8_t>> &frames);  // lock held
  void flush_output(std::chrono::steady_clock::time_point &next_due);  // lock not held
  void queue_replies(uint8_t start, const Replies &replies);           // lock held
  bool run_due_actions();                                              // lock not held; true when one ran
  // Paced, the bytes the line has brought from the computer and we have not read yet
  // (at least 1 when no burst is under way), and else when the next one is due in
  // `next`; unpaced, no limit.
  size_t input_allowance(std::chrono::steady_clock::time_point now,
                         std::chrono::steady_clock::time_point &next) const;  // lock held
  std::string help() const;
  std::string family_help() const;
  std::string run_family_control(const ControlCommand &command, const std::string &arguments);

  Options options_;
  HandlerTable handlers_;
  PtyTransport transport_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> quit_{false};
  int wake_fd_ = -1;
  int quit_fd_ = -1;

  mutable std::mutex mutex_;  // everything below
  PhoneState state_;
  FrameReader reader_;
  LinkLayer link_;
  std::string device_path_;
  std::string error_;
  bool silent_ = false;
  bool acknowledging_ = true;
  bool paced_ = false;
  size_t lose_frame_ = 0;  // see lose_frame()
  size_t frames_lost_ = 0;
  uint8_t last_start_ = kCableStart;
  std::deque<uint8_t> output_;
  bool pacing_ = false;  // a paced burst is under way since pace_origin_
  std::chrono::steady_clock::time_point pace_origin_{};
  size_t pace_sent_ = 0;
  // The same for what the computer writes: we take it off the line no faster than the
  // line rate, so that a paced phone is as slow as a cable in both directions.
  bool input_pacing_ = false;
  std::chrono::steady_clock::time_point input_origin_{};
  size_t input_taken_ = 0;
  std::multimap<std::chrono::steady_clock::time_point, Deferred> later_;  // by when due
  std::vector<uint8_t> wire_;
  std::vector<ReceivedFrame> frames_;
  std::vector<ReceivedMessage> messages_;
  size_t acks_ = 0;
  std::mt19937 random_{std::random_device{}()};

  mutable std::mutex change_mutex_;
  mutable std::condition_variable changed_;
  uint64_t change_count_ = 0;
};

}  // namespace phonesim
