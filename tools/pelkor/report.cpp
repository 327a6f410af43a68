#include "report.h"

#include <pelkor16.h>

#include <cstdio>

#include "exit_status.h"

namespace pelkor_tool {

std::string Describe(int32_t code, const std::string &limit) {
  if (code == PELKOR_OK) return pelkor_strerror(code);
  const std::string tail = " (code " + std::to_string(code) + ")";
  if (code == PELKOR_ERR_TIMEOUT && !limit.empty()) return "no answer from the phone within " + limit + tail;
  return pelkor_strerror(code) + tail;
}

void Report::Line(const std::string &text) {
  if (!json_) std::printf("%s\n", text.c_str());
}

void Report::Field(const std::string &key, const nlohmann::json &value, const std::string &label) {
  data_[key] = value;
  if (!json_) {
    const std::string shown = value.is_string() ? value.get<std::string>() : value.dump();
    std::printf("%-16s %s\n", (label.empty() ? key : label).c_str(), shown.c_str());
  }
}

int Report::Fail(int32_t code, const std::string &what, const std::string &limit) {
  return FailWith(code, what + ": " + Describe(code, limit));
}

int Report::FailWith(int32_t code, const std::string &message) {
  if (json_) {
    data_["error"] = {{"code", code}, {"message", message}};
    std::printf("%s\n", data_.dump(2).c_str());
  } else {
    std::fprintf(stderr, "pelkor: %s\n", message.c_str());
  }
  return code == 0 ? kExitUsage : ExitStatusFor(code);
}

int Report::Finish() {
  if (json_) std::printf("%s\n", data_.dump(2).c_str());
  return 0;
}

}  // namespace pelkor_tool
