#pragma once
// Runs a simulated phone on a pseudo-terminal for the duration of one test; the test
// drives the library only through its public C API.
#include <gtest/gtest.h>
#include <pelkor16.h>

#include <chrono>
#include <string>
#include <vector>

#include "simulator.h"

namespace pelkor_it {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

class SimulatedPhone : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start()) << sim_.LastError();
    port_ = sim_.DevicePath();
  }
  void TearDown() override {
    terminate();
    sim_.Stop();
  }

  // Library messages the phone received, in order (acknowledgements left out).
  std::vector<phonesim::ReceivedMessage> Messages() const { return sim_.Messages(); }

  std::vector<phonesim::ReceivedMessage> MessagesOfType(uint8_t type) const {
    std::vector<phonesim::ReceivedMessage> out;
    for (auto &m : sim_.Messages())
      if (m.type == type) out.push_back(m);
    return out;
  }

  // Opens the session and forgets what init put on the wire. init ends with the beep's
  // tone-off request; once the phone has that, whatever arrives belongs to the test.
  void OpenSettled(int32_t type = PELKOR_CONNECTION_CABLE) {
    ASSERT_EQ(init(port_.c_str(), type), PELKOR_OK);
    const Bytes toneOff = {0x00, 0x01, 0x8F, 0x00, 0x00, 0x00};
    ASSERT_TRUE(sim_.WaitFor(
        [&] {
          for (auto &m : MessagesOfType(0x40))
            if (m.bytes == toneOff) return true;
          return false;
        },
        std::chrono::seconds(2)));
    sim_.ClearRecords();
  }

  bool WaitForMessages(uint8_t type, size_t count, std::chrono::milliseconds timeout) {
    return sim_.WaitFor([&] { return MessagesOfType(type).size() >= count; }, timeout);
  }

  phonesim::Simulator sim_;
  std::string port_;
};

}  // namespace pelkor_it
