#include "control_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "simulator.h"

namespace phonesim {

namespace {

constexpr size_t kMaxLine = 64 * 1024;  // a longer "line" is a confused client

bool WriteAll(int fd, const std::string &text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t put = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

}  // namespace

ControlServer::~ControlServer() { Stop(); }

bool ControlServer::Start(const std::string &path) {
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    error_ = "control socket path too long or empty";
    return false;
  }
  struct stat existing {};
  if (lstat(path.c_str(), &existing) == 0) {
    if (!S_ISSOCK(existing.st_mode)) {
      error_ = "refusing to replace " + path;
      return false;
    }
    ::unlink(path.c_str());
  }
  listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  // Whoever can connect can make the phone write files: the socket is the user's alone,
  // whatever the umask. It is made 0600 as it is bound (no moment open to others), and
  // set so once more in case the system ignores the umask for sockets.
  bool bound = false;
  if (listenFd_ >= 0 && wakeFd_ >= 0) {
    const mode_t oldMask = ::umask(0077);
    bound = ::bind(listenFd_, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::umask(oldMask);
  }
  if (!bound || ::chmod(path.c_str(), S_IRUSR | S_IWUSR) != 0 || ::listen(listenFd_, 8) != 0) {
    error_ = "control socket " + path + ": " + std::strerror(errno);
    if (bound) ::unlink(path.c_str());
    Stop();
    return false;
  }
  path_ = path;
  thread_ = std::thread(&ControlServer::Run, this);
  return true;
}

void ControlServer::Stop() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    const ssize_t result = ::write(wakeFd_, &one, sizeof one);
    (void)result;
    thread_.join();
  }
  for (const Client &client : clients_) ::close(client.fd);
  clients_.clear();
  for (int *fd : {&listenFd_, &wakeFd_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  if (!path_.empty()) ::unlink(path_.c_str());
  path_.clear();
}

bool ControlServer::Serve(Client &client) {
  std::array<char, 4096> buffer{};
  const ssize_t got = ::recv(client.fd, buffer.data(), buffer.size(), 0);
  if (got < 0) return errno == EAGAIN || errno == EINTR;
  if (got == 0) return false;
  client.pending.append(buffer.data(), static_cast<size_t>(got));
  size_t end = 0;
  while ((end = client.pending.find('\n')) != std::string::npos) {
    std::string line = client.pending.substr(0, end);
    client.pending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!WriteAll(client.fd, simulator_.Control(line) + "\n")) return false;
  }
  return client.pending.size() <= kMaxLine;
}

void ControlServer::Run() {
  for (;;) {
    std::vector<pollfd> fds = {{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
    for (const Client &client : clients_) fds.push_back({client.fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
    if (fds[0].revents != 0) return;
    if (fds[1].revents & POLLIN) {
      const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        // A client that stops reading must not stall the channel for the others.
        const timeval limit{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        clients_.push_back({fd, {}});
      }
    }
    // Walk back to front so that dropping a client does not disturb the indices.
    for (size_t i = fds.size(); i-- > 2;) {
      if (fds[i].revents == 0) continue;
      Client &client = clients_[i - 2];
      if (!Serve(client)) {
        ::close(client.fd);
        clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i - 2));
      }
    }
  }
}

}  // namespace phonesim
