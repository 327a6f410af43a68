// The simulated phone: a pseudo-terminal (or serial device) on one side, the phone's
// state and behaviour on the other, all run by one I/O thread. The simulator puts the
// parts together under one lock: the line (framing, output, pacing), the faults
// injected on it, the recorder of what arrived, the handlers and the state. Every
// public method is safe to call from any thread while that thread runs.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "control_table.h"
#include "dispatch.h"
#include "fault_injector.h"
#include "phone_line.h"
#include "phone_state.h"
#include "pty_transport.h"
#include "recorder.h"

namespace phonesim {

struct Options {
  std::string stateFile;  // JSON laid over the defaults; empty for defaults only
  std::string linkPath;   // also make a symlink here to the pseudo-terminal
  std::string device;     // use this serial device instead of a pseudo-terminal
  bool paced = false;     // read and write at the real line rate
  bool verbose = false;   // log each frame on stderr
  // The only directory the files named over the control channel or in the state may be
  // in (logo load/dump, a logo's "file"). The phonesim program always sets one (--files,
  // else the directory it was started in); empty leaves paths unconfined, for tests
  // that run the phone in-process.
  std::string filesDir;
};

class Simulator {
 public:
  explicit Simulator(Options options = {});
  ~Simulator();
  Simulator(const Simulator &) = delete;
  Simulator &operator=(const Simulator &) = delete;

  // Loads the state, creates the pseudo-terminal (or opens the device) and starts the
  // I/O thread. False with LastError() set when any of it fails.
  bool Start();
  void Stop();  // returns at once; safe to call twice
  bool Running() const { return running_.load(); }
  std::string DevicePath() const;
  std::string LastError() const;

  // A pulled cable: nothing goes out, not even acks, and nothing reaches the phone,
  // but what arrives on the wire is still recorded.
  void SetSilent(bool silent);
  void SetAcknowledging(bool acknowledging);
  void SetPaced(bool paced);
  bool Silent() const;
  bool Acknowledging() const;
  bool Paced() const;

  void InjectNoise(size_t count);  // random bytes towards the computer
  void InjectCorruptFrame();       // a status frame whose checksum is wrong
  // Of the next message we send in more than one frame, frame `index` (1 the first; an
  // index past the last frame means the last) is not written, as if the line lost it.
  // 0 withdraws a loss not yet applied.
  void LoseFrame(size_t index);
  size_t FrameLossPending() const;  // the index still waiting for a message, or 0
  size_t FramesLost() const;        // frames not written so far
  // Sends a message of our own (numbered, split as needed). False when it cannot be
  // numbered (over 255 frames) or nothing may be sent (silent).
  bool SendMessage(uint8_t type, const std::vector<uint8_t> &bytes);

  std::vector<uint8_t> Wire() const;
  void ClearWire();
  std::vector<ReceivedFrame> Frames() const;
  std::vector<ReceivedMessage> Messages() const;
  void ClearRecords();  // wire, frames and messages
  size_t AcksReceived() const;

  nlohmann::json State() const;
  void LoadState(const nlohmann::json &state);  // laid over the defaults

  // One line command (see `help`) -> reply text without a trailing newline.
  std::string Control(const std::string &line);
  bool QuitRequested() const { return quit_.load(); }
  int QuitFd() const { return quitFd_; }  // readable once `quit` was asked for
  void RequestQuit();
  // The device, the modes and the counters on one line.
  std::string Info() const;

  // Blocks until pred() holds or the timeout passes; returns pred's last value.
  // pred may call any method of this class.
  bool WaitFor(std::function<bool()> pred, std::chrono::milliseconds timeout) const;

 private:
  void Run();
  // One round of the I/O thread: waits for the terminal, a wake-up or an alarm, then
  // reads, dispatches and writes. False when the thread must end.
  bool RunOnce(std::array<uint8_t, 4096> &buffer, std::chrono::steady_clock::time_point &nextDue);
  void WaitForLine(std::chrono::steady_clock::time_point nextDue, int &lineEvents);
  void LineLost();
  void ReadInput(std::array<uint8_t, 4096> &buffer);
  void Wake();
  void NotifyChange();
  void Receive(std::span<const uint8_t> bytes);                       // lock held
  void Dispatch(const Message &message);                              // lock held
  void QueueOutput(const std::vector<uint8_t> &bytes);                // lock held
  void QueueFrames(const std::vector<std::vector<uint8_t>> &frames);  // lock held
  void FlushOutput(std::chrono::steady_clock::time_point &nextDue);   // lock not held
  void QueueReplies(uint8_t start, const Replies &replies);           // lock held
  bool RunDueActions();                                               // lock not held; true when one ran
  bool LoadStateFile();                                               // lock held
  void AddControls();
  std::string RunFamilyControl(const ControlCommand &command, const std::string &arguments);

  Options options_;
  HandlerTable handlers_;
  ControlTable controls_;
  PtyTransport transport_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> quit_{false};
  int wakeFd_ = -1;
  int quitFd_ = -1;

  mutable std::mutex mutex_;  // everything below
  PhoneState state_;
  PhoneLine line_;
  FaultInjector faults_;
  Recorder recorder_;
  std::string devicePath_;
  std::string error_;
  std::multimap<std::chrono::steady_clock::time_point, Deferred> later_;  // by when due

  mutable std::mutex changeMutex_;
  mutable std::condition_variable changed_;
  uint64_t changeCount_ = 0;
};

}  // namespace phonesim
