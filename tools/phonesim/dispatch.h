// Requests are routed by (message type, command byte) through one table. Each family
// of requests lives in its own handlers_<family>.cpp, which defines
//   void Register<Family>Handlers(phonesim::HandlerTable&);
// and is named in the list of handler_families.cpp.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "phone_state.h"

namespace phonesim {

struct Request {
  uint8_t start;
  uint8_t type;
  std::span<const uint8_t> bytes;  // reassembled message, trailer removed

  // Byte `index` of the message, or `fallback` past its end.
  uint8_t At(size_t index, uint8_t fallback = 0) const { return index < bytes.size() ? bytes[index] : fallback; }
};

struct OutgoingMessage {
  uint8_t type;
  std::vector<uint8_t> bytes;
};

class Replies;

// Something the phone does later on its own (the network's verdict on a submission, a
// status report): run on the simulator's thread with the state and replies of its own.
using Deferred = std::function<void(PhoneState &, Replies &)>;

struct LaterAction {
  std::chrono::milliseconds delay;
  Deferred action;
};

// Collects what a handler answers; the link layer frames it afterwards. What it asks
// to be done later is run by the simulator once the delay has passed, while the link
// goes on with other requests. (Tests that call a handler directly see it here.)
class Replies {
 public:
  void Send(uint8_t type, std::vector<uint8_t> bytes) { messages_.push_back({type, std::move(bytes)}); }
  void Later(std::chrono::milliseconds delay, Deferred action) { later_.push_back({delay, std::move(action)}); }
  const std::vector<OutgoingMessage> &Messages() const { return messages_; }
  const std::vector<LaterAction> &Deferred() const { return later_; }

 private:
  std::vector<OutgoingMessage> messages_;
  std::vector<LaterAction> later_;
};

using Handler = std::function<void(const Request &, PhoneState &, Replies &)>;

// A line command a family adds to the control channel (e.g. "call incoming 0612345678"):
// it gets the words after the command, may change the state and send messages of its
// own, and returns the reply text.
using ControlHandler = std::function<std::string(const std::string &arguments, PhoneState &, Replies &)>;

struct ControlCommand {
  std::string usage;  // one help line
  ControlHandler handler;
};

// Where a request keeps its command byte: byte 2 on type 0x40, byte 3 elsewhere
// (requests mostly start 00 01 00 <command>). Empty when the message is too short.
std::optional<uint8_t> CommandByte(uint8_t type, std::span<const uint8_t> bytes);

class HandlerTable {
 public:
  void On(uint8_t type, uint8_t command, Handler handler);
  // For every command of `type` that has no handler of its own.
  void OnType(uint8_t type, Handler handler);
  void OnControl(const std::string &command, std::string usage, ControlHandler handler);
  const ControlCommand *FindControl(const std::string &command) const;
  const std::map<std::string, ControlCommand> &Controls() const { return controls_; }

  // Merged into the state's defaults (objects merge, so families can share one).
  void AddDefaults(const nlohmann::json &defaults);

  // The handler for a request, or nullptr: unknown requests are only acknowledged.
  const Handler *Find(uint8_t type, std::span<const uint8_t> bytes) const;
  const nlohmann::json &Defaults() const { return defaults_; }

 private:
  std::map<std::pair<uint8_t, uint8_t>, Handler> byCommand_;
  std::map<uint8_t, Handler> byType_;
  std::map<std::string, ControlCommand> controls_;
  nlohmann::json defaults_ = nlohmann::json::object();
};

// The phone's own clock now (the host's UTC clock and /clock/offset_seconds), as a
// message time stamp gives it: {yy, mm, dd, hh, mi, ss}, the year within its century.
std::vector<int> PhoneClockNow(const PhoneState &state);

// Calls Register<Family>Handlers for every family of handler_families.cpp, in its order.
void RegisterHandlerFamilies(HandlerTable &table);

// A table with every family registered.
HandlerTable MakeHandlerTable();

}  // namespace phonesim
