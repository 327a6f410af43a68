// The phone's state as JSON: every handler family contributes its defaults, a state
// file is laid over them, and handlers read and record through forgiving accessors
// (a state file is edited by hand; a wrong type must not bring the phone down).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace phonesim {

class PhoneState {
 public:
  explicit PhoneState(nlohmann::json defaults = nlohmann::json::object());

  // Defaults overlaid with `patch` (RFC 7386 merge: objects merge, other values replace).
  void Load(const nlohmann::json &patch);
  void Reset() { data_ = defaults_; }

  const nlohmann::json &Json() const { return data_; }
  nlohmann::json &Json() { return data_; }

  // The integer at `pointer` (e.g. "/status/signal") clamped to [low, high], or
  // `fallback` when it is missing or not a number.
  int Integer(const std::string &pointer, int fallback, int low, int high) const;
  // The string at `pointer`, or `fallback` when missing or not a string.
  std::string Text(const std::string &pointer, const std::string &fallback) const;
  // Stores `value` at `pointer`, making the objects on the way as needed.
  void Set(const std::string &pointer, nlohmann::json value);
  // Appends to the array at `pointer`, making it an array first if needed.
  void Append(const std::string &pointer, nlohmann::json value);

  // The files that control lines and the state name (logo files) are kept to one
  // directory once it is set: phonesim sets its --files directory, else the one it was
  // started in. Until then (the phone run in-process by tests) a path is used as given.
  // False, with `error` set, when the directory cannot be resolved.
  bool ConfineFiles(const std::string &directory, std::string &error);
  // What to open for `path`: a relative path is taken from the files directory, and
  // links and ".." are resolved. Empty, with `error` saying why, when the path leads out
  // of the directory (or ends in a link whose target does not exist yet).
  std::optional<std::string> FilePath(const std::string &path, std::string &error) const;

 private:
  const nlohmann::json *Find(const std::string &pointer) const;

  nlohmann::json defaults_;
  nlohmann::json data_;
  std::filesystem::path filesRoot_;  // empty: not confined
};

}  // namespace phonesim
