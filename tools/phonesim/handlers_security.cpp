// Security: whether the phone waits for a code (type 0x08), and the SIM locks (type 0x40
// with the extended commands).
//
// State, under "security":
//   status     the status byte the phone answers: 6 (default) when it waits for no code
//   simlocks   four locks in the order network (MCC+MNC, 5 digits), GID1 (4 hex
//              digits), GID2 (4 hex digits), MSIN (10 digits), each
//              {"data": digits, "closed": bool, "user": bool, "counter": n}
#include <string>

#include "dispatch.h"

namespace phonesim {

namespace {

using nlohmann::json;

uint8_t Nibble(const std::string &digits, size_t index) {
  if (index >= digits.size()) return 0;
  const char c = digits[index];
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  return 0;
}

// Writes `count` nibbles of `digits`, high nibble first, from nibble `at` of `out`.
void PutNibbles(std::vector<uint8_t> &out, size_t at, const std::string &digits, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const size_t position = at + i;
    const uint8_t value = Nibble(digits, i);
    uint8_t &byte = out[position / 2];
    byte = position % 2 == 0 ? static_cast<uint8_t>((byte & 0x0F) | value << 4)
                             : static_cast<uint8_t>((byte & 0xF0) | value);
  }
}

// The reply to 00 01 8A 00: bytes 5 and 6 hold a user-set and a closed bit per lock,
// bytes 9-16 the network digits then the MSIN digits, 17-18 GID1, 19-20 GID2, 21-24
// the counters. The phone keeps the locks in the order network, MSIN, GID1, GID2.
std::vector<uint8_t> SimlockRecord(const json &locks) {
  std::vector<uint8_t> reply(25, 0x00);
  reply[0] = 0x01;
  reply[2] = 0x8A;
  // Lock k as listed in the state -> its place in the phone's order.
  static constexpr size_t kSlot[4] = {0, 2, 3, 1};
  static constexpr size_t kDigits[4] = {5, 4, 4, 10};
  static constexpr size_t kNibble[4] = {18, 34, 38, 23};  // nibble where its data starts
  for (size_t k = 0; k < 4 && locks.is_array() && k < locks.size(); ++k) {
    const json &lock = locks[k];
    if (!lock.is_object()) continue;
    const uint8_t bit = static_cast<uint8_t>(1u << kSlot[k]);
    if (lock.value("user", false)) reply[5] |= bit;
    if (lock.value("closed", false)) reply[6] |= bit;
    const json &data = lock.contains("data") ? lock["data"] : json();
    PutNibbles(reply, kNibble[k], data.is_string() ? data.get<std::string>() : "", kDigits[k]);
    const json &counter = lock.contains("counter") ? lock["counter"] : json();
    reply[21 + kSlot[k]] = counter.is_number_integer() ? static_cast<uint8_t>(counter.get<int>() & 0xFF) : 0;
  }
  return reply;
}

constexpr const char *kSecurityStatus = "/security/status";
constexpr const char *kSimlocks = "/security/simlocks";

// 00 01 00 07: the security status, 01 00 00 08 and what the phone waits for.
void HandleSecurityStatus(const Request &, PhoneState &state, Replies &replies) {
  replies.Send(0x08, {0x01, 0x00, 0x00, 0x08, static_cast<uint8_t>(state.Integer(kSecurityStatus, 6, 0, 255))});
}

// 00 01 8A 00: the SIM locks.
void HandleSimlocks(const Request &, PhoneState &state, Replies &replies) {
  replies.Send(0x40, SimlockRecord(state.Json()[json::json_pointer(kSimlocks)]));
}

}  // namespace

void RegisterSecurityHandlers(HandlerTable &table) {
  json locks = json::array();
  for (const char *data : {"26201", "0000", "0000", "0000000000"})
    locks.push_back({{"data", data}, {"closed", false}, {"user", false}, {"counter", 0}});
  table.AddDefaults({{"security", {{"status", 6}, {"simlocks", locks}}}});

  table.On(0x08, 0x07, HandleSecurityStatus);
  table.On(0x40, 0x8A, HandleSimlocks);
}

}  // namespace phonesim
