// Small queries a computer sends while it sets up its session, answered from the state:
//   type 0x02  00 01 00 0D ...         SMS folder set-up: 01 08 00 0E
//   type 0x02  00 01 00 20 ...         cell broadcast set-up: 01 08 00 21 01
//   type 0x0C  00 01 00 40 01          the key map: 01 00 00 41, then the characters of
//                                      each key (/keypad/keys), each zero-terminated
#include <string>

#include "dispatch.h"

namespace phonesim {

namespace {

constexpr const char *kKeys = "/keypad/keys";
constexpr const char *kBroadcastSetups = "/cell_broadcast/setups";

void HandleFolderSetup(const Request &, PhoneState &, Replies &replies) {
  replies.Send(0x02, {0x01, 0x08, 0x00, 0x0E});
}

void HandleBroadcastSetup(const Request &, PhoneState &state, Replies &replies) {
  state.Set(kBroadcastSetups, state.Integer(kBroadcastSetups, 0, 0, INT32_MAX) + 1);
  replies.Send(0x02, {0x01, 0x08, 0x00, 0x21, 0x01});
}

void HandleKeyMap(const Request &, PhoneState &state, Replies &replies) {
  std::vector<uint8_t> reply = {0x01, 0x00, 0x00, 0x41};
  const nlohmann::json &keys = state.Json()[nlohmann::json::json_pointer(kKeys)];
  for (size_t i = 0; i < 13; ++i) {
    const std::string text =
        keys.is_array() && i < keys.size() && keys[i].is_string() ? keys[i].get<std::string>().substr(0, 40) : "";
    reply.insert(reply.end(), text.begin(), text.end());
    reply.push_back(0x00);
  }
  replies.Send(0x0C, std::move(reply));
}

}  // namespace

void RegisterStartupQueriesHandlers(HandlerTable &table) {
  // Keys 1-9, 0, *, # and the one under the display, in the order the phone lists them;
  // the last three give no characters of their own.
  table.AddDefaults(
      {{"keypad",
        {{"keys",
          {".,?!'\"1-()@/:_", "abc2", "def3", "ghi4", "jkl5", "mno6", "pqrs7", "tuv8", "wxyz9", " 0", "", "", ""}}}},
       {"cell_broadcast", {{"setups", 0}}}});

  table.On(0x02, 0x0D, HandleFolderSetup);
  table.On(0x02, 0x20, HandleBroadcastSetup);
  table.On(0x0C, 0x40, HandleKeyMap);
}

}  // namespace phonesim
