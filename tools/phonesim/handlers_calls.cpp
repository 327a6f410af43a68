// Voice calls, DTMF and resets. Dialling establishes the call at once (call id 1 and
// up); hanging up ends it. An incoming call is announced with
// `send 01 01 00 00 05 00 00 <n> <digits...>` or from a test with SendMessage().
#include <sstream>
#include <string>

#include "dispatch.h"

namespace phonesim {

namespace {

// Where the calls keep their state.
constexpr const char *kDialled = "/calls/dialled";
constexpr const char *kDtmf = "/calls/dtmf";
constexpr const char *kHangups = "/calls/hangups";
constexpr const char *kActiveId = "/calls/active_id";
constexpr const char *kNextId = "/calls/next_id";
constexpr const char *kIncoming = "/calls/incoming";
constexpr const char *kLastHangupId = "/calls/last_hangup_id";
constexpr const char *kResets = "/resets";
constexpr const char *kPreparatoryRequests = "/preparatory_requests";

constexpr const char *kCallUsage = "call incoming NUMBER | call establish [ID] | call end";

// A dialled number goes up as the next call.
int Dial(PhoneState &state, const std::string &number) {
  state.Append(kDialled, number);
  const int id = state.Integer(kNextId, 1, 1, 255);
  state.Set(kNextId, id % 255 + 1);
  state.Set(kActiveId, id);
  return id;
}

// "call incoming NUMBER", "call establish [ID]", "call end": what the phone announces
// on its own when somebody calls.
std::string CallControl(const std::string &arguments, PhoneState &state, Replies &replies) {
  std::istringstream words(arguments);
  std::string what, value;
  words >> what >> value;
  if (what == "incoming" && !value.empty() && value.size() <= 40) {
    std::vector<uint8_t> notice = {0x01, 0x00, 0x00, 0x05, 0x00, 0x00, static_cast<uint8_t>(value.size())};
    notice.insert(notice.end(), value.begin(), value.end());
    replies.Send(0x01, std::move(notice));
    state.Set(kIncoming, value);
    return "ok";
  }
  if (what == "establish") {
    int id = state.Integer(kNextId, 1, 1, 255);
    if (!value.empty()) id = std::atoi(value.c_str()) & 0xFF;
    state.Set(kActiveId, id);
    replies.Send(0x01, {0x01, 0x00, 0x00, 0x03, static_cast<uint8_t>(id), 0x00});
    return "ok";
  }
  if (what == "end") {
    const int id = state.Integer(kActiveId, 0, 0, 255);
    state.Set(kActiveId, 0);
    replies.Send(0x01, {0x01, 0x00, 0x00, 0x04, static_cast<uint8_t>(id), 0x00});
    return "ok";
  }
  return "error: call incoming NUMBER | call establish [ID] | call end";
}

// 00 01 00 01 n digits 05 01 01 05 81 01 00 00: dial a voice call.
void HandleDial(const Request &request, PhoneState &state, Replies &replies) {
  const size_t n = request.At(4);
  if (request.bytes.size() < 5 + n) return;
  const std::string number(request.bytes.begin() + 5, request.bytes.begin() + 5 + static_cast<long>(n));
  const int id = Dial(state, number);
  replies.Send(0x01, {0x01, 0x00, 0x00, 0x03, static_cast<uint8_t>(id), 0x00});
}

// 00 01 7C 01 digits 00 on type 0x40: dial a voice call through the extended
// commands; answered 01 00 7C 01 00, the call going up as for 00 01 00 01.
void HandleExtendedDial(const Request &request, PhoneState &state, Replies &replies) {
  if (request.At(3) != 0x01) return;
  std::string number;
  for (size_t i = 4; i < request.bytes.size() && request.bytes[i] != 0x00 && number.size() < 40; ++i)
    number.push_back(static_cast<char>(request.bytes[i]));
  Dial(state, number);
  replies.Send(0x40, {0x01, 0x00, 0x7C, 0x01, 0x00});
}

// 00 01 00 08 id 85: hang up.
void HandleHangUp(const Request &request, PhoneState &state, Replies &replies) {
  state.Set(kHangups, state.Integer(kHangups, 0, 0, INT32_MAX) + 1);
  state.Set(kLastHangupId, request.At(4));
  if (state.Integer(kActiveId, 0, 0, 255) == 0) return;
  state.Set(kActiveId, 0);
  replies.Send(0x01, {0x01, 0x00, 0x00, 0x04, request.At(4), 0x00});
}

// 00 01 00 50 n characters: DTMF tones.
void HandleDtmf(const Request &request, PhoneState &state, Replies &) {
  const size_t n = request.At(4);
  if (request.bytes.size() < 5 + n) return;
  state.Append(kDtmf, std::string(request.bytes.begin() + 5, request.bytes.begin() + 5 + static_cast<long>(n)));
}

// 00 01 64 01: the preparatory request (it enables the extended commands); 03 and
// 04: soft and hard reset. Each is answered 01 00 64 xx 00 00.
void HandlePreparatoryOrReset(const Request &request, PhoneState &state, Replies &replies) {
  replies.Send(0x40, {0x01, 0x00, 0x64, request.At(3), 0x00, 0x00});
  switch (request.At(3)) {
    case 0x01:
      state.Set(kPreparatoryRequests, state.Integer(kPreparatoryRequests, 0, 0, INT32_MAX) + 1);
      break;
    case 0x03:
      state.Append(kResets, "soft");
      break;
    case 0x04:
      state.Append(kResets, "hard");
      break;
    default:
      break;
  }
}

}  // namespace

void RegisterCallsHandlers(HandlerTable &table) {
  table.AddDefaults({{"calls",
                      {{"dialled", nlohmann::json::array()},
                       {"dtmf", nlohmann::json::array()},
                       {"hangups", 0},
                       {"active_id", 0},
                       {"next_id", 1}}},
                     {"resets", nlohmann::json::array()},
                     {"preparatory_requests", 0}});
  table.OnControl("call", kCallUsage, CallControl);
  table.On(0x01, 0x01, HandleDial);
  table.On(0x40, 0x7C, HandleExtendedDial);
  table.On(0x01, 0x08, HandleHangUp);
  table.On(0x01, 0x50, HandleDtmf);
  table.On(0x40, 0x64, HandlePreparatoryOrReset);
}

}  // namespace phonesim
