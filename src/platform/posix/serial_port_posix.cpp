// The serial line on POSIX systems: a terminal device in raw mode, taken for
// exclusive use, read without blocking, with a wake-up descriptor beside it so the
// watch thread can be released at once when the connection closes.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <shared_mutex>

#include "platform/clock.h"
#include "platform/posix/port_names.h"
#include "platform/port_lock.h"
#include "platform/serial_port.h"
#include "platform/sleep.h"

namespace pelkor::platform {
namespace {

speed_t SpeedConstant(int32_t baud) {
  switch (baud) {
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    default:
      return B115200;
  }
}

class PosixSerialPort final : public SerialPort {
 public:
  PosixSerialPort() : wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

  bool Open(const char *name) override {
    char path[160];
    if (fd_.load() >= 0) return false;
    std::unique_lock<std::shared_mutex> exclusive(fdMutex_, std::defer_lock);
    if (!TakeWithin(exclusive, kCloseWaitLimitMs)) return false;
    if (fd_.load() >= 0 || !ResolvePortPath(name, path, sizeof path)) return false;
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    // Exclusive use: the terminal's own flag keeps out other opens, the advisory lock
    // keeps out cooperating programs that open it as root.
    if (!isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      return false;
    }
    ::ioctl(fd, TIOCEXCL);
    if (!ProgramLine(fd)) {
      ReleaseAndClose(fd);
      return false;
    }
    fd_.store(fd);
    return true;
  }

  // The descriptor is closed only once no read, write or control call uses it: closed
  // under one of them, its number could be handed to the next file the process opens
  // and the rest of a frame written into that file. A watch thread waiting for input is
  // released first.
  void Close() override {
    if (fd_.load() < 0) return;
    CancelWait();
    std::unique_lock<std::shared_mutex> exclusive(fdMutex_, std::defer_lock);
    (void)TakeWithin(exclusive, kCloseWaitLimitMs);
    int fd = fd_.exchange(-1);
    if (fd >= 0) ReleaseAndClose(fd);
  }

  void CloseAbandoned() override {
    int fd = fd_.exchange(-1);
    if (fd >= 0) ReleaseAndClose(fd);
  }

  bool IsOpen() const override { return fd_.load() >= 0; }

  bool SetBaudRate(int32_t baud) override {
    std::shared_lock<std::shared_mutex> use(fdMutex_);
    int fd = fd_.load();
    termios settings{};
    if (fd < 0 || tcgetattr(fd, &settings) != 0) return false;
    DrainQueuedOutput(fd);
    cfsetispeed(&settings, SpeedConstant(baud));
    cfsetospeed(&settings, SpeedConstant(baud));
    return tcsetattr(fd, TCSANOW, &settings) == 0;
  }

  void SetDtr(bool high) override { SetModemLine(TIOCM_DTR, high); }
  void SetRts(bool high) override { SetModemLine(TIOCM_RTS, high); }

  void Purge() override {
    std::shared_lock<std::shared_mutex> use(fdMutex_);
    int fd = fd_.load();
    if (fd >= 0) tcflush(fd, TCIOFLUSH);
  }

  void DrainOutput() override {
    std::shared_lock<std::shared_mutex> use(fdMutex_);
    DrainQueuedOutput(fd_.load());
  }

  size_t ReadQueued(uint8_t *buffer, size_t maximum) override {
    std::shared_lock<std::shared_mutex> use(fdMutex_);
    int fd = fd_.load();
    int queued = 0;
    if (fd < 0 || maximum == 0 || ::ioctl(fd, FIONREAD, &queued) != 0 || queued <= 0) return 0;
    size_t wanted = static_cast<size_t>(queued) < maximum ? static_cast<size_t>(queued) : maximum;
    ssize_t got = ::read(fd, buffer, wanted);
    return got > 0 ? static_cast<size_t>(got) : 0;
  }

  size_t Write(const uint8_t *buffer, size_t length) override {
    std::lock_guard<std::mutex> lock(writeMutex_);
    std::shared_lock<std::shared_mutex> use(fdMutex_);
    int fd = fd_.load();
    if (fd < 0) return 0;
    // A frame at 115200 baud takes about 23 ms; allow generously more before giving
    // up on a line that does not drain, so one stuck write cannot hang a caller.
    const int64_t deadline = MonotonicMs() + 250 + static_cast<int64_t>(length) * 2;
    size_t done = 0;
    while (done < length) {
      ssize_t n = ::write(fd, buffer + done, length - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) break;
      int64_t left = deadline - MonotonicMs();
      if (left <= 0) break;
      pollfd writable{fd, POLLOUT, 0};
      ::poll(&writable, 1, static_cast<int>(left));
    }
    return done;
  }

  void WaitForInput() override {
    std::shared_lock<std::shared_mutex> use(fdMutex_);
    int fd = fd_.load();
    if (fd < 0) {
      use.unlock();
      SleepMs(5);
      return;
    }
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    int ready = ::poll(fds, 2, -1);
    use.unlock();
    if (ready <= 0) {
      SleepMs(5);
      return;
    }
    // A hung-up or failing line reports itself at once on every poll; pause like a
    // failed event wait would rather than spin.
    if (!(fds[0].revents & POLLIN) && !(fds[1].revents & POLLIN)) SleepMs(5);
  }

  void CancelWait() override {
    uint64_t one = 1;
    ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
    (void)ignored;
  }

  void ResetCancel() override {
    uint64_t count = 0;
    ssize_t ignored = ::read(wakeFd_, &count, sizeof count);
    (void)ignored;
  }

 private:
  // tcdrain() may block for good on a pseudo-terminal nobody reads; poll the output
  // queue instead, for at most a second.
  static void DrainQueuedOutput(int fd) {
    for (int i = 0; fd >= 0 && i < 1000; ++i) {
      int queued = 0;
      if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
      SleepMs(1);
    }
  }

  static bool ProgramLine(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CREAD | CLOCAL;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    if (tcsetattr(fd, TCSANOW, &settings) != 0) return false;
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);  // fails on a pseudo-terminal; that is fine
    tcflush(fd, TCIOFLUSH);
    return true;
  }

  // The exclusive flag belongs to the terminal, not to this descriptor: clear it
  // before closing, or the next open by an ordinary user would be refused.
  static void ReleaseAndClose(int fd) {
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    ::close(fd);
  }

  void SetModemLine(int line, bool high) {
    std::shared_lock<std::shared_mutex> use(fdMutex_);
    int fd = fd_.load();
    if (fd >= 0) ::ioctl(fd, high ? TIOCMBIS : TIOCMBIC, &line);
  }

  std::atomic<int> fd_{-1};
  int wakeFd_;
  std::mutex writeMutex_;  // whole buffers, one at a time; taken before fdMutex_
  // Shared by every call that uses fd_, exclusive for opening and closing it.
  std::shared_mutex fdMutex_;
};

}  // namespace

SerialPort &SystemSerialPort() {
  // Never destroyed: the link threads may still be winding down while the process exits.
  static PosixSerialPort *port = new PosixSerialPort();
  return *port;
}

}  // namespace pelkor::platform
