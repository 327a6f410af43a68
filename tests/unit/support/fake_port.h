#pragma once
// A serial port that keeps what the link writes, for tests that look at the wire.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "link/frame_receiver.h"
#include "link/port_link.h"
#include "link/session.h"
#include "platform/serial_port.h"

namespace pelkor::testing {

class FakePort final : public platform::SerialPort {
 public:
  bool Open(const char *) override { return open_ = true; }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  bool SetBaudRate(int32_t baud) override {
    std::lock_guard<std::mutex> lock(mutex_);
    bauds.push_back(baud);
    return true;
  }
  void SetDtr(bool) override {}
  void SetRts(bool) override {}
  void Purge() override {}
  void DrainOutput() override {}
  size_t ReadQueued(uint8_t *, size_t) override { return 0; }
  size_t Write(const uint8_t *buffer, size_t length) override {
    std::function<void()> hook;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      writes.emplace_back(buffer, buffer + length);
      hook.swap(duringNextWrite);
    }
    if (hook) hook();  // runs once, before the write returns
    return failWrites ? 0 : length;
  }
  void WaitForInput() override {}
  void CancelWait() override {}
  void ResetCancel() override {}

  std::vector<std::vector<uint8_t>> Writes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes;
  }

  std::vector<std::vector<uint8_t>> writes;
  std::vector<int32_t> bauds;
  bool failWrites = false;
  // What the phone does while the next write is still in progress (then forgotten).
  std::function<void()> duringNextWrite;

 private:
  bool open_ = false;
  std::mutex mutex_;
};

// Installs a FakePort and puts the frame-layer counters in a known state.
class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UsePortForTesting(&port);
    port.Open("fake");
    LinkSession &s = Session();
    s.connectionType = 0;
    s.sendSequence = 0;
    s.framesSent = 0;
    s.framesAcked = 0;
    s.lastAck = 0xFFFF;
    s.linkUp = false;
    s.phoneHeard = false;
    s.lastType = 0;
    s.lastSequence = 0;
    s.messageLength = 0;
    ResetReceiver();
  }
  void TearDown() override { UsePortForTesting(nullptr); }

  FakePort port;
};

}  // namespace pelkor::testing
