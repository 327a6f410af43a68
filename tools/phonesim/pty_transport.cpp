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

bool PtyTransport::OpenPty(const std::string &linkPath) {
  Close();
  ioFd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (ioFd_ < 0) return Fail("posix_openpt");
  if (grantpt(ioFd_) != 0 || unlockpt(ioFd_) != 0) return Fail("grantpt/unlockpt");
  std::array<char, 128> name{};
  if (ptsname_r(ioFd_, name.data(), name.size()) != 0) return Fail("ptsname_r");
  devicePath_ = name.data();
  const int flags = fcntl(ioFd_, F_GETFL);
  if (flags < 0 || fcntl(ioFd_, F_SETFL, flags | O_NONBLOCK) != 0) return Fail("fcntl");

  terminalFd_ = ::open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (terminalFd_ < 0) return Fail("open " + devicePath_);
  if (!MakeRaw(terminalFd_)) return Fail("raw mode on " + devicePath_);

  // Watch from here on: our own open above is not a client.
  inotifyFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotifyFd_ >= 0 &&
      inotify_add_watch(inotifyFd_, devicePath_.c_str(), IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
    ::close(inotifyFd_);
    inotifyFd_ = -1;  // without a watch we treat the line as always in use
  }

  if (!linkPath.empty()) {
    struct stat existing {};
    if (lstat(linkPath.c_str(), &existing) == 0) {
      if (!S_ISLNK(existing.st_mode)) {
        errno = EEXIST;
        return Fail("refusing to replace " + linkPath);
      }
      ::unlink(linkPath.c_str());
    }
    if (::symlink(devicePath_.c_str(), linkPath.c_str()) != 0) return Fail("symlink " + linkPath);
    linkPath_ = linkPath;
  }
  return true;
}

bool PtyTransport::OpenDevice(const std::string &path) {
  Close();
  ioFd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (ioFd_ < 0) return Fail("open " + path);
  if (!MakeRaw(ioFd_)) return Fail("raw mode on " + path);
  devicePath_ = path;
  return true;
}

void PtyTransport::ReleaseTerminal() {
  if (terminalFd_ < 0) return;
  // A client that set exclusive use and went away would otherwise lock out every later
  // open by an ordinary user. What it left unread is stale by now.
  ioctl(terminalFd_, TIOCNXCL);
  MakeRaw(terminalFd_);
  tcflush(terminalFd_, TCIFLUSH);
}

void PtyTransport::Close() {
  ReleaseTerminal();
  if (!linkPath_.empty()) {
    ::unlink(linkPath_.c_str());
    linkPath_.clear();
  }
  for (int *fd : {&inotifyFd_, &terminalFd_, &ioFd_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  clients_ = 0;
  watchHeard_ = false;
}

bool PtyTransport::HandleWatchEvents() {
  if (inotifyFd_ < 0) return false;
  const bool hadClients = clients_ > 0;
  alignas(inotify_event) std::array<char, 4096> buffer{};
  for (;;) {
    const ssize_t got = ::read(inotifyFd_, buffer.data(), buffer.size());
    if (got <= 0) break;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
      inotify_event event{};
      std::memcpy(&event, buffer.data() + at, sizeof event);
      watchHeard_ = true;
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
  if (hadClients && clients_ == 0) {
    ReleaseTerminal();
    return true;
  }
  return false;
}

ptrdiff_t PtyTransport::ReadSome(uint8_t *buffer, size_t size) {
  const ssize_t got = ::read(ioFd_, buffer, size);
  if (got > 0 && inotifyFd_ >= 0 && !watchHeard_) {
    ::close(inotifyFd_);
    inotifyFd_ = -1;
  }
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
  return got;
}

ptrdiff_t PtyTransport::WriteSome(const uint8_t *buffer, size_t size) {
  const ssize_t put = ::write(ioFd_, buffer, size);
  if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
  return put;
}

}  // namespace phonesim
