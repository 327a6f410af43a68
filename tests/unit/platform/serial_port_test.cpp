// The system's serial port on a pseudo-terminal: closing while another thread writes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/serial_port.h"

namespace pelkor::platform {
namespace {

class Pty {
 public:
  Pty() : master_(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
      const char *name = ptsname(master_);
      if (name != nullptr) slave_ = name;
    }
  }
  ~Pty() {
    if (master_ >= 0) ::close(master_);
  }
  const std::string &slave() const { return slave_; }

 private:
  int master_;
  std::string slave_;
};

// A write that waits for a line nobody reads still holds the descriptor when another
// thread closes the port. Closed under it, the descriptor's number goes to the next file
// the process opens, and the rest of the frame would be written into that file.
TEST(SerialPort, CloseWaitsForAWriteInProgress) {
  Pty pty;  // the master end is never read: the line fills up and writes wait
  ASSERT_FALSE(pty.slave().empty());
  SerialPort &port = SystemSerialPort();
  ASSERT_TRUE(port.Open(pty.slave().c_str()));

  // Fill the line until a write comes back short; each full one is quick.
  const std::vector<uint8_t> chunk(256, 0x55);
  for (int i = 0; i < 4096 && port.Write(chunk.data(), chunk.size()) == chunk.size(); ++i) {
  }

  // This write finds the line full and waits for it (about 650 ms) with the descriptor.
  const std::vector<uint8_t> frame(200, 0x1E);
  std::atomic<bool> writing{false};
  std::thread writer([&] {
    writing = true;
    port.Write(frame.data(), frame.size());
  });
  while (!writing) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));

  port.Close();
  EXPECT_FALSE(port.IsOpen());
  // The lowest free number: the port's own, were it closed under the writer.
  char name[] = "/tmp/pelkor-port-victim-XXXXXX";
  const int victim = mkstemp(name);
  ASSERT_GE(victim, 0);
  writer.join();
  struct stat status {};
  ASSERT_EQ(fstat(victim, &status), 0);
  EXPECT_EQ(status.st_size, 0) << "bytes of the frame went into a file the port never owned";
  ::close(victim);
  ::unlink(name);

  // The port opens again afterwards (its exclusive hold was released).
  Pty again;
  ASSERT_TRUE(port.Open(again.slave().c_str()));
  port.Close();
}

}  // namespace
}  // namespace pelkor::platform
