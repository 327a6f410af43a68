// The phone's end of the serial line: the framing and link layer both ways, the bytes
// waiting to go out, and pacing at the real line rate in both directions. Pure logic
// without I/O (the simulator's thread reads and writes the terminal) and not locked:
// the simulator holds its lock around every call.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "frame_codec.h"
#include "link_layer.h"

namespace phonesim {

// 115200 baud, 8N1: ten bit times per byte.
inline constexpr std::chrono::nanoseconds kByteTime{86806};

class PhoneLine {
 public:
  using Clock = std::chrono::steady_clock;

  // The computer's frames in bytes just read.
  std::vector<Frame> ReadFrames(std::span<const uint8_t> bytes) { return reader_.Feed(bytes); }
  // What the link makes of one of them; its framing (cable or infrared) is the one
  // our own messages use from now on.
  LinkEvent OnFrame(const Frame &frame);
  uint8_t LastStart() const { return lastStart_; }
  uint8_t NextSequence() const { return link_.NextSequence(); }
  // See LinkLayer::FramesFor: each frame takes the next sequence number.
  std::vector<std::vector<uint8_t>> FramesFor(uint8_t start, uint8_t type, std::span<const uint8_t> bytes) {
    return link_.FramesFor(start, type, bytes);
  }
  static std::vector<uint8_t> AckFor(const Frame &frame, const LinkEvent &event);

  // Queues bytes to go out. A client that never reads must not make us hoard bytes
  // for ever: false, and nothing queued, when the queue would pass 1 MiB.
  bool Queue(const std::vector<uint8_t> &bytes);
  bool HasOutput() const { return !output_.empty(); }
  // Nobody on the line: what was queued is lost, as on a real wire.
  void DropOutput();
  // A client has gone: its output is dropped and both bursts end.
  void ClientGone();
  // What may be written at `now`: all of it unpaced, else what the line rate allows
  // since the burst began (a burst begins here when none is under way).
  std::vector<uint8_t> NextChunk(Clock::time_point now);
  // `count` of the chunk's bytes were written; when the next paced byte is due (the
  // epoch when there is no paced burst).
  Clock::time_point Written(size_t count);

  bool Paced() const { return paced_; }
  void SetPaced(bool paced);  // both bursts start afresh
  // Paced, the bytes the line has brought from the computer and we have not read yet
  // (at least 1 when no burst is under way), and else when the next one is due in
  // `next`; unpaced, no limit.
  size_t InputAllowance(Clock::time_point now, Clock::time_point &next) const;
  // `got` bytes were read of `allowed` at `now`; nothing read means the line is idle.
  void TookInput(Clock::time_point now, size_t got, size_t allowed);

 private:
  FrameReader reader_;
  LinkLayer link_;
  uint8_t lastStart_ = kCableStart;
  std::deque<uint8_t> output_;
  bool paced_ = false;
  bool pacing_ = false;  // a paced burst out is under way since paceOrigin_
  Clock::time_point paceOrigin_{};
  size_t paceSent_ = 0;
  // The same for what the computer writes: we take it off the line no faster than the
  // line rate, so that a paced phone is as slow as a cable in both directions.
  bool inputPacing_ = false;
  Clock::time_point inputOrigin_{};
  size_t inputTaken_ = 0;
};

}  // namespace phonesim
