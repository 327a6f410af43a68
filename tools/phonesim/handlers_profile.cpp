// Profile settings on type 0x05: 00 01 00 13 01 <profile> <feature> asks for one
// setting and is answered 01 00 00 14 01 <profile> <feature> 04 <four value bytes> 01.
//
// State: /profiles/<profile>/<feature> (both in decimal) is the list of the four value
// bytes; a setting the state does not hold reads as four zero bytes.
#include <string>

#include "dispatch.h"

namespace phonesim {

namespace {

constexpr const char *kProfiles = "/profiles/";  // + profile/feature/byte

void HandleSetting(const Request &request, PhoneState &state, Replies &replies) {
  const uint8_t profile = request.At(5);
  const uint8_t feature = request.At(6);
  std::vector<uint8_t> reply = {0x01, 0x00, 0x00, 0x14, 0x01, profile, feature, 0x04};
  const std::string base = kProfiles + std::to_string(profile) + "/" + std::to_string(feature) + "/";
  for (int i = 0; i < 4; ++i) reply.push_back(static_cast<uint8_t>(state.Integer(base + std::to_string(i), 0, 0, 255)));
  reply.push_back(0x01);
  replies.Send(0x05, std::move(reply));
}

}  // namespace

void RegisterProfileHandlers(HandlerTable &table) {
  // Profile 0 (general), feature 0x21 (33): the one the computer asks for first.
  table.AddDefaults({{"profiles", {{"0", {{"33", {0, 0, 0, 0}}}}}}});
  table.On(0x05, 0x13, HandleSetting);
}

}  // namespace phonesim
