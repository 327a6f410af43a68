// Beeps and tones on type 0x40: the phone plays them and answers nothing. We keep a
// list of what was played so a test can tell that the beep went out.
#include "dispatch.h"
#include "frame_codec.h"

namespace phonesim {

namespace {

constexpr const char *kTones = "/tones";

// 00 01 8F volume frequency-high frequency-low; volume 0 switches the tone off.
void handle_tone(const Request &request, PhoneState &state, Replies &) {
  nlohmann::json tone = {{"bytes", to_hex(request.bytes)}};
  if (request.bytes.size() >= 6) {
    tone["volume"] = request.at(3);
    tone["frequency"] = request.at(4) << 8 | request.at(5);
  }
  state.append(kTones, std::move(tone));
}

}  // namespace

void register_tones_handlers(HandlerTable &table) {
  table.add_defaults({{"tones", nlohmann::json::array()}});
  table.on(0x40, 0x8F, handle_tone);
}

}  // namespace phonesim
