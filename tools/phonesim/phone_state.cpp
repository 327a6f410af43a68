#include "phone_state.hpp"

#include <algorithm>

namespace phonesim {

PhoneState::PhoneState(nlohmann::json defaults) : defaults_(std::move(defaults)), data_(defaults_) {
  if (!defaults_.is_object()) defaults_ = nlohmann::json::object();
  data_ = defaults_;
}

void PhoneState::load(const nlohmann::json &patch) {
  nlohmann::json merged = defaults_;
  if (patch.is_object()) merged.merge_patch(patch);
  data_ = std::move(merged);
}

const nlohmann::json *PhoneState::find(const std::string &pointer) const {
  try {
    const nlohmann::json::json_pointer path(pointer);
    if (!data_.contains(path)) return nullptr;
    return &data_.at(path);
  } catch (const nlohmann::json::exception &) {
    return nullptr;
  }
}

int PhoneState::integer(const std::string &pointer, int fallback, int low, int high) const {
  const nlohmann::json *value = find(pointer);
  if (value == nullptr || !value->is_number()) return fallback;
  const double number = value->get<double>();
  if (!(number >= low)) return low;  // also catches NaN
  if (number > high) return high;
  return static_cast<int>(number);
}

std::string PhoneState::text(const std::string &pointer, const std::string &fallback) const {
  const nlohmann::json *value = find(pointer);
  if (value == nullptr || !value->is_string()) return fallback;
  return value->get<std::string>();
}

void PhoneState::append(const std::string &pointer, nlohmann::json value) {
  const nlohmann::json::json_pointer path(pointer);
  nlohmann::json &target = data_[path];
  if (!target.is_array()) target = nlohmann::json::array();
  target.push_back(std::move(value));
}

}  // namespace phonesim
