#include "services/clock_alarm.h"

#include "services/service_requests.h"
#include "services/services_state.h"
#include "transaction/transaction.h"
#include "link/request_writer.h"
#include "transaction/result_codes.h"

namespace pelkor {
namespace {

constexpr int32_t kReadPolls = 50;
constexpr int32_t kSetPolls = 200;
constexpr int32_t kPollMs = 10;

ClockState &Clock() { return Services().clock; }

void Put(int32_t *out, int32_t value) {
  if (out != nullptr) *out = value;
}

uint8_t Low8(int32_t value) { return static_cast<uint8_t>(value & 0xFF); }

// Reads a record through its target.
template <typename Record>
int32_t ReadRecord(StatusCell &cell, ReplyTarget<Record> &target, Record &record, const uint8_t *request,
                   size_t length) {
  return RunExchange(target, record, cell, kTypeClock, request, length, kReadPolls, kPollMs);
}

int32_t SettingResult(const ReplyMessage &reply) { return reply.At(4) == 0x01 ? kResultOk : kResultSettingRefused; }

}  // namespace

int32_t GetDateTime(int32_t *year, int32_t *month, int32_t *day, int32_t *hour, int32_t *minute, int32_t *second) {
  for (int32_t *out : {year, month, day, hour, minute, second}) Put(out, 0);
  static constexpr auto kRequest = CommandRequest(0x62);
  DateTime now{};
  const int32_t result =
      ReadRecord(Clock().dateTimeRead, Clock().dateTimeTarget, now, kRequest.data(), kRequest.size());
  if (result != kResultOk) return result;
  Put(year, now.year);
  Put(month, now.month);
  Put(day, now.day);
  Put(hour, now.hour);
  Put(minute, now.minute);
  Put(second, now.second);
  return kResultOk;
}

int32_t SetDateTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute) {
  // The phone sets seconds to zero itself; the seconds argument is not sent.
  const auto request = CommandRequest(0x60, 0x01, 0x01, 0x07, static_cast<uint8_t>((year >> 8) & 0xFF), Low8(year),
                                      Low8(month), Low8(day), Low8(hour), Low8(minute), 0x00);
  return RunTransaction(Clock().dateTimeSet, kTypeClock, request.data(), request.size(), kSetPolls, kPollMs);
}

int32_t GetAlarm(int32_t *enabled, int32_t *hour, int32_t *minute) {
  for (int32_t *out : {enabled, hour, minute}) Put(out, 0);
  static constexpr auto kRequest = CommandRequest(0x6D);
  AlarmSetting alarm{};
  const int32_t result = ReadRecord(Clock().alarmRead, Clock().alarmTarget, alarm, kRequest.data(), kRequest.size());
  if (result != kResultOk) return result;
  Put(enabled, alarm.enabled);
  Put(hour, alarm.hour);
  Put(minute, alarm.minute);
  return kResultOk;
}

int32_t SetAlarm(int32_t hour, int32_t minute) {
  // 0x02 before the hour switches the alarm on; there is no request that switches it off.
  const auto request = CommandRequest(0x6B, 0x01, 0x20, 0x03, 0x02, Low8(hour), Low8(minute), 0x00);
  return RunTransaction(Clock().alarmSet, kTypeClock, request.data(), request.size(), kSetPolls, kPollMs);
}

namespace {

void HandleDateTimeSet(const ReplyMessage &reply) { Clock().dateTimeSet.Complete(SettingResult(reply)); }

void HandleDateTime(const ReplyMessage &reply) {
  if (reply.length < 15) return;  // too short to hold a date and time
  Clock().dateTimeTarget.Fill([&](DateTime &t) {
    t.year = reply.At(8) * 256 + reply.At(9);
    t.month = reply.At(10);
    t.day = reply.At(11);
    t.hour = reply.At(12);
    t.minute = reply.At(13);
    t.second = reply.At(14);
  });
  Clock().dateTimeRead.Complete(kResultOk);
}

void HandleAlarmSet(const ReplyMessage &reply) { Clock().alarmSet.Complete(SettingResult(reply)); }

void HandleAlarm(const ReplyMessage &reply) {
  if (reply.length < 11) return;
  Clock().alarmTarget.Fill([&](AlarmSetting &a) {
    a.enabled = reply.At(8) == 0x02 ? 1 : 0;
    a.hour = reply.At(9);
    a.minute = reply.At(10);
  });
  Clock().alarmRead.Complete(kResultOk);
}

// Whether the request each reply answers is waiting for it.
bool DateTimeSetWaits() { return Clock().dateTimeSet.Holds(kPending); }
bool DateTimeReadWaits() { return Clock().dateTimeTarget.Attached(); }
bool AlarmSetWaits() { return Clock().alarmSet.Holds(kPending); }
bool AlarmReadWaits() { return Clock().alarmTarget.Attached(); }

// The clock answers only what was asked.
const ReplyRoute kRows[] = {
    // type, command byte at, command, handler, awaited by
    {0x11, 3, 0x61, HandleDateTimeSet, DateTimeSetWaits},
    {0x11, 3, 0x63, HandleDateTime, DateTimeReadWaits},
    {0x11, 3, 0x6C, HandleAlarmSet, AlarmSetWaits},
    {0x11, 3, 0x6E, HandleAlarm, AlarmReadWaits},
};

}  // namespace

const ReplyRouteTable kClockReplies = RouteTable(kRows);

}  // namespace pelkor
