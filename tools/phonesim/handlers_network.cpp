// The network the phone is registered in, and the net monitor screens.
#include <climits>
#include <string>

#include "dispatch.h"

namespace phonesim {

namespace {

uint8_t digit(const std::string &text, size_t index) {
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
std::string sent_name(PhoneState &state) {
  const nlohmann::json &send_name = state.json()[nlohmann::json::json_pointer(kSendName)];
  return send_name.is_boolean() && send_name.get<bool>() ? state.text(kName, "").substr(0, 40) : std::string();
}

// 00 01 00 70: byte 7 the length of what follows up to the network code (9), status,
// selection, cell id, area code, packed network code, then the length of the
// network's name in UCS-2 characters and the name; a phone of this family sends no
// name (length 0) unless /network/send_name is set.
void handle_registration(const Request &, PhoneState &state, Replies &replies) {
  const std::string mcc = state.text(kMcc, "000");
  const std::string mnc = state.text(kMnc, "00");
  const int cell = state.integer(kCellId, 0, 0, 0xFFFF);
  const int lac = state.integer(kLac, 0, 0, 0xFFFF);
  const std::string name = sent_name(state);
  std::vector<uint8_t> reply = {0x01,
                                0x00,
                                0x00,
                                0x71,
                                0x00,
                                0x00,
                                0x00,
                                0x09,
                                static_cast<uint8_t>(state.integer(kStatus, 1, 0, 255)),
                                static_cast<uint8_t>(state.integer(kSelection, 0, 0, 255)),
                                static_cast<uint8_t>(cell >> 8),
                                static_cast<uint8_t>(cell & 0xFF),
                                static_cast<uint8_t>(lac >> 8),
                                static_cast<uint8_t>(lac & 0xFF),
                                static_cast<uint8_t>(digit(mcc, 1) << 4 | digit(mcc, 0)),
                                static_cast<uint8_t>(0xF0 | digit(mcc, 2)),
                                static_cast<uint8_t>(digit(mnc, 1) << 4 | digit(mnc, 0)),
                                static_cast<uint8_t>(name.size())};
  for (const char c : name) {  // the name's characters are ASCII in the state
    reply.push_back(0x00);
    reply.push_back(static_cast<uint8_t>(c));
  }
  replies.send(0x0A, std::move(reply));
}

// The screen a net monitor selector leads to, and the mode it sets.
int select_screen(uint8_t selector, int screen, nlohmann::json &monitor) {
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
void handle_net_monitor(const Request &request, PhoneState &state, Replies &replies) {
  auto &monitor = state.json()["netmonitor"];
  const uint8_t selector = request.at(3);
  const int screen = select_screen(selector, state.integer(kMonitorScreen, 1, 0, 255), monitor);
  monitor["screen"] = screen;
  std::vector<uint8_t> reply = {0x01, 0x00, 0x7E, 0x00};
  const std::string text = state.text(kMonitorScreens + std::to_string(screen), "");
  const bool showing = state.text(kMonitorMode, "off") != "off" || selector < 0xF0;
  if (showing && !text.empty()) {
    reply[3] = 0x01;
    reply.insert(reply.end(), text.begin(), text.end());
    reply.push_back(0x00);
  }
  replies.send(0x40, std::move(reply));
}

}  // namespace

void register_network_handlers(HandlerTable &table) {
  table.add_defaults({{"network",
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

  table.on(0x0A, 0x70, handle_registration);
  table.on(0x40, 0x7E, handle_net_monitor);
}

}  // namespace phonesim
