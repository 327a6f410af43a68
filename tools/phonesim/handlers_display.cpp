// The indicators on the phone's display, reported as (indicator, state) pairs where
// state 2 means shown and 1 hidden.
#include "dispatch.h"

namespace phonesim {

namespace {

constexpr const char *kIndicators = "/display/indicators";

// 00 01 00 51: the indicators shown and hidden.
void HandleIndicators(const Request &, PhoneState &state, Replies &replies) {
  std::vector<uint8_t> reply = {0x01, 0x00, 0x00, 0x52, 0x00};
  const nlohmann::json &indicators = state.Json()[nlohmann::json::json_pointer(kIndicators)];
  uint8_t count = 0;
  if (indicators.is_object()) {
    for (auto it = indicators.begin(); it != indicators.end() && count < 32; ++it) {
      int number = 0;
      try {
        number = std::stoi(it.key());
      } catch (...) {
        continue;
      }
      if (number < 1 || number > 255) continue;
      reply.push_back(static_cast<uint8_t>(number));
      reply.push_back(it.value().is_boolean() && it.value().get<bool>() ? 0x02 : 0x01);
      ++count;
    }
  }
  reply[4] = count;
  replies.Send(0x0D, std::move(reply));
}

}  // namespace

void RegisterDisplayHandlers(HandlerTable &table) {
  // Indicator number (1-8) -> shown.
  table.AddDefaults({{"display", {{"indicators", {{"1", true}, {"4", true}}}}}});
  table.On(0x0D, 0x51, HandleIndicators);
}

}  // namespace phonesim
