// The control channel on a Unix stream socket: each line a client writes is one
// command; the reply comes back followed by a newline. Several clients may connect.
#pragma once

#include <string>
#include <thread>
#include <vector>

namespace phonesim {

class Simulator;

class ControlServer {
 public:
  explicit ControlServer(Simulator &simulator) : simulator_(simulator) {}
  ~ControlServer();
  ControlServer(const ControlServer &) = delete;
  ControlServer &operator=(const ControlServer &) = delete;

  // Listens at `path` (a stale socket there is replaced) on a thread of its own.
  bool Start(const std::string &path);
  void Stop();
  const std::string &Error() const { return error_; }

 private:
  struct Client {
    int fd;
    std::string pending;  // bytes of a line not yet ended
  };

  void Run();
  bool Serve(Client &client);  // false when the client has gone

  Simulator &simulator_;
  std::string path_;
  std::string error_;
  int listenFd_ = -1;
  int wakeFd_ = -1;
  std::vector<Client> clients_;
  std::thread thread_;
};

}  // namespace phonesim
