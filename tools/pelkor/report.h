#pragma once
// How the tool speaks: result codes as sentences, text or JSON output, exit codes.
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace pelkor_tool {

// The library's result code as a sentence; `limit` names the command's time limit
// ("0.5 s") for code 4.
std::string Describe(int32_t code, const std::string &limit = "");

// JSON text of a value; bytes that are not UTF-8 are replaced, never fatal.
std::string JsonText(const nlohmann::json &value, int indent = -1);

// Collects one command's results and prints them as text lines or as one JSON object.
// Text lines show control characters visibly (ForTerminal); JSON keeps every character.
class Report {
 public:
  explicit Report(bool json) : json_(json) {}
  void Line(const std::string &text);  // text mode only
  void Field(const std::string &key, const nlohmann::json &value, const std::string &label = "");
  // A labelled line in text mode only, as Field shows its value.
  void Show(const std::string &label, const nlohmann::json &value);
  nlohmann::json &Json() { return data_; }
  // Prints the library's failure (to stderr in text mode) and returns the exit status
  // of the table for its code.
  int Fail(int32_t code, const std::string &what, const std::string &limit = "");
  // Prints `message` as a failure with exit status `status`; the JSON error object is
  // {"status": status, "message": message} and, when the library gave one, its
  // "library_code". Returns `status`.
  int FailStatus(int status, const std::string &message, const nlohmann::json &libraryCode = nullptr);
  int Finish();  // prints the JSON object when in JSON mode; returns 0
  bool json() const { return json_; }

 private:
  bool json_;
  nlohmann::json data_ = nlohmann::json::object();
};

// Prints `message` as the command's failure (stderr, or the JSON error object) and
// returns `status`; for failures the tool finds before anything reaches the phone.
int FailAs(Report &report, int status, const std::string &message);

}  // namespace pelkor_tool
