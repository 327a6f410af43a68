// Beeps and tones on type 0x40: the phone plays them and answers nothing. We keep a
// list of what was played so a test can tell that the beep went out.
#include "dispatch.h"
#include "frame_codec.h"

namespace phonesim {

namespace {

constexpr const char *kTones = "/tones";

// 00 01 8F volume frequency-high frequency-low; volume 0 switches the tone off.
void HandleTone(const Request &request, PhoneState &state, Replies &) {
  nlohmann::json tone = {{"bytes", ToHex(request.bytes)}};
  if (request.bytes.size() >= 6) {
    tone["volume"] = request.At(3);
    tone["frequency"] = request.At(4) << 8 | request.At(5);
  }
  state.Append(kTones, std::move(tone));
}

}  // namespace

void RegisterTonesHandlers(HandlerTable &table) {
  table.AddDefaults({{"tones", nlohmann::json::array()}});
  table.On(0x40, 0x8F, HandleTone);
}

}  // namespace phonesim
