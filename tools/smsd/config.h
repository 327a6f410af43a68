// The daemon's settings: defaults, then the configuration file, then the flags.
#pragma once

#include <string>

namespace smsd {

struct Config {
  std::string port = "/dev/ttyUSB0";
  std::string connection = "cable";  // cable | infrared
  std::string phoneId;               // empty: the port's file name
  std::string database = "sqlite:///var/lib/pelkor/sms.db";
  std::string passwordFile;    // the database password, on the file's first line
  double pollInterval = 10.0;  // seconds
  bool deleteReceived = true;
  std::string runOnReceive;  // a shell command, run for each new inbox row
  std::string logLevel = "info";
  int centre = 1;              // the phone's message centre for sending
  int maxAttempts = 5;         // refusals before a row is marked failed
  int retryBackoff = 30;       // seconds before the first retry; doubled each time, at most an hour
  bool resendUnknown = false;  // send again rows whose fate is unknown (a crash or no answer while sending)
  int hookTimeout = 30;        // seconds the run-on-receive and run-on-report commands may take
  std::string runOnReport;     // a shell command, run for each outbox row whose delivery state settled
  double reportExpiry = 72;    // hours a sent part waits for its final report before it is expired
  // [http]: `serve`, the gateway's HTTP API, webhooks and dashboard.
  std::string listen = "127.0.0.1:8080";  // host:port
  std::string tlsCert, tlsKey;            // PEM files; both or neither
  std::string dashboardDir;               // the dashboard's files; empty: the installed ones
  int httpThreads = 8;                    // requests served at once
  int webhookTimeout = 10;                // seconds a receiver may take to answer
  double webhookRetryHours = 24;          // how long an event is retried before it is failed
};

// The longest delay before a retry, whatever the backoff and the attempts.
constexpr int kMaxBackoffSeconds = 3600;

// The delay before the retry that follows `attempts` refusals: the backoff doubled
// for each, at most kMaxBackoffSeconds.
int RetryDelay(int backoff, int attempts);

// Sets one setting, named "section.key" as in the file ("daemon.poll_interval"), from
// its text; false with `error` set ("poll_interval must be ...") for a bad value or an
// unknown key. Numbers are checked finite and within their range.
bool ApplySetting(Config &config, const std::string &key, const std::string &text, std::string &error);

// Reads an INI file into `config`; false with `error` set when the file cannot be read
// or holds a bad value, an unknown key, a key given twice, or a value the reader would
// cut short (at " ;", which starts a comment, or at the longest line it reads).
bool LoadConfigFile(const std::string &path, Config &config, std::string &error);

// What no single setting shows: a database URL of no known kind, a password file with
// an SQLite database. false with `error` set.
bool CheckConfig(const Config &config, std::string &error);

// The database password from config.passwordFile: its first line, without the line
// end. Refused (false, `error` set) when the file is not a regular file, is readable or
// writable by group or others, or is empty.
bool ReadPasswordFile(const std::string &path, std::string &password, std::string &error);

// The phone id the daemon uses: the configured one, else the port's file name.
std::string EffectivePhoneId(const Config &config);

}  // namespace smsd
