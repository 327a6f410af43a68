#pragma once
// The SMS family's share of the session, in one record: the send record with the
// cells and targets of sending, the message centre, the store's reads, deletes, counts
// and saves, the library's message list, and the queue of arrival notices.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "transaction/transaction.h"
#include "sms/sms_record.h"

namespace pelkor {

constexpr int32_t kSmsListCapacity = 512;
constexpr size_t kIncomingQueueSize = 8;
constexpr size_t kMaxSentParts = 255;  // a concatenation header counts parts in one byte

struct SmsCounts {
  int32_t unread = 0;
  int32_t total = 0;
};

struct SmsSession {
  // The process-wide send record; also holds the message-centre setting (host's thread).
  SmsRecord sendRecord;
  // Sends, and the store's reads and deletes, share one cell and target.
  StatusCell sendCell;
  ReplyTarget<SmsRecord> sendTarget;
  StatusCell centreCell;
  ReplyTarget<SmsRecord> centreTarget;
  StatusCell countsCell;
  ReplyTarget<SmsCounts> countsTarget;
  StatusCell saveCell;
  // The references the phone gave the parts of the last send, in part order (host's
  // thread); a sender clears them when it starts.
  int32_t sentReferences[kMaxSentParts] = {};
  int32_t sentReferenceCount = 0;

  // Host's thread only: the counts cache and the list.
  AnswerCache countsCache;
  SmsCounts cachedCounts;
  SmsRecord list[kSmsListCapacity];
  int32_t listCount = 0;

  // Arrival notices: queued by the watch thread, taken by the host's.
  std::atomic<int32_t> incomingCount{0};
  std::mutex incomingMutex;
  uint8_t incomingQueue[kIncomingQueueSize] = {};
  size_t incomingQueued = 0;
};

// The record belongs to the library's context, which is built once and never destroyed,
// so threads winding down at process end never see it torn down.
SmsSession &Sms();

// Called once by the library's context when it is built, before any link thread starts.
void BindSmsSession(SmsSession &session);

}  // namespace pelkor
