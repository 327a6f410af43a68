#include "config.h"

#include <fcntl.h>
#include <ini.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>

#include "log.h"

namespace smsd {
namespace {

// The longest line inih reads whole (its INI_MAX_LINE, less the line end).
constexpr size_t kMaxLine = 199;

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

std::string Trimmed(const std::string &text) {
  const size_t start = text.find_first_not_of(" \t\r\n\f\v");
  if (start == std::string::npos) return "";
  return text.substr(start, text.find_last_not_of(" \t\r\n\f\v") - start + 1);
}

// A number setting: its range, and whether it takes whole numbers only.
struct NumberRange {
  const char *key;
  double low, high;
  bool whole;
};

constexpr NumberRange kNumbers[] = {
    {"phone.centre", 1, 255, true},
    {"daemon.poll_interval", 0.1, 3600, false},
    {"daemon.hook_timeout", 1, 3600, true},
    {"outbox.max_attempts", 1, 1000, true},
    {"outbox.retry_backoff", 0, kMaxBackoffSeconds, true},
    {"outbox.report_expiry", 0.0001, 8760, false},
    {"http.threads", 1, 256, true},
    {"http.webhook_timeout", 1, 300, true},
    {"http.webhook_retry_hours", 0.0001, 720, false},
};

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// The text as a number of `range`, or false with `error` naming the setting.
bool ParseNumber(const NumberRange &range, const std::string &text, double &value, std::string &error) {
  const std::string name = std::strchr(range.key, '.') + 1;
  char *end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  const bool number = !text.empty() && *end == '\0' && errno == 0 && std::isfinite(value);
  if (number && value >= range.low && value <= range.high && (!range.whole || value == std::floor(value))) return true;
  error = name + " must be " + (range.whole ? "a whole number" : "a number") + " from " + Number(range.low) + " to " +
          Number(range.high) + ", not \"" + text + "\"";
  return false;
}

// One line of the file as inih reads it: a [section], or a key with its value as
// written (before inih cuts a comment off it).
struct RawSetting {
  int line = 0;
  std::string value;
};

// Reads the file's lines the way inih does, to catch what inih would take silently:
// a key given twice, an indented line that continues the setting above it, a line
// longer than inih reads whole. The raw value of each key goes into `raw`, so a value
// inih cut at an inline comment can be told from the one written.
bool ScanRawLines(const std::string &path, std::map<std::string, RawSetting> &raw, std::string &error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;  // inih reports it
  std::string line, section;
  bool keyAbove = false;
  for (int number = 1; std::getline(in, line); ++number) {
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (line.size() > kMaxLine + (line.ends_with('\r') ? 1 : 0)) {
      error = where + "the line is longer than " + std::to_string(kMaxLine) + " characters";
      return false;
    }
    const std::string text = Trimmed(line);
    if (text.empty() || text[0] == ';' || text[0] == '#') continue;
    if (text[0] == '[') {
      const size_t close = text.find(']');
      section = close == std::string::npos ? text.substr(1) : text.substr(1, close - 1);
      keyAbove = false;
      continue;
    }
    if (keyAbove && (line[0] == ' ' || line[0] == '\t')) {
      error = where + "an indented line would continue the setting above it; put each setting on one line";
      return false;
    }
    const size_t separator = text.find_first_of("=:");
    if (separator == std::string::npos) continue;  // inih reports it
    const std::string key = section + "." + Trimmed(text.substr(0, separator));
    auto [found, added] = raw.emplace(key, RawSetting{number, Trimmed(text.substr(separator + 1))});
    if (!added) {
      error = where + Trimmed(text.substr(0, separator)) + " in [" + section + "] is set twice (line " +
              std::to_string(found->second.line) + " and line " + std::to_string(number) + ")";
      return false;
    }
    keyAbove = true;
  }
  return true;
}

int Collect(void *user, const char *section, const char *name, const char *value) {
  auto &values = *static_cast<std::map<std::string, std::string> *>(user);
  values[std::string(section) + "." + name] = value;
  return 1;
}

}  // namespace

int RetryDelay(int backoff, int attempts) {
  if (backoff <= 0) return 0;
  int64_t delay = backoff;
  for (int i = 0; i < attempts && delay < kMaxBackoffSeconds; ++i) delay *= 2;
  return static_cast<int>(std::min<int64_t>(delay, kMaxBackoffSeconds));
}

bool ApplySetting(Config &config, const std::string &key, const std::string &text, std::string &error) {
  const std::string name = key.substr(key.find('.') + 1);
  for (const NumberRange &range : kNumbers) {
    if (key != range.key) continue;
    double value = 0;
    if (!ParseNumber(range, text, value, error)) return false;
    if (key == "phone.centre") config.centre = static_cast<int>(value);
    if (key == "daemon.poll_interval") config.pollInterval = value;
    if (key == "daemon.hook_timeout") config.hookTimeout = static_cast<int>(value);
    if (key == "outbox.max_attempts") config.maxAttempts = static_cast<int>(value);
    if (key == "outbox.retry_backoff") config.retryBackoff = static_cast<int>(value);
    if (key == "outbox.report_expiry") config.reportExpiry = value;
    if (key == "http.threads") config.httpThreads = static_cast<int>(value);
    if (key == "http.webhook_timeout") config.webhookTimeout = static_cast<int>(value);
    if (key == "http.webhook_retry_hours") config.webhookRetryHours = value;
    return true;
  }
  auto flag = [&](bool &out) {
    if (ParseBool(text, out)) return true;
    error = name + " must be true or false, not \"" + text + "\"";
    return false;
  };
  if (key == "daemon.delete_received") return flag(config.deleteReceived);
  if (key == "outbox.resend_unknown") return flag(config.resendUnknown);
  if (key == "phone.connection") {
    if (text != "cable" && text != "infrared") {
      error = "connection must be cable or infrared, not \"" + text + "\"";
      return false;
    }
    config.connection = text;
    return true;
  }
  std::string *field = key == "phone.port"               ? &config.port
                       : key == "phone.id"               ? &config.phoneId
                       : key == "database.url"           ? &config.database
                       : key == "database.password_file" ? &config.passwordFile
                       : key == "daemon.run_on_receive"  ? &config.runOnReceive
                       : key == "daemon.run_on_report"   ? &config.runOnReport
                       : key == "daemon.log_level"       ? &config.logLevel
                       : key == "http.listen"            ? &config.listen
                       : key == "http.tls_cert"          ? &config.tlsCert
                       : key == "http.tls_key"           ? &config.tlsKey
                       : key == "http.dashboard_dir"     ? &config.dashboardDir
                                                         : nullptr;
  if (field == nullptr) {
    const size_t dot = key.find('.');
    error = "unknown setting " + name + " in [" + key.substr(0, dot) + "]";
    return false;
  }
  *field = text;
  return true;
}

namespace {

// A file the reader can open and that is not a folder (inih would read a folder as an
// empty file and the defaults would go unnoticed); false with `error` set otherwise.
bool CheckReadable(const std::string &path, std::string &error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  const bool folder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  ::close(fd);
  if (folder) {
    error = "cannot read " + path + ": it is a folder, not a file";
    return false;
  }
  return true;
}

}  // namespace

bool LoadConfigFile(const std::string &path, Config &config, std::string &error) {
  if (!CheckReadable(path, error)) return false;
  std::map<std::string, RawSetting> raw;
  if (!ScanRawLines(path, raw, error)) return false;
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
  for (const auto &[key, value] : values) {
    const auto written = raw.find(key);
    const std::string where = path + ":" + (written == raw.end() ? "" : std::to_string(written->second.line) + ":");
    if (written != raw.end() && written->second.value != value) {
      // inih ends a value at " ;" and takes the rest for a comment.
      error = where + " the value of " + key.substr(key.find('.') + 1) +
              " has \" ;\" in it, where a comment would cut it short; write it without the space before ';'"
              " and put comments on lines of their own";
      return false;
    }
    if (!ApplySetting(config, key, value, error)) {
      error = where + " " + RedactSecrets(error);
      return false;
    }
  }
  return true;
}

bool CheckConfig(const Config &config, std::string &error) {
  const std::string &url = config.database;
  const bool postgres = url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0;
  if (!postgres && url.rfind("sqlite://", 0) != 0 && url.find("://") != std::string::npos) {
    error = "database url \"" + RedactSecrets(url) + "\" is of no known kind (sqlite:// or postgresql://)";
    return false;
  }
  if (url.empty()) {
    error = "database url is empty";
    return false;
  }
  if (!config.passwordFile.empty() && !postgres) {
    error = "password_file is for a postgresql:// database";
    return false;
  }
  if (config.tlsCert.empty() != config.tlsKey.empty()) {
    error = "tls_cert and tls_key go together: give both or neither";
    return false;
  }
  return true;
}

bool ReadPasswordFile(const std::string &path, std::string &password, std::string &error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    error = "password_file " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  std::string content;
  bool ok = ::fstat(fd, &st) == 0;
  if (!ok || !S_ISREG(st.st_mode)) {
    error = "password_file " + path + " is not a regular file";
  } else if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    error = "password_file " + path + " has mode " + mode +
            ": group or others may read or write it; make it readable by the daemon only (chmod 600)";
    ok = false;
  } else {
    char buffer[4096];
    ssize_t n = 0;
    while (content.size() < 65536 && (n = ::read(fd, buffer, sizeof buffer)) > 0)
      content.append(buffer, static_cast<size_t>(n));
    if (n < 0) {
      error = "password_file " + path + ": " + std::strerror(errno);
      ok = false;
    }
  }
  ::close(fd);
  if (!ok || !S_ISREG(st.st_mode)) return false;
  password = content.substr(0, content.find('\n'));
  if (password.ends_with('\r')) password.pop_back();
  if (password.empty()) {
    error = "password_file " + path + " is empty (the password is its first line)";
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
