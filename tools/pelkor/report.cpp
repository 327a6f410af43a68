#include "report.h"

#include <pelkor16.h>

#include <cstdio>

namespace pelkor_tool {

std::string Describe(int32_t code, const std::string &limit) {
  const std::string tail = " (code " + std::to_string(code) + ")";
  switch (code) {
    case PELKOR_OK: return "done";
    case PELKOR_NOT_FOUND: return "no open session, no such entry, or the file cannot be opened" + tail;
    case PELKOR_ERR_TIMEOUT:
      return (limit.empty() ? "no answer from the phone in time" : "no answer from the phone within " + limit) + tail;
    case PELKOR_ERR_IDENTITY_UNKNOWN: return "the phone did not tell" + tail;
    case PELKOR_ERR_MEMORY_STATUS: return "the phone could not report its memory" + tail;
    case PELKOR_ERR_SMS_READ: return "no message at that location" + tail;
    case PELKOR_ERR_PHONEBOOK_READ: return "the phone refused to read the entry" + tail;
    case PELKOR_ERR_SPEED_DIAL: return "the phone refused the speed dial" + tail;
    case PELKOR_ERR_SETTING_REFUSED: return "the phone refused the setting" + tail;
    case PELKOR_ERR_SMS_READ_OTHER: return "the phone could not read the message" + tail;
    case PELKOR_ERR_PHONEBOOK_WRITE: return "the phone refused to store the entry" + tail;
    case PELKOR_ERR_SMS_SEND: return "the phone could not send the message" + tail;
    case PELKOR_ERR_TEXT_TOO_LONG: return "the text is longer than 160 characters" + tail;
    case PELKOR_ERR_REFUSED: return "refused: a bad argument, an error reply or a port that cannot be opened" + tail;
    case PELKOR_ERR_NO_CALL: return "no call known" + tail;
    case PELKOR_ERR_LOGO: return "the phone refused the logo" + tail;
    default: return "failed" + tail;
  }
}

std::string JsonText(const nlohmann::json &value, int indent) {
  // A byte that is not UTF-8 becomes U+FFFD: the output stays valid JSON.
  return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

void Report::Line(const std::string &text) {
  if (!json_) std::printf("%s\n", text.c_str());
}

void Report::Field(const std::string &key, const nlohmann::json &value, const std::string &label) {
  data_[key] = value;
  if (!json_) {
    const std::string shown = value.is_string() ? value.get<std::string>() : JsonText(value);
    std::printf("%-16s %s\n", (label.empty() ? key : label).c_str(), shown.c_str());
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
    std::fprintf(stderr, "pelkor: %s\n", message.c_str());
  }
  return code == 0 ? 1 : (code < 0 ? 1 : (code > 125 ? 125 : code));
}

int Report::Finish() {
  if (json_) std::printf("%s\n", JsonText(data_, 2).c_str());
  return 0;
}

}  // namespace pelkor_tool
