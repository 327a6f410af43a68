// The network the phone is registered in, and the net monitor screens.
#include <climits>
#include <string>

#include "dispatch.h"

namespace phonesim {

namespace {

uint8_t Digit(const std::string &text, size_t index) {
  return index < text.size() && text[index] >= '0' && text[index] <= '9' ? static_cast<uint8_t>(text[index] - '0')
                                                                         : 0x0F;
}

// Where the network and the net monitor keep their state.
constexpr const char *kMcc = "/network/mcc";
constexpr const char *kMnc = "/network/mnc";
constexpr const char *kCellId = "/network/cell_id";
constexpr const char *kLac = "/network/lac";
constexpr const char *kStatus = "/network/status";
constexpr const char *kSelection = "/network/selection";
constexpr const char *kName = "/network/name";
constexpr const char *kSendName = "/network/send_name";
constexpr const char *kMonitorMode = "/netmonitor/mode";
constexpr const char *kMonitorScreen = "/netmonitor/screen";
constexpr const char *kMonitorScreens = "/netmonitor/screens/";  // + the screen's number

// The network's name as the registration answer carries it: none unless asked for.
std::string SentName(PhoneState &state) {
  const nlohmann::json &sendName = state.Json()[nlohmann::json::json_pointer(kSendName)];
  return sendName.is_boolean() && sendName.get<bool>() ? state.Text(kName, "").substr(0, 40) : std::string();
}

// 00 01 00 70: byte 7 the length of what follows up to the network code (9), status,
// selection, cell id, area code, packed network code, then the length of the
// network's name in UCS-2 characters and the name; a phone of this family sends no
// name (length 0) unless /network/send_name is set.
void HandleRegistration(const Request &, PhoneState &state, Replies &replies) {
  const std::string mcc = state.Text(kMcc, "000");
  const std::string mnc = state.Text(kMnc, "00");
  const int cell = state.Integer(kCellId, 0, 0, 0xFFFF);
  const int lac = state.Integer(kLac, 0, 0, 0xFFFF);
  const std::string name = SentName(state);
  std::vector<uint8_t> reply = {0x01,
                                0x00,
                                0x00,
                                0x71,
                                0x00,
                                0x00,
                                0x00,
                                0x09,
                                static_cast<uint8_t>(state.Integer(kStatus, 1, 0, 255)),
                                static_cast<uint8_t>(state.Integer(kSelection, 0, 0, 255)),
                                static_cast<uint8_t>(cell >> 8),
                                static_cast<uint8_t>(cell & 0xFF),
                                static_cast<uint8_t>(lac >> 8),
                                static_cast<uint8_t>(lac & 0xFF),
                                static_cast<uint8_t>(Digit(mcc, 1) << 4 | Digit(mcc, 0)),
                                static_cast<uint8_t>(0xF0 | Digit(mcc, 2)),
                                static_cast<uint8_t>(Digit(mnc, 1) << 4 | Digit(mnc, 0)),
                                static_cast<uint8_t>(name.size())};
  for (const char c : name) {  // the name's characters are ASCII in the state
    reply.push_back(0x00);
    reply.push_back(static_cast<uint8_t>(c));
  }
  replies.Send(0x0A, std::move(reply));
}

// The screen a net monitor selector leads to, and the mode it sets.
int SelectScreen(uint8_t selector, int screen, nlohmann::json &monitor) {
  switch (selector) {
    case 0xF0:
      monitor["mode"] = "off";
      return 1;
    case 0xF1:
      monitor["mode"] = "off";
      return screen;
    case 0xF2:
      monitor["mode"] = "field";
      return screen;
    case 0xF3:
      monitor["mode"] = "devel";
      return screen;
    case 0x00:
      return screen + 1;
    default:
      return selector;
  }
}

// 00 01 7E selector: F0 reset, F1 off, F2 field, F3 devel, 00 next screen, else a
// screen number. The answer carries the screen text from byte 4 (byte 3 non-zero), or
// byte 3 = 0 when there is nothing to show.
void HandleNetMonitor(const Request &request, PhoneState &state, Replies &replies) {
  auto &monitor = state.Json()["netmonitor"];
  const uint8_t selector = request.At(3);
  const int screen = SelectScreen(selector, state.Integer(kMonitorScreen, 1, 0, 255), monitor);
  monitor["screen"] = screen;
  std::vector<uint8_t> reply = {0x01, 0x00, 0x7E, 0x00};
  const std::string text = state.Text(kMonitorScreens + std::to_string(screen), "");
  const bool showing = state.Text(kMonitorMode, "off") != "off" || selector < 0xF0;
  if (showing && !text.empty()) {
    reply[3] = 0x01;
    reply.insert(reply.end(), text.begin(), text.end());
    reply.push_back(0x00);
  }
  replies.Send(0x40, std::move(reply));
}

}  // namespace

void RegisterNetworkHandlers(HandlerTable &table) {
  table.AddDefaults({{"network",
                      {{"mcc", "262"},
                       {"mnc", "01"},
                       {"lac", 0x5678},
                       {"cell_id", 0x1234},
                       {"status", 1},
                       {"selection", 0},
                       {"name", "Pelkor Net"},
                       {"send_name", false},
                       {"next_reference", 0}}},
                     {"netmonitor",
                      {{"mode", "off"},
                       {"screen", 1},
                       {"screens",
                        {{"1", "CH 62 RxL -67 C1 38 TA 1 "},
                         {"2", "CELL 1234 LAC 5678 NCC 3 BCC 2"},
                         {"3", "NEIGHBOURS 5 BEST 62 71 80"}}}}}});

  table.On(0x0A, 0x70, HandleRegistration);
  table.On(0x40, 0x7E, HandleNetMonitor);
}

}  // namespace phonesim
