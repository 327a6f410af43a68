// Phone status: signal level, power source and battery level.
#include "dispatch.h"

namespace phonesim {

namespace {

constexpr const char *kSignal = "/status/signal";
constexpr const char *kPower = "/status/power";
constexpr const char *kBattery = "/status/battery";

// 00 01 00 01 asks for the status; the answer carries command 0x02 with the signal
// level at byte 5, the power source (1 = charger, 0 = battery) at byte 7 and the
// battery level at byte 8, each out of 4 bars.
void HandleStatus(const Request &, PhoneState &state, Replies &replies) {
  const auto signal = static_cast<uint8_t>(state.Integer(kSignal, 3, 0, 255));
  const auto power = static_cast<uint8_t>(state.Integer(kPower, 0, 0, 255));
  const auto battery = static_cast<uint8_t>(state.Integer(kBattery, 2, 0, 255));
  replies.Send(0x04, {0x01, 0x08, 0x00, 0x02, 0x01, signal, 0x01, power, battery});
}

}  // namespace

void RegisterStatusHandlers(HandlerTable &table) {
  table.AddDefaults({{"status", {{"signal", 3}, {"battery", 2}, {"power", 0}}}});
  table.On(0x04, 0x01, HandleStatus);
}

}  // namespace phonesim
