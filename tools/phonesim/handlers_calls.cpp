// Voice calls, DTMF and resets. Dialling establishes the call at once (call id 1 and
// up); hanging up ends it. An incoming call is announced with
// `send 01 01 00 00 05 00 00 <n> <digits...>` or from a test with send_message().
#include <sstream>
#include <string>

#include "dispatch.hpp"

namespace phonesim {

void register_calls_handlers(HandlerTable &table) {
  table.add_defaults({{"calls",
                       {{"dialled", nlohmann::json::array()},
                        {"dtmf", nlohmann::json::array()},
                        {"hangups", 0},
                        {"active_id", 0},
                        {"next_id", 1}}},
                      {"resets", nlohmann::json::array()},
                      {"preparatory_requests", 0}});

  // "call incoming NUMBER", "call establish [ID]", "call end": what the phone announces
  // on its own when somebody calls.
  table.on_control("call", "call incoming NUMBER | call establish [ID] | call end",
                   [](const std::string &arguments, PhoneState &state, Replies &replies) -> std::string {
                     std::istringstream words(arguments);
                     std::string what, value;
                     words >> what >> value;
                     if (what == "incoming" && !value.empty() && value.size() <= 40) {
                       std::vector<uint8_t> notice = {
                           0x01, 0x00, 0x00, 0x05, 0x00, 0x00, static_cast<uint8_t>(value.size())};
                       notice.insert(notice.end(), value.begin(), value.end());
                       replies.send(0x01, std::move(notice));
                       state.json()["calls"]["incoming"] = value;
                       return "ok";
                     }
                     if (what == "establish") {
                       int id = state.integer("/calls/next_id", 1, 1, 255);
                       if (!value.empty()) id = std::atoi(value.c_str()) & 0xFF;
                       state.json()["calls"]["active_id"] = id;
                       replies.send(0x01, {0x01, 0x00, 0x00, 0x03, static_cast<uint8_t>(id), 0x00});
                       return "ok";
                     }
                     if (what == "end") {
                       const int id = state.integer("/calls/active_id", 0, 0, 255);
                       state.json()["calls"]["active_id"] = 0;
                       replies.send(0x01, {0x01, 0x00, 0x00, 0x04, static_cast<uint8_t>(id), 0x00});
                       return "ok";
                     }
                     return "error: call incoming NUMBER | call establish [ID] | call end";
                   });

  // 00 01 00 01 n digits 05 01 01 05 81 01 00 00: dial a voice call.
  table.on(0x01, 0x01, [](const Request &request, PhoneState &state, Replies &replies) {
    const size_t n = request.at(4);
    if (request.bytes.size() < 5 + n) return;
    const std::string number(request.bytes.begin() + 5, request.bytes.begin() + 5 + static_cast<long>(n));
    state.append("/calls/dialled", number);
    const int id = state.integer("/calls/next_id", 1, 1, 255);
    state.json()["calls"]["next_id"] = id % 255 + 1;
    state.json()["calls"]["active_id"] = id;
    replies.send(0x01, {0x01, 0x00, 0x00, 0x03, static_cast<uint8_t>(id), 0x00});
  });

  // 00 01 7C 01 digits 00 on type 0x40: dial a voice call through the extended
  // commands; answered 01 00 7C 01 00, the call going up as for 00 01 00 01.
  table.on(0x40, 0x7C, [](const Request &request, PhoneState &state, Replies &replies) {
    if (request.at(3) != 0x01) return;
    std::string number;
    for (size_t i = 4; i < request.bytes.size() && request.bytes[i] != 0x00 && number.size() < 40; ++i)
      number.push_back(static_cast<char>(request.bytes[i]));
    state.append("/calls/dialled", number);
    const int id = state.integer("/calls/next_id", 1, 1, 255);
    state.json()["calls"]["next_id"] = id % 255 + 1;
    state.json()["calls"]["active_id"] = id;
    replies.send(0x40, {0x01, 0x00, 0x7C, 0x01, 0x00});
  });

  // 00 01 00 08 id 85: hang up.
  table.on(0x01, 0x08, [](const Request &request, PhoneState &state, Replies &replies) {
    state.json()["calls"]["hangups"] = state.integer("/calls/hangups", 0, 0, INT32_MAX) + 1;
    state.json()["calls"]["last_hangup_id"] = request.at(4);
    if (state.integer("/calls/active_id", 0, 0, 255) == 0) return;
    state.json()["calls"]["active_id"] = 0;
    replies.send(0x01, {0x01, 0x00, 0x00, 0x04, request.at(4), 0x00});
  });

  // 00 01 00 50 n characters: DTMF tones.
  table.on(0x01, 0x50, [](const Request &request, PhoneState &state, Replies &) {
    const size_t n = request.at(4);
    if (request.bytes.size() < 5 + n) return;
    state.append("/calls/dtmf",
                 std::string(request.bytes.begin() + 5, request.bytes.begin() + 5 + static_cast<long>(n)));
  });

  // 00 01 64 01: the preparatory request (it enables the extended commands); 03 and
  // 04: soft and hard reset. Each is answered 01 00 64 xx 00 00.
  table.on(0x40, 0x64, [](const Request &request, PhoneState &state, Replies &replies) {
    replies.send(0x40, {0x01, 0x00, 0x64, request.at(3), 0x00, 0x00});
    switch (request.at(3)) {
      case 0x01:
        state.json()["preparatory_requests"] = state.integer("/preparatory_requests", 0, 0, INT32_MAX) + 1;
        break;
      case 0x03:
        state.append("/resets", "soft");
        break;
      case 0x04:
        state.append("/resets", "hard");
        break;
      default:
        break;
    }
  });
}

}  // namespace phonesim
