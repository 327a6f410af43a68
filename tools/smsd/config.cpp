#include "config.h"

#include <ini.h>

#include <cstdlib>
#include <map>
#include <type_traits>

namespace smsd {
namespace {

bool ParseBool(const std::string &text, bool &value) {
  if (text == "true" || text == "yes" || text == "on" || text == "1") {
    value = true;
    return true;
  }
  if (text == "false" || text == "no" || text == "off" || text == "0") {
    value = false;
    return true;
  }
  return false;
}

int Collect(void *user, const char *section, const char *name, const char *value) {
  auto &values = *static_cast<std::map<std::string, std::string> *>(user);
  values[std::string(section) + "." + name] = value;
  return 1;
}

}  // namespace

bool LoadConfigFile(const std::string &path, Config &config, std::string &error) {
  std::map<std::string, std::string> values;
  const int parsed = ini_parse(path.c_str(), Collect, &values);
  if (parsed < 0) {
    error = "cannot read " + path;
    return false;
  }
  if (parsed > 0) {
    error = path + ":" + std::to_string(parsed) + ": not a setting (key = value) or [section]";
    return false;
  }
  std::string text;
  auto take = [&](const char *key) {
    auto found = values.find(key);
    if (found == values.end()) return false;
    text = found->second;
    values.erase(found);
    return true;
  };
  auto bad = [&](const char *key, const char *what) {
    error = path + ": " + key + " must be " + what + ", not \"" + text + "\"";
    return false;
  };
  auto number = [&](const char *key, auto &out, double low) {
    if (!take(key)) return true;
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || value < low)
      return bad(key, low > 0 ? "a positive number" : "a number 0 or more");
    out = static_cast<std::remove_reference_t<decltype(out)>>(value);
    return true;
  };
  auto flag = [&](const char *key, bool &out) {
    if (!take(key)) return true;
    return ParseBool(text, out) || bad(key, "true or false");
  };
  if (take("phone.port")) config.port = text;
  if (take("phone.connection")) {
    if (text != "cable" && text != "infrared") return bad("connection", "cable or infrared");
    config.connection = text;
  }
  if (take("phone.id")) config.phoneId = text;
  if (take("database.url")) config.database = text;
  if (take("daemon.run_on_receive")) config.runOnReceive = text;
  if (take("daemon.log_level")) config.logLevel = text;
  if (!number("phone.centre", config.centre, 1) || !number("daemon.poll_interval", config.pollInterval, 0.01) ||
      !number("daemon.hook_timeout", config.hookTimeout, 1) || !number("outbox.max_attempts", config.maxAttempts, 1) ||
      !number("outbox.retry_backoff", config.retryBackoff, 0) ||
      !flag("daemon.delete_received", config.deleteReceived) || !flag("outbox.resend_unknown", config.resendUnknown))
    return false;
  if (!values.empty()) {
    const std::string key = values.begin()->first;
    const size_t dot = key.find('.');
    error = path + ": unknown setting " + key.substr(dot + 1) + " in [" + key.substr(0, dot) + "]";
    return false;
  }
  return true;
}

std::string EffectivePhoneId(const Config &config) {
  if (!config.phoneId.empty()) return config.phoneId;
  // "/dev/ttyUSB0" gives "ttyUSB0", "/dev/pts/3" gives "pts3".
  std::string id = config.port.rfind("/dev/", 0) == 0 ? config.port.substr(5) : config.port;
  std::erase(id, '/');
  return id.empty() ? "phone" : id;
}

}  // namespace smsd
