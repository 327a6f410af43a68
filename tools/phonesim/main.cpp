// phonesim: a phone of the 6110 family on a pseudo-terminal, for tests and demos.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "control_server.h"
#include "simulator.h"

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  const ssize_t result = ::write(signalPipe[1], &byte, 1);
  (void)result;
}

bool WriteDump(const phonesim::Simulator &simulator, const std::string &path) {
  std::ofstream file(path);
  file << simulator.State().dump(2) << '\n';
  return static_cast<bool>(file);
}

// What the command line asks for beyond the simulator's own options.
struct CommandLine {
  phonesim::Options options;
  std::string controlPath;
  std::string dumpPath;
  bool readStdin = false;
};

void AddOptions(CLI::App &app, CommandLine &line) {
  phonesim::Options &options = line.options;
  app.add_option("--state", options.stateFile, "JSON state file laid over the defaults")->check(CLI::ExistingFile);
  app.add_option("--link", options.linkPath, "also create a symlink to the terminal here");
  app.add_option("--device", options.device, "use this serial device instead of a pseudo-terminal");
  app.add_option("--control", line.controlPath, "Unix socket for line commands");
  app.add_option("--dump-on-exit", line.dumpPath, "write the state as JSON here at exit");
  app.add_option("--files", options.filesDir,
                 "the directory logo files named over the control socket or in the state must be in "
                 "(default: the current directory)")
      ->check(CLI::ExistingDirectory);
  app.add_flag("--pace", options.paced, "read and write at the real line rate (115200 baud)");
  app.add_flag("--stdin", line.readStdin, "read line commands from stdin even when it is not a terminal");
  app.add_flag("-v,--verbose", options.verbose, "log every frame received on stderr");
}

// SIGINT, SIGTERM and SIGHUP end the main loop through the signal pipe; a client
// that goes away mid-write does not end the process.
bool InstallSignalHandlers() {
  if (::pipe2(signalPipe, O_CLOEXEC) != 0) {
    std::perror("pipe");
    return false;
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  return true;
}

// Hands every whole line in pending to the simulator and prints its replies.
void RunControlLines(phonesim::Simulator &simulator, std::string &pending) {
  for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
    const std::string reply = simulator.Control(pending.substr(0, end));
    pending.erase(0, end + 1);
    if (!reply.empty()) std::cout << reply << std::endl;
  }
}

// Waits for a signal or a quit command, reading line commands from stdin meanwhile
// when useStdin is set.
void ServeUntilQuit(phonesim::Simulator &simulator, bool useStdin) {
  std::string pending;
  for (;;) {
    pollfd fds[3] = {{signalPipe[0], POLLIN, 0}, {simulator.QuitFd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    if (::poll(fds, useStdin ? 3 : 2, -1) < 0 && errno != EINTR) break;
    if (fds[0].revents != 0 || fds[1].revents != 0 || simulator.QuitRequested()) break;
    if (useStdin && fds[2].revents != 0) {
      char buffer[1024];
      const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (got <= 0) {
        useStdin = false;  // end of input: keep running until a signal or quit
        continue;
      }
      pending.append(buffer, static_cast<size_t>(got));
      RunControlLines(simulator, pending);
    }
  }
}

}  // namespace

int main(int argc, char **argv) {
  CLI::App app{"phonesim - FBUS phone simulator on a pseudo-terminal"};
  CommandLine line;
  AddOptions(app, line);
  CLI11_PARSE(app, argc, argv);
  if (line.options.filesDir.empty()) line.options.filesDir = ".";

  if (!InstallSignalHandlers()) return 1;

  phonesim::Simulator simulator(line.options);
  if (!simulator.Start()) {
    std::cerr << "phonesim: " << simulator.LastError() << '\n';
    return 1;
  }
  std::cout << simulator.DevicePath() << std::endl;  // scripts read this first line

  phonesim::ControlServer server(simulator);
  if (!line.controlPath.empty() && !server.Start(line.controlPath)) {
    std::cerr << "phonesim: " << server.Error() << '\n';
    simulator.Stop();
    return 1;
  }

  ServeUntilQuit(simulator, line.readStdin || ::isatty(STDIN_FILENO));

  server.Stop();
  simulator.Stop();
  const bool lineLost = !simulator.LastError().empty();
  if (lineLost) std::cerr << "phonesim: " << simulator.LastError() << '\n';
  if (!line.dumpPath.empty() && !WriteDump(simulator, line.dumpPath)) {
    std::cerr << "phonesim: cannot write " << line.dumpPath << '\n';
    return 1;
  }
  return lineLost ? 1 : 0;
}
