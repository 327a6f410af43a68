#include "services/calls.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "link/frame_sender.h"
#include "link/session.h"
#include "platform/sleep.h"
#include "services/beep.h"
#include "services/service_requests.h"
#include "services/services_state.h"
#include "transaction/bounded_copy.h"
#include "transaction/transaction.h"
#include "link/request_writer.h"
#include "transaction/result_codes.h"

namespace pelkor {
namespace {

CallState &Call() { return Services().call; }

const char *OrEmpty(const char *text) { return text != nullptr ? text : ""; }

}  // namespace

int32_t DialVoice(const char *number) {
  number = OrEmpty(number);
  const size_t n = std::strlen(number);
  if (n > kMaxDialledDigits) return kResultRefused;
  static constexpr uint8_t kTail[] = {0x05, 0x01, 0x01, 0x05, 0x81, 0x01, 0x00, 0x00};
  uint8_t request[5 + kMaxDialledDigits + sizeof kTail];
  size_t length = 0;
  RequestWriter out(request, length);
  out.Command(0x01);
  out.PutCountedText(number, n);
  out.Put(kTail, sizeof kTail);
  Send(length, kTypeCall, request);
  return kResultOk;
}

int32_t HangUp() {
  uint8_t id;
  {
    std::lock_guard<std::mutex> lock(Call().mutex);
    id = Call().id;
  }
  const auto request = CommandRequest(0x08, id, 0x85);
  Send(request.size(), kTypeCall, request.data());
  return kResultOk;
}

int32_t SendDtmf(const char *digits) {
  digits = OrEmpty(digits);
  const size_t n = std::strlen(digits);
  if (n > kMaxDtmfCharacters) return kResultRefused;
  uint8_t request[5 + kMaxDtmfCharacters];
  size_t length = 0;
  RequestWriter out(request, length);
  out.Command(0x50);
  out.PutCountedText(digits, n);
  Send(length, kTypeCall, request);
  return kResultOk;
}

int32_t ResetPhone(const char *kind) {
  const bool hard = kind != nullptr && std::strcmp(kind, "hard") == 0;
  const uint8_t request[] = {0x00, 0x01, 0x64, static_cast<uint8_t>(hard ? 0x04 : 0x03)};
  Send(sizeof request, kTypeService, request);
  return kResultOk;
}

int32_t PlayTone(int32_t volume, int32_t frequency, int32_t durationMs) {
  // A tone of no length plays nothing: nothing is sent and nothing waited for.
  if (durationMs <= 0) return 1;
  LinkSession &s = Session();
  s.busy.store(true);  // hold back the keep-alive poll while the tone plays
  // Wider arithmetic: the caller's duration may be anything a 32-bit integer holds.
  int64_t duration = durationMs;
  if (SendPreparatoryRequestOnce()) duration -= 5;
  const uint8_t toneOn[] = {0x00,
                            0x01,
                            0x8F,
                            static_cast<uint8_t>(volume & 0xFF),
                            static_cast<uint8_t>((frequency >> 8) & 0xFF),
                            static_cast<uint8_t>(frequency & 0xFF)};
  Send(sizeof toneOn, kTypeService, toneOn);
  const int64_t wait = duration - 15;
  platform::SleepMs(wait < 1 ? 1 : static_cast<int32_t>(wait));
  SendBeep(false);
  s.busy.store(false);
  return 1;
}

int32_t Beep(int32_t on) {
  SendBeep(on != 0);
  return 1;
}

int32_t IncomingCall(char *buffer, int32_t size) {
  std::lock_guard<std::mutex> lock(Call().mutex);
  const bool none = Call().text[0] == ' ';
  CopyToCaller(buffer, size, none ? "" : Call().text);
  return none ? kResultNoCall : kResultOk;
}

int32_t TakeIncomingCallEvent() {
  // One atomic step, so an announcement arriving meanwhile is not lost.
  return Call().incomingEvent.exchange(false) ? 1 : 0;
}

namespace {

void HandleCallState(const ReplyMessage &reply) {
  CallState &call = Call();
  std::lock_guard<std::mutex> lock(call.mutex);
  switch (reply.At(3)) {
    case 0x03:  // call established
      call.id = reply.At(4);
      call.text[0] = 'D';
      break;
    case 0x04:  // call ended
    case 0x0A:
      call.text[0] = ' ';
      break;
    case 0x05: {  // incoming call with the caller's number
      size_t n = reply.At(6);
      if (n > kCallTextSize - 1) n = kCallTextSize - 1;
      if (7 + n > reply.length) n = reply.length > 7 ? reply.length - 7 : 0;
      std::memset(call.text, 0, sizeof call.text);
      std::memcpy(call.text, reply.bytes + 7, n);
      call.incomingEvent.store(true);
      break;
    }
    default:
      break;
  }
}

// Call announcements come whenever a call starts or ends.
const ReplyRoute kRows[] = {
    // type, command byte at, command, handler, awaited by
    {0x01, 3, kAnyCommand, HandleCallState, kUnsolicited},
};

}  // namespace

const ReplyRouteTable kCallReplies = RouteTable(kRows);

}  // namespace pelkor
