#include "report.h"

#include <pelkor16.h>

#include <cstdio>

#include "exit_status.h"
#include "terminal_text.h"

namespace pelkor_tool {

std::string Describe(int32_t code, const std::string &limit) {
  if (code == PELKOR_OK) return pelkor_strerror(code);
  const std::string tail = " (code " + std::to_string(code) + ")";
  if (code == PELKOR_ERR_TIMEOUT && !limit.empty()) return "no answer from the phone within " + limit + tail;
  return pelkor_strerror(code) + tail;
}

std::string JsonText(const nlohmann::json &value, int indent) {
  // A byte that is not UTF-8 becomes U+FFFD: the output stays valid JSON.
  return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

void Report::Line(const std::string &text) {
  if (!json_) std::printf("%s\n", ForTerminal(text).c_str());
}

void Report::Field(const std::string &key, const nlohmann::json &value, const std::string &label) {
  data_[key] = value;
  Show(label.empty() ? key : label, value);
}

void Report::Show(const std::string &label, const nlohmann::json &value) {
  if (json_) return;
  const std::string shown = value.is_string() ? value.get<std::string>() : JsonText(value);
  std::printf("%-16s %s\n", label.c_str(), ForTerminal(shown).c_str());
}

int Report::Fail(int32_t code, const std::string &what, const std::string &limit) {
  const int status = code == PELKOR_OK ? kExitRefused : ExitStatusFor(code);
  return FailStatus(status, what + ": " + Describe(code, limit), code);
}

int Report::FailStatus(int status, const std::string &message, const nlohmann::json &libraryCode) {
  if (json_) {
    nlohmann::json error = {{"status", status}, {"message", message}};
    if (!libraryCode.is_null()) error["library_code"] = libraryCode;
    data_["error"] = error;
    std::printf("%s\n", JsonText(data_, 2).c_str());
  } else {
    std::fprintf(stderr, "pelkor: %s\n", ForTerminal(message).c_str());
  }
  return status;
}

int FailAs(Report &report, int status, const std::string &message) { return report.FailStatus(status, message); }

int Report::Finish() {
  if (json_) std::printf("%s\n", JsonText(data_, 2).c_str());
  return 0;
}

}  // namespace pelkor_tool
