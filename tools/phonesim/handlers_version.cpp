// Identity asked for piece by piece (the infrared link has no start-up record): the
// IMEI and the hardware text on type 0x40, the version lines on type 0xD1.
#include <string>

#include "dispatch.hpp"

namespace phonesim {

namespace {

void append_text(std::vector<uint8_t>& bytes, const std::string& text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
  bytes.push_back(0x00);
}

}  // namespace

void register_version_handlers(HandlerTable& table) {
  table.add_defaults({{"identity", {{"date", "17-02-99"}}}});

  // 00 01 66: the IMEI, after 01 00 66 01.
  table.on(0x40, 0x66, [](const Request&, PhoneState& state, Replies& replies) {
    std::vector<uint8_t> reply = {0x01, 0x00, 0x66, 0x01};
    append_text(reply, state.text("/identity/imei", "").substr(0, 40));
    replies.send(0x40, std::move(reply));
  });

  // 00 01 C8 05: the hardware text, after 01 00 C8 05 00.
  table.on(0x40, 0xC8, [](const Request& request, PhoneState& state, Replies& replies) {
    if (request.at(3) != 0x05) return;
    std::vector<uint8_t> reply = {0x01, 0x00, 0xC8, 0x05, 0x00};
    append_text(reply, state.text("/identity/hardware", "").substr(0, 40));
    replies.send(0x40, std::move(reply));
  });

  // 00 01 00 03 00 on type 0xD1: three lines (software version, date, model), each
  // ended by a line feed, from byte 6 of a type 0xD2 reply.
  table.on(0xD1, 0x03, [](const Request&, PhoneState& state, Replies& replies) {
    std::vector<uint8_t> reply = {0x01, 0x00, 0x00, 0x03, 0x00, 0x00};
    for (const char* key : {"/identity/software", "/identity/date", "/identity/model"}) {
      const std::string line = state.text(key, "").substr(0, 40);
      reply.insert(reply.end(), line.begin(), line.end());
      reply.push_back(0x0A);
    }
    replies.send(0xD2, std::move(reply));
  });
}

}  // namespace phonesim
