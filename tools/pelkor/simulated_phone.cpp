#include "simulated_phone.h"

#include "install_paths.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

extern char **environ;

namespace pelkor_tool {

SimulatedPhone::~SimulatedPhone() { Stop(); }

bool SimulatedPhone::Start(const std::string &stateFile) {
  char dumpTemplate[] = "/tmp/pelkor-phonesim-XXXXXX";
  int dumpFd = ::mkstemp(dumpTemplate);
  if (dumpFd < 0) {
    error_ = "cannot create a temporary file";
    return false;
  }
  ::close(dumpFd);
  dumpPath_ = dumpTemplate;

  int out[2];
  if (::pipe(out) != 0) {
    error_ = "cannot create a pipe";
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const std::string program = PhonesimPath();
  std::vector<std::string> args = {program, "--dump-on-exit", dumpPath_};
  if (!stateFile.empty()) {
    args.push_back("--state");
    args.push_back(stateFile);
  }
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(out[0]);
    error_ = "cannot start " + program + " (set PELKOR_PHONESIM to its path)";
    return false;
  }
  pid_ = pid;
  // Its first line of output is the device path of the pseudo-terminal.
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') device_ += c;
  ::close(out[0]);
  if (device_.empty()) {
    error_ = program + " did not report a device";
    Stop();
    return false;
  }
  return true;
}

nlohmann::json SimulatedPhone::Stop() {
  nlohmann::json state;
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    std::ifstream dump(dumpPath_);
    state = nlohmann::json::parse(dump, nullptr, false);
    if (state.is_discarded()) state = nlohmann::json();
  }
  if (!dumpPath_.empty()) {
    std::remove(dumpPath_.c_str());
    dumpPath_.clear();
  }
  return state;
}

}  // namespace pelkor_tool
