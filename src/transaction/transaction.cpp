#include "transaction/transaction.h"

#include <chrono>

#include "link/frame_sender.h"
#include "platform/clock.h"

namespace pelkor {
namespace {

ReplySignal *bound = nullptr;  // set while the process is still single-threaded

}  // namespace

ReplySignal &Replies() { return *bound; }

void BindReplySignal(ReplySignal &signal) { bound = &signal; }

namespace detail {

int64_t NowMs() { return platform::MonotonicMs(); }

void WaitForReply(int64_t deadlineMs, const void *tag, bool (*ready)(const void *)) {
  ReplySignal &signal = Replies();
  std::unique_lock<std::mutex> lock(signal.mutex);
  while (!ready(tag)) {
    const int64_t left = deadlineMs - platform::MonotonicMs();
    if (left <= 0) return;
    signal.arrived.wait_for(lock, std::chrono::milliseconds(left));
  }
}

}  // namespace detail

void NotifyReplyArrived() {
  // Taking the lock orders the notification after a waiter's check of its cell, so a
  // reply that lands between the check and the wait is never missed.
  ReplySignal &signal = Replies();
  { std::lock_guard<std::mutex> lock(signal.mutex); }
  signal.arrived.notify_all();
}

void StatusCell::Complete(int32_t value) {
  value_.store(value, std::memory_order_release);
  NotifyReplyArrived();
}

bool AwaitCell(const StatusCell &cell, int32_t pending, int32_t checks, int32_t stepMs) {
  if (checks < 1) checks = 1;
  const int64_t deadline = detail::NowMs() + static_cast<int64_t>(checks - 1) * stepMs;
  struct Probe {
    const StatusCell &cell;
    int32_t pending;
  } probe{cell, pending};
  detail::WaitForReply(deadline, &probe, [](const void *p) {
    const Probe &pr = *static_cast<const Probe *>(p);
    return !pr.cell.Holds(pr.pending);
  });
  return !cell.Holds(pending);
}

int32_t RunTransaction(StatusCell &cell, uint8_t type, const uint8_t *payload, size_t length, int32_t checks,
                       int32_t stepMs, bool storeTimeout) {
  cell.Arm(kPending);
  Send(length, type, payload);
  if (AwaitCell(cell, kPending, checks, stepMs)) return cell.Value();
  if (storeTimeout) cell.Arm(kResultTimeout);
  return kResultTimeout;
}

bool AnswerCache::Fresh(int64_t windowMs) const {
  if (result_ != kResultOk) return false;
  int64_t age = platform::MonotonicMs() - clock_;
  if (age < 0) age = -age;
  return age <= windowMs;
}

void AnswerCache::Store(int32_t result, int64_t clockMs) {
  result_ = result;
  clock_ = clockMs;
}

}  // namespace pelkor
