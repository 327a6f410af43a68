// Watching for incoming calls and new messages: lines for people, one JSON object per
// event line for scripts (--json), and a command run for each new message (--exec).
#include <pelkor16.h>
#include <spawn.h>
#include <sys/wait.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "command_table.h"
#include "commands.h"
#include "exit_status.h"
#include "sms_messages.h"

extern char **environ;

namespace pelkor_tool {
namespace {

constexpr int32_t kInbox = 13;
constexpr int32_t kReports = 12;
// The library's arrival queue holds this many notices; its list this many entries.
constexpr int kQueued = 8;
constexpr int32_t kListSize = 512;
// When the list holds this many entries it is read afresh from the store, so that the
// arrivals appended to it never fill it.
constexpr int32_t kListRefill = kListSize - 4 * kQueued;

std::atomic<bool> stopWatching{false};

struct WatchOptions {
  int seconds = 0;
  std::string exec;
  int execTimeout = 30;
};

// One event as one line of JSON, written at once.
void Emit(const nlohmann::json &event) {
  std::printf("%s\n", JsonText(event).c_str());
  std::fflush(stdout);
}

// Ends the --exec command's whole process group: politely, then for good.
void EndGroup(pid_t pid, int &status) {
  ::kill(-pid, SIGTERM);
  const auto grace = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (std::chrono::steady_clock::now() < grace) {
    if (waitpid(pid, &status, WNOHANG) == pid) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(-pid, SIGKILL);  // whatever is left of the group, the shell included
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

// Runs the --exec command through the shell with the message in its environment, in a
// process group of its own that is ended whole at the time limit (or when the watch is
// stopped); returns its exit status (127 when it could not be started, -1 when it was
// ended at the limit).
int RunFor(const std::string &command, int timeoutSeconds, const StoredMessage &m) {
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
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = 0;
  std::fflush(stdout);
  const int spawned = posix_spawn(&pid, argv[0], nullptr, &attributes, argv, envp.data());
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) return 127;
  int status = 0;
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return 127;
    if (stopWatching || std::chrono::steady_clock::now() >= limit) {
      EndGroup(pid, status);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

int32_t ListEntries() { return getsmsmsgcount(11) + getsmsmsgcount(12) + getsmsmsgcount(13); }

// What the watch knows of the inbox: the message it last saw at each location, and how
// many of the library's arrival notices it has accounted for. A notice is accounted
// for when its message was read into the list, or when the store was read afresh after it.
class Arrivals {
 public:
  // Takes the store as it is now as already seen.
  void Start() {
    std::vector<StoredMessage> ignored;
    Rescan(ignored);
  }

  // The messages that arrived since the last call, in the order they arrived.
  std::vector<StoredMessage> Collect() {
    std::vector<StoredMessage> fresh;
    int32_t count = accounted_;
    // Each call reads the latest queued notice's message into the list: the newest
    // first, so the ones read are put in arrival order afterwards.
    for (int i = 0; i < kQueued; ++i) {
      const int32_t before = ListEntries(), inboxBefore = getsmsmsgcount(kInbox),
                    reportsBefore = getsmsmsgcount(kReports);
      count = smsreceivedcount();
      if (ListEntries() == before) break;  // nothing queued, the read failed or the list is full
      accounted_ = std::min(accounted_ + 1, count);
      for (const auto &[kind, countBefore] : {std::pair{kInbox, inboxBefore}, std::pair{kReports, reportsBefore}}) {
        if (getsmsmsgcount(kind) <= countBefore) continue;
        StoredMessage m = ListedMessage(kind, getsmsmsgcount(kind));
        if (Remember(m)) fresh.push_back(std::move(m));
      }
    }
    std::reverse(fresh.begin(), fresh.end());
    // Notices counted but not read (the queue overflowed, a read failed, the list was
    // full), or a list near full: the store is read afresh.
    if (count > accounted_ || ListEntries() >= kListRefill) {
      std::vector<StoredMessage> found;
      Rescan(found);
      for (StoredMessage &m : found) fresh.push_back(std::move(m));
    }
    return fresh;
  }

 private:
  static std::string Key(const StoredMessage &m) {
    return m.from + '\0' + m.time + '\0' + m.text + '\0' + std::to_string(m.report.reference) + '\0' +
           std::to_string(m.report.status) + '\0' + m.report.discharged;
  }

  // True when `m` is not the message last seen at its location.
  bool Remember(const StoredMessage &m) {
    auto [at, added] = known_.try_emplace(m.location, Key(m));
    if (added) return true;
    if (at->second == Key(m)) return false;
    at->second = Key(m);
    return true;
  }

  // Empties the queue of notices (what it names is read again below), then reads the
  // whole store into the list afresh; `found` gets the messages not seen before, by
  // location.
  void Rescan(std::vector<StoredMessage> &found) {
    int32_t count = 0;
    for (int i = 0; i < kQueued; ++i) count = smsreceivedcount();
    const int32_t result = updatesmslist();
    const bool whole = result == PELKOR_ERR_SMS_READ || result == PELKOR_OK;
    std::set<int32_t> present;
    for (StoredMessage &m : ListedMessages({kInbox, kReports})) {
      present.insert(m.location);
      if (Remember(m)) found.push_back(std::move(m));
    }
    // A scan cut short says nothing of the locations it did not reach.
    if (whole)
      for (auto it = known_.begin(); it != known_.end();)
        it = present.count(it->first) ? std::next(it) : known_.erase(it);
    accounted_ = count;
  }

  std::map<int32_t, std::string> known_;
  int32_t accounted_ = 0;
};

// "1 call", "2 calls".
std::string Counted(int count, const char *one, const char *many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

int Watch(Report &r, WatchOptions &watchOptions) {
  stopWatching = false;
  std::signal(SIGINT, [](int) { stopWatching = true; });
  std::signal(SIGTERM, [](int) { stopWatching = true; });
  Arrivals arrivals;
  arrivals.Start();
  if (r.json()) Emit({{"event", "watching"}});
  r.Line("watching for calls and messages (Ctrl-C to stop)");
  std::fflush(stdout);
  int messages = 0, calls = 0, reports = 0, failedCommands = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(watchOptions.seconds);
  while (!stopWatching && (watchOptions.seconds <= 0 || std::chrono::steady_clock::now() < until)) {
    if (incomingevent() == 1) {
      char number[64];
      incoming(number, sizeof number);
      ++calls;
      if (r.json()) Emit({{"event", "call"}, {"number", number}});
      r.Line(std::string("incoming call from ") + (number[0] != '\0' ? number : "an unknown number"));
    }
    for (const StoredMessage &m : arrivals.Collect()) {
      if (m.kindCode == kReports) {
        ++reports;
        if (r.json()) Emit({{"event", "report"}, {"message", m.ToJson()}});
        r.Line("status report at location " + std::to_string(m.location) + " on the message to " + m.to + ": " +
               ReportStatusWord(m.report.status) + ", reference " + std::to_string(m.report.reference));
        std::fflush(stdout);
        continue;
      }
      ++messages;
      if (r.json()) Emit({{"event", "sms"}, {"message", m.ToJson()}});
      r.Line("new message at location " + std::to_string(m.location) + " from " + m.from +
             (m.time.empty() ? "" : ", " + m.time));
      r.Line("   " + m.text);
      std::fflush(stdout);
      if (!watchOptions.exec.empty()) {
        const int status = RunFor(watchOptions.exec, watchOptions.execTimeout, m);
        if (status == -1) {
          ++failedCommands;
          std::fprintf(stderr,
                       "pelkor: the --exec command for the message at location %d was ended after %d s (its "
                       "whole process group)\n",
                       m.location, watchOptions.execTimeout);
        } else if (status != 0) {
          ++failedCommands;
          std::fprintf(stderr, "pelkor: the --exec command exited %d for the message at location %d\n", status,
                       m.location);
        }
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  r.Line("watched: " + Counted(calls, "call", "calls") + ", " + Counted(messages, "message", "messages") +
         (reports > 0 ? ", " + Counted(reports, "status report", "status reports") : ""));
  if (r.json()) Emit({{"event", "stopped"}, {"calls", calls}, {"messages", messages}, {"reports", reports}});
  return 0;  // JSON mode has printed its events line by line
}

int CheckWatch(Report &r, WatchOptions &o) {
  if (o.seconds < 0) return FailAs(r, kExitUsage, "--seconds " + std::to_string(o.seconds) + " is below 0");
  if (o.execTimeout < 1 || o.execTimeout > 86400)
    return FailAs(r, kExitUsage, "--exec-timeout " + std::to_string(o.execTimeout) + " is not 1 to 86400 seconds");
  return kExitOk;
}

}  // namespace

void AddWatchCommand(CLI::App &app, GlobalOptions &options) {
  AddCommands(
      app, options,
      Command<WatchOptions>{
          .name = "watch",
          .help = "Show incoming calls and new messages as they arrive",
          .footer =
              "With --json every event is one line of JSON as it happens: {\"event\": \"watching\"} first, then\n"
              "{\"event\": \"sms\", \"message\": {\"location\": 4, \"from\": ..., ...}} or {\"event\": \"call\", "
              "\"number\": "
              "...},\n"
              "{\"event\": \"report\", \"message\": {\"kind\": \"report\", \"reference\": 17, \"status\": "
              "\"delivered\", "
              "...}},\n"
              "and {\"event\": \"stopped\", \"calls\": N, \"messages\": N, \"reports\": N} at the end (docs/json.md).\n"
              "Example: pelkor watch --seconds 60\n"
              "Example: pelkor watch --json --exec 'printf \"%s: %s\\n\" \"$PELKOR_SMS_FROM\" \"$PELKOR_SMS_TEXT\" >> "
              "sms.log'",
          .declare =
              [](CLI::App &c, WatchOptions &o) {
                c.add_option("--seconds", o.seconds, "stop after this long (0: until Ctrl-C)");
                c.add_option("--exec", o.exec,
                             "run this shell command for each new message, with PELKOR_SMS_LOCATION, "
                             "PELKOR_SMS_FROM, PELKOR_SMS_TIME, PELKOR_SMS_TEXT and PELKOR_SMS_KIND set");
                c.add_option("--exec-timeout", o.execTimeout,
                             "end the --exec command, its whole process group, after this many seconds (default 30)");
              },
          .check = CheckWatch,
          .run = Watch});
}

}  // namespace pelkor_tool
