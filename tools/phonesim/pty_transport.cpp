#include "pty_transport.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace phonesim {

bool MakeRaw(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return false;
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  cfsetispeed(&settings, B115200);
  cfsetospeed(&settings, B115200);
  return tcsetattr(fd, TCSANOW, &settings) == 0;
}

PtyTransport::~PtyTransport() { Close(); }

bool PtyTransport::Fail(const std::string &what) {
  error_ = what + ": " + std::strerror(errno);
  Close();
  return false;
}

bool PtyTransport::OpenPty(const std::string &link_path) {
  Close();
  io_fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (io_fd_ < 0) return Fail("posix_openpt");
  if (grantpt(io_fd_) != 0 || unlockpt(io_fd_) != 0) return Fail("grantpt/unlockpt");
  std::array<char, 128> name{};
  if (ptsname_r(io_fd_, name.data(), name.size()) != 0) return Fail("ptsname_r");
  device_path_ = name.data();
  const int flags = fcntl(io_fd_, F_GETFL);
  if (flags < 0 || fcntl(io_fd_, F_SETFL, flags | O_NONBLOCK) != 0) return Fail("fcntl");

  terminal_fd_ = ::open(device_path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (terminal_fd_ < 0) return Fail("open " + device_path_);
  if (!MakeRaw(terminal_fd_)) return Fail("raw mode on " + device_path_);

  // Watch from here on: our own open above is not a client.
  inotify_fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_fd_ >= 0 &&
      inotify_add_watch(inotify_fd_, device_path_.c_str(), IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
    ::close(inotify_fd_);
    inotify_fd_ = -1;  // without a watch we treat the line as always in use
  }

  if (!link_path.empty()) {
    struct stat existing {};
    if (lstat(link_path.c_str(), &existing) == 0) {
      if (!S_ISLNK(existing.st_mode)) {
        errno = EEXIST;
        return Fail("refusing to replace " + link_path);
      }
      ::unlink(link_path.c_str());
    }
    if (::symlink(device_path_.c_str(), link_path.c_str()) != 0) return Fail("symlink " + link_path);
    link_path_ = link_path;
  }
  return true;
}

bool PtyTransport::OpenDevice(const std::string &path) {
  Close();
  io_fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (io_fd_ < 0) return Fail("open " + path);
  if (!MakeRaw(io_fd_)) return Fail("raw mode on " + path);
  device_path_ = path;
  return true;
}

void PtyTransport::ReleaseTerminal() {
  if (terminal_fd_ < 0) return;
  // A client that set exclusive use and went away would otherwise lock out every later
  // open by an ordinary user. What it left unread is stale by now.
  ioctl(terminal_fd_, TIOCNXCL);
  MakeRaw(terminal_fd_);
  tcflush(terminal_fd_, TCIFLUSH);
}

void PtyTransport::Close() {
  ReleaseTerminal();
  if (!link_path_.empty()) {
    ::unlink(link_path_.c_str());
    link_path_.clear();
  }
  for (int *fd : {&inotify_fd_, &terminal_fd_, &io_fd_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  clients_ = 0;
  watch_heard_ = false;
}

bool PtyTransport::HandleWatchEvents() {
  if (inotify_fd_ < 0) return false;
  const bool had_clients = clients_ > 0;
  alignas(inotify_event) std::array<char, 4096> buffer{};
  for (;;) {
    const ssize_t got = ::read(inotify_fd_, buffer.data(), buffer.size());
    if (got <= 0) break;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
      inotify_event event{};
      std::memcpy(&event, buffer.data() + at, sizeof event);
      watch_heard_ = true;
      if (event.mask & IN_Q_OVERFLOW) {
        clients_ = 1;  // lost count: assume someone is there rather than go deaf
      } else if (event.mask & IN_OPEN) {
        ++clients_;
      } else if (event.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
        if (clients_ > 0) --clients_;
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
    }
  }
  if (had_clients && clients_ == 0) {
    ReleaseTerminal();
    return true;
  }
  return false;
}

ptrdiff_t PtyTransport::ReadSome(uint8_t *buffer, size_t size) {
  const ssize_t got = ::read(io_fd_, buffer, size);
  if (got > 0 && inotify_fd_ >= 0 && !watch_heard_) {
    ::close(inotify_fd_);
    inotify_fd_ = -1;
  }
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
  return got;
}

ptrdiff_t PtyTransport::WriteSome(const uint8_t *buffer, size_t size) {
  const ssize_t put = ::write(io_fd_, buffer, size);
  if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
  return put;
}

}  // namespace phonesim
