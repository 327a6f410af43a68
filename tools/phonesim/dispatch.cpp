#include "dispatch.h"

namespace phonesim {

std::optional<uint8_t> CommandByte(uint8_t type, std::span<const uint8_t> bytes) {
  const size_t position = type == 0x40 ? 2 : 3;
  if (bytes.size() <= position) return std::nullopt;
  return bytes[position];
}

void HandlerTable::On(uint8_t type, uint8_t command, Handler handler) {
  byCommand_[{type, command}] = std::move(handler);
}

void HandlerTable::OnType(uint8_t type, Handler handler) { byType_[type] = std::move(handler); }

void HandlerTable::OnControl(const std::string &command, std::string usage, ControlHandler handler) {
  controls_[command] = ControlCommand{std::move(usage), std::move(handler)};
}

const ControlCommand *HandlerTable::FindControl(const std::string &command) const {
  const auto it = controls_.find(command);
  return it != controls_.end() ? &it->second : nullptr;
}

void HandlerTable::AddDefaults(const nlohmann::json &defaults) { defaults_.merge_patch(defaults); }

const Handler *HandlerTable::Find(uint8_t type, std::span<const uint8_t> bytes) const {
  if (const auto command = CommandByte(type, bytes)) {
    const auto it = byCommand_.find({type, *command});
    if (it != byCommand_.end()) return &it->second;
  }
  const auto it = byType_.find(type);
  return it != byType_.end() ? &it->second : nullptr;
}

HandlerTable MakeHandlerTable() {
  HandlerTable table;
  RegisterHandlerFamilies(table);
  return table;
}

}  // namespace phonesim
