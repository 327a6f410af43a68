// A tiny stand-in for the computer's side, written apart from the simulator's own
// framing so the two check each other: opens the terminal, writes the computer's
// frames, reads the phone's.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace phonesim_test {

using Bytes = std::vector<uint8_t>;

// A frame from the computer (destination 0x00, source 0x0C); `payload` as it goes on
// the wire, trailer included when the caller put one there.
inline Bytes ComputerFrame(uint8_t start, uint8_t type, const Bytes &payload) {
  Bytes frame = {start, 0x00, 0x0C, type, 0x00, static_cast<uint8_t>(payload.size())};
  frame.insert(frame.end(), payload.begin(), payload.end());
  if (payload.size() % 2 == 1) frame.push_back(0x00);
  uint8_t even = 0, odd = 0;
  for (size_t i = 0; i < frame.size(); ++i) (i % 2 == 0 ? even : odd) ^= frame[i];
  frame.push_back(even);
  frame.push_back(odd);
  return frame;
}

// A one-frame data message: bytes, frames-left 1, sequence 0x40 | seq.
inline Bytes ComputerMessage(uint8_t start, uint8_t type, Bytes bytes, uint8_t seq = 0) {
  bytes.push_back(0x01);
  bytes.push_back(static_cast<uint8_t>(0x40 | seq));
  return ComputerFrame(start, type, bytes);
}

struct PhoneFrame {
  uint8_t start = 0;
  uint8_t type = 0;
  Bytes payload;  // L bytes, trailer included
  bool checksumsOk = false;
  bool addressedOk = false;  // destination 0x0C, source 0x00, length high byte 0
  Bytes raw;
};

class TestClient {
 public:
  explicit TestClient(const std::string &path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios settings{};
    tcgetattr(fd_, &settings);
    cfmakeraw(&settings);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    tcsetattr(fd_, TCSANOW, &settings);
  }
  ~TestClient() { Close(); }
  TestClient(const TestClient &) = delete;
  TestClient &operator=(const TestClient &) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  bool Write(const Bytes &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t put = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (put < 0 && errno != EAGAIN) return false;
      if (put > 0) done += static_cast<size_t>(put);
    }
    return true;
  }

  // Everything that arrives until `quiet` passes without a byte (or `limit` in all).
  Bytes ReadUntilQuiet(std::chrono::milliseconds quiet = std::chrono::milliseconds(150),
                       std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= end) break;
      const auto wait = std::min(quiet, std::chrono::duration_cast<std::chrono::milliseconds>(end - now));
      if (!Fill(wait)) break;
    }
    Bytes all;
    all.swap(buffer_);
    return all;
  }

  // The next frame from the phone, or nothing within `timeout`.
  std::optional<PhoneFrame> NextFrame(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      if (auto frame = TakeFrame()) return frame;
      const auto now = std::chrono::steady_clock::now();
      if (now >= end) return std::nullopt;
      Fill(std::chrono::duration_cast<std::chrono::milliseconds>(end - now));
    }
  }

 private:
  // Waits up to `wait` for bytes; false when none came.
  bool Fill(std::chrono::milliseconds wait) {
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(wait.count())) <= 0) return false;
    uint8_t chunk[4096];
    const ssize_t got = ::read(fd_, chunk, sizeof chunk);
    if (got <= 0) return false;
    buffer_.insert(buffer_.end(), chunk, chunk + got);
    return true;
  }

  // Frames from the phone are expected back to back: skip to a start byte, then take
  // a whole frame once it is there.
  std::optional<PhoneFrame> TakeFrame() {
    while (!buffer_.empty() && buffer_[0] != 0x1E && buffer_[0] != 0x1C) buffer_.erase(buffer_.begin());
    if (buffer_.size() < 6) return std::nullopt;
    const size_t length = buffer_[5];
    const size_t size = 6 + length + (length % 2) + 2;
    if (buffer_.size() < size) return std::nullopt;
    PhoneFrame frame;
    frame.raw.assign(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(size));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(size));
    frame.start = frame.raw[0];
    frame.type = frame.raw[3];
    frame.addressedOk = frame.raw[1] == 0x0C && frame.raw[2] == 0x00 && frame.raw[4] == 0x00;
    frame.payload.assign(frame.raw.begin() + 6, frame.raw.begin() + 6 + static_cast<std::ptrdiff_t>(length));
    uint8_t even = 0, odd = 0;
    for (size_t i = 0; i + 2 < size; ++i) (i % 2 == 0 ? even : odd) ^= frame.raw[i];
    frame.checksumsOk = frame.raw[size - 2] == even && frame.raw[size - 1] == odd;
    return frame;
  }

  int fd_ = -1;
  Bytes buffer_;
};

}  // namespace phonesim_test
