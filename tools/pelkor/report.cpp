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
  if (!json_) {
    const std::string shown = value.is_string() ? value.get<std::string>() : JsonText(value);
    std::printf("%-16s %s\n", (label.empty() ? key : label).c_str(), ForTerminal(shown).c_str());
  }
}

int Report::Fail(int32_t code, const std::string &what, const std::string &limit) {
  return FailWith(code, what + ": " + Describe(code, limit));
}

int Report::FailWith(int32_t code, const std::string &message) {
  if (json_) {
    data_["error"] = {{"code", code}, {"message", message}};
    std::printf("%s\n", JsonText(data_, 2).c_str());
  } else {
    std::fprintf(stderr, "pelkor: %s\n", ForTerminal(message).c_str());
  }
  return code == 0 ? kExitUsage : ExitStatusFor(code);
}

int Report::Finish() {
  if (json_) std::printf("%s\n", JsonText(data_, 2).c_str());
  return 0;
}

}  // namespace pelkor_tool
