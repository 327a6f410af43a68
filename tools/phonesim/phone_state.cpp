#include "phone_state.h"

#include <algorithm>
#include <system_error>

namespace phonesim {

PhoneState::PhoneState(nlohmann::json defaults) : defaults_(std::move(defaults)), data_(defaults_) {
  if (!defaults_.is_object()) defaults_ = nlohmann::json::object();
  data_ = defaults_;
}

void PhoneState::Load(const nlohmann::json &patch) {
  nlohmann::json merged = defaults_;
  if (patch.is_object()) merged.merge_patch(patch);
  data_ = std::move(merged);
}

const nlohmann::json *PhoneState::Find(const std::string &pointer) const {
  try {
    const nlohmann::json::json_pointer path(pointer);
    if (!data_.contains(path)) return nullptr;
    return &data_.at(path);
  } catch (const nlohmann::json::exception &) {
    return nullptr;
  }
}

int PhoneState::Integer(const std::string &pointer, int fallback, int low, int high) const {
  const nlohmann::json *value = Find(pointer);
  if (value == nullptr || !value->is_number()) return fallback;
  const double number = value->get<double>();
  if (!(number >= low)) return low;  // also catches NaN
  if (number > high) return high;
  return static_cast<int>(number);
}

std::string PhoneState::Text(const std::string &pointer, const std::string &fallback) const {
  const nlohmann::json *value = Find(pointer);
  if (value == nullptr || !value->is_string()) return fallback;
  return value->get<std::string>();
}

void PhoneState::Set(const std::string &pointer, nlohmann::json value) {
  data_[nlohmann::json::json_pointer(pointer)] = std::move(value);
}

void PhoneState::Append(const std::string &pointer, nlohmann::json value) {
  const nlohmann::json::json_pointer path(pointer);
  nlohmann::json &target = data_[path];
  if (!target.is_array()) target = nlohmann::json::array();
  target.push_back(std::move(value));
}

bool PhoneState::ConfineFiles(const std::string &directory, std::string &error) {
  namespace fs = std::filesystem;
  std::error_code failure;
  const fs::path root = fs::canonical(directory.empty() ? fs::path(".") : fs::path(directory), failure);
  if (failure) {
    error = "files directory " + directory + ": " + failure.message();
    return false;
  }
  if (!fs::is_directory(root, failure)) {
    error = "files directory " + directory + ": not a directory";
    return false;
  }
  filesRoot_ = root;
  return true;
}

std::optional<std::string> PhoneState::FilePath(const std::string &path, std::string &error) const {
  namespace fs = std::filesystem;
  if (filesRoot_.empty()) return path;
  const std::string refusal = path + " is outside the files directory " + filesRoot_.string();
  fs::path wanted(path);
  if (wanted.is_relative()) wanted = filesRoot_ / wanted;
  // Every link and ".." of the part that exists is resolved; the rest is taken lexically.
  std::error_code failure;
  const fs::path resolved = fs::weakly_canonical(wanted, failure);
  if (failure) {
    error = path + ": " + failure.message();
    return std::nullopt;
  }
  const auto [root_end, resolved_end] =
      std::mismatch(filesRoot_.begin(), filesRoot_.end(), resolved.begin(), resolved.end());
  if (root_end != filesRoot_.end() || resolved_end == resolved.end()) {
    error = refusal;
    return std::nullopt;
  }
  // A link whose target does not exist yet is left unresolved above; writing through it
  // would create its target wherever it points.
  if (fs::is_symlink(fs::symlink_status(resolved, failure))) {
    error = refusal;
    return std::nullopt;
  }
  return resolved.string();
}

}  // namespace phonesim
