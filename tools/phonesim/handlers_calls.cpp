// Voice calls, DTMF and resets. Dialling establishes the call at once (call id 1 and
// up); hanging up ends it. An incoming call is announced with
// `send 01 01 00 00 05 00 00 <n> <digits...>` or from a test with send_message().
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
int dial(PhoneState &state, const std::string &number) {
  state.append(kDialled, number);
  const int id = state.integer(kNextId, 1, 1, 255);
  state.set(kNextId, id % 255 + 1);
  state.set(kActiveId, id);
  return id;
}

// "call incoming NUMBER", "call establish [ID]", "call end": what the phone announces
// on its own when somebody calls.
std::string call_control(const std::string &arguments, PhoneState &state, Replies &replies) {
  std::istringstream words(arguments);
  std::string what, value;
  words >> what >> value;
  if (what == "incoming" && !value.empty() && value.size() <= 40) {
    std::vector<uint8_t> notice = {0x01, 0x00, 0x00, 0x05, 0x00, 0x00, static_cast<uint8_t>(value.size())};
    notice.insert(notice.end(), value.begin(), value.end());
    replies.send(0x01, std::move(notice));
    state.set(kIncoming, value);
    return "ok";
  }
  if (what == "establish") {
    int id = state.integer(kNextId, 1, 1, 255);
    if (!value.empty()) id = std::atoi(value.c_str()) & 0xFF;
    state.set(kActiveId, id);
    replies.send(0x01, {0x01, 0x00, 0x00, 0x03, static_cast<uint8_t>(id), 0x00});
    return "ok";
  }
  if (what == "end") {
    const int id = state.integer(kActiveId, 0, 0, 255);
    state.set(kActiveId, 0);
    replies.send(0x01, {0x01, 0x00, 0x00, 0x04, static_cast<uint8_t>(id), 0x00});
    return "ok";
  }
  return "error: call incoming NUMBER | call establish [ID] | call end";
}

// 00 01 00 01 n digits 05 01 01 05 81 01 00 00: dial a voice call.
void handle_dial(const Request &request, PhoneState &state, Replies &replies) {
  const size_t n = request.at(4);
  if (request.bytes.size() < 5 + n) return;
  const std::string number(request.bytes.begin() + 5, request.bytes.begin() + 5 + static_cast<long>(n));
  const int id = dial(state, number);
  replies.send(0x01, {0x01, 0x00, 0x00, 0x03, static_cast<uint8_t>(id), 0x00});
}

// 00 01 7C 01 digits 00 on type 0x40: dial a voice call through the extended
// commands; answered 01 00 7C 01 00, the call going up as for 00 01 00 01.
void handle_extended_dial(const Request &request, PhoneState &state, Replies &replies) {
  if (request.at(3) != 0x01) return;
  std::string number;
  for (size_t i = 4; i < request.bytes.size() && request.bytes[i] != 0x00 && number.size() < 40; ++i)
    number.push_back(static_cast<char>(request.bytes[i]));
  dial(state, number);
  replies.send(0x40, {0x01, 0x00, 0x7C, 0x01, 0x00});
}

// 00 01 00 08 id 85: hang up.
void handle_hang_up(const Request &request, PhoneState &state, Replies &replies) {
  state.set(kHangups, state.integer(kHangups, 0, 0, INT32_MAX) + 1);
  state.set(kLastHangupId, request.at(4));
  if (state.integer(kActiveId, 0, 0, 255) == 0) return;
  state.set(kActiveId, 0);
  replies.send(0x01, {0x01, 0x00, 0x00, 0x04, request.at(4), 0x00});
}

// 00 01 00 50 n characters: DTMF tones.
void handle_dtmf(const Request &request, PhoneState &state, Replies &) {
  const size_t n = request.at(4);
  if (request.bytes.size() < 5 + n) return;
  state.append(kDtmf, std::string(request.bytes.begin() + 5, request.bytes.begin() + 5 + static_cast<long>(n)));
}

// 00 01 64 01: the preparatory request (it enables the extended commands); 03 and
// 04: soft and hard reset. Each is answered 01 00 64 xx 00 00.
void handle_preparatory_or_reset(const Request &request, PhoneState &state, Replies &replies) {
  replies.send(0x40, {0x01, 0x00, 0x64, request.at(3), 0x00, 0x00});
  switch (request.at(3)) {
    case 0x01:
      state.set(kPreparatoryRequests, state.integer(kPreparatoryRequests, 0, 0, INT32_MAX) + 1);
      break;
    case 0x03:
      state.append(kResets, "soft");
      break;
    case 0x04:
      state.append(kResets, "hard");
      break;
    default:
      break;
  }
}

}  // namespace

void register_calls_handlers(HandlerTable &table) {
  table.add_defaults({{"calls",
                       {{"dialled", nlohmann::json::array()},
                        {"dtmf", nlohmann::json::array()},
                        {"hangups", 0},
                        {"active_id", 0},
                        {"next_id", 1}}},
                      {"resets", nlohmann::json::array()},
                      {"preparatory_requests", 0}});
  table.on_control("call", kCallUsage, call_control);
  table.on(0x01, 0x01, handle_dial);
  table.on(0x40, 0x7C, handle_extended_dial);
  table.on(0x01, 0x08, handle_hang_up);
  table.on(0x01, 0x50, handle_dtmf);
  table.on(0x40, 0x64, handle_preparatory_or_reset);
}

}  // namespace phonesim
