#pragma once
// The phone-services family's state in one record: what the identity, status, clock,
// network and call handlers write on the watch thread and the commands read on the
// host's thread. It belongs to the library's context, which is built once and never
// destroyed, so a late reply at process end never reaches a record torn down.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "transaction/transaction.h"

namespace pelkor {

// ---- identity ---------------------------------------------------------------------

constexpr size_t kIdentityTextSize = 20;  // 19 characters and the terminator
constexpr size_t kIdentityModelSize = 8;

// The identity texts, published whole by the watch thread whenever they come.
struct IdentityTexts {
  SharedText<kIdentityTextSize> imei, revision, softwareDate, softwareVersion, hardware;
  SharedText<kIdentityModelSize> model;
};

// ---- status and display -----------------------------------------------------------

// The status values (kept from every status reply, the keep-alive poll's included) and
// the display indicators.
struct StatusState {
  StatusCell signalLevel, batteryLevel, powerSource;
  StatusCell displayCell;
  std::atomic<uint32_t> displayIndicators{0};
  AnswerCache displayCache;  // host's thread, as displayText
  char displayText[9] = {};
};

// ---- clock and alarm --------------------------------------------------------------

struct DateTime {
  int32_t year, month, day, hour, minute, second;
};

struct AlarmSetting {
  int32_t enabled, hour, minute;
};

// The clock's and the alarm's cells, and the records their reads fill.
struct ClockState {
  StatusCell dateTimeRead, dateTimeSet, alarmRead, alarmSet;
  ReplyTarget<DateTime> dateTimeTarget;
  ReplyTarget<AlarmSetting> alarmTarget;
};

// ---- network ----------------------------------------------------------------------

struct NetworkInfo {
  char networkCode[10];
  char areaCode[10];
  char cellId[10];
};

constexpr size_t kMonitorTextSize = 51;  // 50 characters

// The network queries' state: shared with the watch thread through the cells and targets.
struct NetworkState {
  StatusCell infoCell;
  ReplyTarget<NetworkInfo> infoTarget;
  NetworkInfo info{};  // host's thread: the last answer, reused for a moment
  AnswerCache infoCache;
  StatusCell monitorCell;
  ReplyTarget<char[kMonitorTextSize]> monitorTarget;
};

// ---- calls ------------------------------------------------------------------------

constexpr size_t kCallTextSize = 20;

// The call as the phone last described it. A first character ' ' means no call.
struct CallState {
  std::mutex mutex;
  char text[kCallTextSize] = {' '};
  uint8_t id = 0;
  std::atomic<bool> incomingEvent{false};  // an announcement not yet taken
};

// ---- the family's record ----------------------------------------------------------

struct ServicesState {
  IdentityTexts identity;
  StatusState status;
  ClockState clock;
  NetworkState network;
  CallState call;
  // Whether the next SendPreparatoryRequestOnce sends: set as each session starts.
  std::atomic<bool> preparatoryRequestPending{true};
};

ServicesState &Services();

// Called once by the library's context when it is built, before any link thread starts.
void BindServicesState(ServicesState &state);

}  // namespace pelkor
