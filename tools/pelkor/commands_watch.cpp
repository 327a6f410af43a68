// Watching for incoming calls and new messages: lines for people, one JSON object per
// event line for scripts (--json), and a command run for each new message (--exec).
#include <pelkor16.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "exit_status.h"
#include "sms_messages.h"

extern char **environ;

namespace pelkor_tool {
namespace {

constexpr int32_t kInbox = 13;

std::atomic<bool> stopWatching{false};

struct WatchOptions {
  int seconds = 0;
  std::string exec;
} watchOptions;

// One event as one line of JSON, written at once.
void Emit(const nlohmann::json &event) {
  std::printf("%s\n", JsonText(event).c_str());
  std::fflush(stdout);
}

// Runs the --exec command through the shell with the message in its environment;
// returns its exit status (127 when it could not be started).
int RunFor(const std::string &command, const StoredMessage &m) {
  std::vector<std::string> variables;
  for (char **e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "PELKOR_SMS_", 11) != 0 && std::strncmp(*e, "PELKOR_EVENT=", 13) != 0) variables.push_back(*e);
  variables.push_back("PELKOR_EVENT=sms");
  variables.push_back("PELKOR_SMS_LOCATION=" + std::to_string(m.location));
  variables.push_back(std::string("PELKOR_SMS_KIND=") + KindName(m.kindCode));
  variables.push_back("PELKOR_SMS_FROM=" + m.from);
  variables.push_back("PELKOR_SMS_TIME=" + m.time);
  variables.push_back("PELKOR_SMS_TEXT=" + m.text);
  std::vector<char *> envp;
  for (std::string &v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::string shell = "/bin/sh", flag = "-c", body = command;
  char *argv[] = {shell.data(), flag.data(), body.data(), nullptr};
  pid_t pid = 0;
  std::fflush(stdout);
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, envp.data()) != 0) return 127;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// The inbox entries of the list from index `first` (1-based) on.
std::vector<StoredMessage> InboxFrom(int32_t first) {
  std::vector<StoredMessage> out;
  for (const StoredMessage &m : ListedMessages({kInbox}))
    if (m.n >= first) out.push_back(m);
  return out;
}

int Watch(Report &r) {
  stopWatching = false;
  std::signal(SIGINT, [](int) { stopWatching = true; });
  std::signal(SIGTERM, [](int) { stopWatching = true; });
  if (r.json()) Emit({{"event", "watching"}});
  r.Line("watching for calls and messages (Ctrl-C to stop)");
  smsreceivedcount();
  int32_t seen = getsmsmsgcount(kInbox);
  int messages = 0, calls = 0, failedCommands = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(watchOptions.seconds);
  while (!stopWatching && (watchOptions.seconds <= 0 || std::chrono::steady_clock::now() < until)) {
    if (incomingevent() == 1) {
      char number[64];
      incoming(number, sizeof number);
      ++calls;
      if (r.json()) Emit({{"event", "call"}, {"number", number}});
      r.Line(std::string("incoming call from ") + (number[0] != '\0' ? number : "an unknown number"));
    }
    // Each call reads the latest announced message into the list.
    smsreceivedcount();
    if (getsmsmsgcount(kInbox) > seen) {
      for (const StoredMessage &m : InboxFrom(seen + 1)) {
        ++messages;
        if (r.json()) {
          nlohmann::json event = m.ToJson();
          event["event"] = "sms";
          Emit(event);
        }
        r.Line("new message at location " + std::to_string(m.location) + " from " + m.from +
               (m.time.empty() ? "" : ", " + m.time));
        r.Line("   " + m.text);
        if (!watchOptions.exec.empty()) {
          const int status = RunFor(watchOptions.exec, m);
          if (status != 0) {
            ++failedCommands;
            std::fprintf(stderr, "pelkor: the --exec command exited %d for the message at location %d\n", status,
                         m.location);
          }
        }
      }
      seen = getsmsmsgcount(kInbox);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  r.Line("watched: " + std::to_string(calls) + " calls, " + std::to_string(messages) + " messages");
  return 0;  // JSON mode has printed its events line by line
}

}  // namespace

void AddWatchCommand(CLI::App &app, GlobalOptions &options) {
  auto *watch = app.add_subcommand("watch", "Show incoming calls and new messages as they arrive");
  watch->add_option("--seconds", watchOptions.seconds, "stop after this long (0: until Ctrl-C)");
  watch->add_option("--exec", watchOptions.exec,
                    "run this shell command for each new message, with PELKOR_SMS_LOCATION, "
                    "PELKOR_SMS_FROM, PELKOR_SMS_TIME, PELKOR_SMS_TEXT and PELKOR_SMS_KIND set");
  watch->footer(
      "With --json every event is one line of JSON as it happens: {\"event\": \"sms\",\n"
      "\"location\": 4, \"from\": ..., \"time\": ..., \"text\": ...} or {\"event\": \"call\", \"number\": ...}.\n"
      "Example: pelkor watch --seconds 60\n"
      "Example: pelkor watch --json --exec 'printf \"%s: %s\\n\" \"$PELKOR_SMS_FROM\" \"$PELKOR_SMS_TEXT\" >> "
      "sms.log'");
  watch->callback([&] {
    if (watchOptions.seconds < 0) {
      Report check(options.json);
      exitStatus = FailAs(check, kExitUsage, "--seconds " + std::to_string(watchOptions.seconds) + " is below 0");
      return;
    }
    WithPhone(options, Watch);
  });
}

}  // namespace pelkor_tool
