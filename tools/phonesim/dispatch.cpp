#include "dispatch.h"

namespace phonesim {

std::optional<uint8_t> command_byte(uint8_t type, std::span<const uint8_t> bytes) {
  const size_t position = type == 0x40 ? 2 : 3;
  if (bytes.size() <= position) return std::nullopt;
  return bytes[position];
}

void HandlerTable::on(uint8_t type, uint8_t command, Handler handler) {
  by_command_[{type, command}] = std::move(handler);
}

void HandlerTable::on_type(uint8_t type, Handler handler) { by_type_[type] = std::move(handler); }

void HandlerTable::on_control(const std::string &command, std::string usage, ControlHandler handler) {
  controls_[command] = ControlCommand{std::move(usage), std::move(handler)};
}

const ControlCommand *HandlerTable::find_control(const std::string &command) const {
  const auto it = controls_.find(command);
  return it != controls_.end() ? &it->second : nullptr;
}

void HandlerTable::add_defaults(const nlohmann::json &defaults) { defaults_.merge_patch(defaults); }

const Handler *HandlerTable::find(uint8_t type, std::span<const uint8_t> bytes) const {
  if (const auto command = command_byte(type, bytes)) {
    const auto it = by_command_.find({type, *command});
    if (it != by_command_.end()) return &it->second;
  }
  const auto it = by_type_.find(type);
  return it != by_type_.end() ? &it->second : nullptr;
}

HandlerTable make_handler_table() {
  HandlerTable table;
  register_handler_families(table);
  return table;
}

}  // namespace phonesim
