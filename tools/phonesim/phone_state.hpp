// The phone's state as JSON: every handler family contributes its defaults, a state
// file is laid over them, and handlers read and record through forgiving accessors
// (a state file is edited by hand; a wrong type must not bring the phone down).
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace phonesim {

class PhoneState {
 public:
  explicit PhoneState(nlohmann::json defaults = nlohmann::json::object());

  // Defaults overlaid with `patch` (RFC 7386 merge: objects merge, other values replace).
  void load(const nlohmann::json &patch);
  void reset() { data_ = defaults_; }

  const nlohmann::json &json() const { return data_; }
  nlohmann::json &json() { return data_; }

  // The integer at `pointer` (e.g. "/status/signal") clamped to [low, high], or
  // `fallback` when it is missing or not a number.
  int integer(const std::string &pointer, int fallback, int low, int high) const;
  // The string at `pointer`, or `fallback` when missing or not a string.
  std::string text(const std::string &pointer, const std::string &fallback) const;
  // Appends to the array at `pointer`, making it an array first if needed.
  void append(const std::string &pointer, nlohmann::json value);

 private:
  const nlohmann::json *find(const std::string &pointer) const;

  nlohmann::json defaults_;
  nlohmann::json data_;
};

}  // namespace phonesim
