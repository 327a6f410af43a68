#pragma once
// The request-and-wait pattern every phone command follows: mark a status cell
// pending, send the request, and wait until a reply handler (on the watch thread)
// changes the cell or the command's time limit runs out. Replies carry no transaction
// number; a reply is matched to its command only by message type and command byte.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "transaction/result_codes.h"

namespace pelkor {

// The one wake-up signal of every waiting command, for all families: a wake-up only
// makes a waiter look at its own cell again. Handlers on the watch thread notify it.
struct ReplySignal {
  std::mutex mutex;
  std::condition_variable arrived;
};

// The signal belongs to the library's context, which is built once and never destroyed.
ReplySignal &Replies();

// Called once by the library's context when it is built, before any link thread starts.
void BindReplySignal(ReplySignal &signal);

// A command family's status cell. A handler stores its data first, then completes the
// cell (release order), which also wakes the waiting command at once.
class StatusCell {
 public:
  void Arm(int32_t pending = kPending) { value_.store(pending, std::memory_order_release); }
  void Complete(int32_t value);
  int32_t Value() const { return value_.load(std::memory_order_acquire); }
  bool Holds(int32_t value) const { return Value() == value; }

 private:
  std::atomic<int32_t> value_{0};
};

// Wakes every waiting command; handlers that publish data without a cell call it too.
void NotifyReplyArrived();

// Waits until the cell leaves `pending`: the cell is checked `checks` times, `stepMs`
// apart, the first time at once, so the limit is (checks - 1) x stepMs from now. A
// reply ends the wait early; a wake-up for another cell never shortens the limit.
// Returns true when the cell left the pending value.
bool AwaitCell(const StatusCell &cell, int32_t pending, int32_t checks, int32_t stepMs);

// Waits up to `checks` x `stepMs` for `ready()` (the identity texts' polls).
template <typename Predicate>
bool AwaitCondition(Predicate ready, int32_t checks, int32_t stepMs);

// Arms the cell, sends the request and waits. Returns the cell's final value, or
// kResultTimeout when the limit runs out (also stored in the cell when `storeTimeout`
// is set).
int32_t RunTransaction(StatusCell &cell, uint8_t type, const uint8_t *payload, size_t length, int32_t checks,
                       int32_t stepMs, bool storeTimeout = false);

// The caller's record a reply may fill while its command waits. Attach and Detach
// bracket the wait; a handler writes only through Fill, under the same lock, so a late
// reply can never write into a record whose owner has returned.
template <typename Record>
class ReplyTarget {
 public:
  void Attach(Record *record) {
    std::lock_guard<std::mutex> lock(mutex_);
    record_ = record;
  }
  void Detach() { Attach(nullptr); }
  // Whether a command waits with a record: the usual "is this reply awaited" of a row.
  bool Attached() {
    std::lock_guard<std::mutex> lock(mutex_);
    return record_ != nullptr;
  }
  template <typename Writer>
  bool Fill(Writer write) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (record_ == nullptr) return false;
    write(*record_);
    return true;
  }

 private:
  std::mutex mutex_;
  Record *record_ = nullptr;
};

// Keeps `record` attached to `target` for the life of the scope: the bracket around every
// command whose reply fills a record of the caller's.
template <typename Record>
class AttachedRecord {
 public:
  AttachedRecord(ReplyTarget<Record> &target, Record &record) : target_(target) { target_.Attach(&record); }
  ~AttachedRecord() { target_.Detach(); }
  AttachedRecord(const AttachedRecord &) = delete;
  AttachedRecord &operator=(const AttachedRecord &) = delete;

 private:
  ReplyTarget<Record> &target_;
};

// The whole exchange of a command whose reply fills `record`: attach, arm, send, wait,
// detach. Returns what RunTransaction returns.
template <typename Record>
int32_t RunExchange(ReplyTarget<Record> &target, Record &record, StatusCell &cell, uint8_t type, const uint8_t *payload,
                    size_t length, int32_t checks, int32_t stepMs, bool storeTimeout = false) {
  AttachedRecord<Record> attached(target, record);
  return RunTransaction(cell, type, payload, length, checks, stepMs, storeTimeout);
}

// A command's remembered answer: reused while it was a success and is young enough.
class AnswerCache {
 public:
  bool Fresh(int64_t windowMs) const;
  void Store(int32_t result, int64_t clockMs);
  int32_t Result() const { return result_; }
  // Runs `ask` unless the last answer is fresh, remembering its result as of the moment
  // of asking; returns the remembered result.
  template <typename Ask>
  int32_t ReuseOrAsk(int64_t windowMs, Ask ask);

 private:
  int32_t result_ = -1;  // nothing asked yet
  int64_t clock_ = 0;
};

// A text a handler publishes whole: readers never see it half-written.
template <size_t Capacity>
class SharedText {
 public:
  void Set(const char *text);
  void Clear() { Set(""); }
  bool Empty() const;
  // Copies the text into out (size bytes, always terminated when size > 0).
  void CopyTo(char *out, size_t size) const;

 private:
  mutable std::mutex mutex_;
  char text_[Capacity] = {};
};

// ---- implementation of the templates --------------------------------------------

namespace detail {
void WaitForReply(int64_t deadlineMs, const void *tag, bool (*ready)(const void *));
int64_t NowMs();
}  // namespace detail

template <typename Predicate>
bool AwaitCondition(Predicate ready, int32_t checks, int32_t stepMs) {
  const int64_t deadline = detail::NowMs() + static_cast<int64_t>(checks) * stepMs;
  detail::WaitForReply(deadline, &ready, [](const void *p) { return (*static_cast<const Predicate *>(p))(); });
  return ready();
}

template <typename Ask>
int32_t AnswerCache::ReuseOrAsk(int64_t windowMs, Ask ask) {
  if (!Fresh(windowMs)) {
    const int64_t asked = detail::NowMs();
    Store(ask(), asked);
  }
  return result_;
}

template <size_t Capacity>
void SharedText<Capacity>::Set(const char *text) {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = 0;
  for (; text != nullptr && text[n] != '\0' && n + 1 < Capacity; ++n) text_[n] = text[n];
  for (size_t i = n; i < Capacity; ++i) text_[i] = '\0';
}

template <size_t Capacity>
bool SharedText<Capacity>::Empty() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_[0] == '\0';
}

template <size_t Capacity>
void SharedText<Capacity>::CopyTo(char *out, size_t size) const {
  if (out == nullptr || size == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = 0;
  for (; n + 1 < size && n < Capacity && text_[n] != '\0'; ++n) out[n] = text_[n];
  out[n] = '\0';
}

}  // namespace pelkor
