#include "hook.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "daemon.h"
#include "log.h"

namespace smsd {
namespace {

constexpr auto kSlice = std::chrono::milliseconds(20);
constexpr auto kGrace = std::chrono::seconds(2);  // after SIGTERM, before SIGKILL

bool GroupAlive(pid_t group) { return ::kill(-group, 0) == 0 || errno == EPERM; }

}  // namespace

HookRunner::HookRunner(std::string command, int timeoutSeconds, std::string setting, std::string rows)
    : command_(std::move(command)),
      timeoutSeconds_(timeoutSeconds),
      setting_(std::move(setting)),
      rows_(std::move(rows)),
      thread_([this] { Loop(); }) {}

HookRunner::~HookRunner() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    if (!queue_.empty())
      Log(Level::kWarning, setting_ + ": " + std::to_string(queue_.size()) + " commands not run, the daemon stops (" +
                               rows_ + "s from " + std::to_string(queue_.front().id) + ")");
    queue_.clear();
  }
  changed_.notify_all();
  thread_.join();
}

void HookRunner::Enqueue(int64_t id, std::vector<std::string> variables) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back({id, std::move(variables)});
  }
  changed_.notify_all();
}

void HookRunner::Drain() {
  std::unique_lock lock(mutex_);
  while ((busy_ || !queue_.empty()) && !stopRequested.load()) changed_.wait_for(lock, kSlice * 5);
}

void HookRunner::Loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    // Once a stop is asked for, nothing new starts: the destructor drops the queue.
    changed_.wait_for(lock, kSlice * 5, [this] { return quit_ || (!queue_.empty() && !stopRequested.load()); });
    if (quit_) return;
    if (queue_.empty() || stopRequested.load()) continue;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    lock.unlock();
    Run(job);
    lock.lock();
    busy_ = false;
    changed_.notify_all();
  }
}

// The command is done when its shell has exited and nothing it started is left in its
// process group; at the limit, or when the daemon stops, the whole group is ended.
void HookRunner::Run(Job &job) {
  const std::string what = setting_ + " for " + rows_ + " " + std::to_string(job.id);
  // Everything the child needs is made here: the library's threads run on, so between
  // fork and exec the child may not allocate.
  std::vector<char *> environment;
  for (char **e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "SMS_", 4) != 0) environment.push_back(*e);
  for (std::string &v : job.variables) environment.push_back(v.data());
  environment.push_back(nullptr);
  std::string command = command_;
  char shell[] = "/bin/sh", name[] = "sh", flag[] = "-c";
  char *arguments[] = {name, flag, command.data(), nullptr};
  sigset_t all;
  sigemptyset(&all);
  const pid_t child = fork();
  if (child < 0) {
    Log(Level::kError, what + ": cannot start it: " + std::strerror(errno));
    return;
  }
  if (child == 0) {
    ::setpgid(0, 0);  // a group of its own, so that it can be ended whole
    sigprocmask(SIG_SETMASK, &all, nullptr);
    signal(SIGPIPE, SIG_DFL);  // the daemon ignores it; the command's pipes should not
    execve(shell, arguments, environment.data());
    _exit(127);
  }
  ::setpgid(child, child);  // the same from this side, so the group exists before any kill
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::seconds(timeoutSeconds_);
  bool exited = false, ended = false;
  int status = 0;
  auto reap = [&] {
    if (!exited && waitpid(child, &status, WNOHANG) == child) exited = true;
    return exited && !GroupAlive(child);
  };
  while (!reap()) {
    if (std::chrono::steady_clock::now() >= end || stopRequested.load()) {
      ended = true;
      break;
    }
    std::this_thread::sleep_for(kSlice);
  }
  if (ended) {
    const bool stopping = stopRequested.load();
    ::kill(-child, SIGTERM);
    const auto grace = std::chrono::steady_clock::now() + kGrace;
    while (!reap() && std::chrono::steady_clock::now() < grace) std::this_thread::sleep_for(kSlice);
    ::kill(-child, SIGKILL);
    if (!exited) waitpid(child, &status, 0);
    Log(Level::kWarning,
        what + (stopping ? " was stopped: the daemon stops"
                         : " took longer than " + std::to_string(timeoutSeconds_) + " s; its process group was ended"));
    return;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    Log(Level::kWarning, what + " failed (status " +
                             std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)) + ")");
}

}  // namespace smsd
