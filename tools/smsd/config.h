// The daemon's settings: defaults, then the configuration file, then the flags.
#pragma once

#include <string>

namespace smsd {

struct Config {
  std::string port = "/dev/ttyUSB0";
  std::string connection = "cable";  // cable | infrared
  std::string phoneId;               // empty: the port's file name
  std::string database = "sqlite:///var/lib/pelkor/sms.db";
  double pollInterval = 10.0;  // seconds
  bool deleteReceived = true;
  std::string runOnReceive;  // a shell command, run for each new inbox row
  std::string logLevel = "info";
  int centre = 1;              // the phone's message centre for sending
  int maxAttempts = 5;         // refusals before a row is marked failed
  int retryBackoff = 30;       // seconds before the first retry; doubled each time, at most an hour
  bool resendUnknown = false;  // send again rows whose fate is unknown (a crash or no answer while sending)
  int hookTimeout = 30;        // seconds the run-on-receive command may take
};

// Reads an INI file into `config`; false with `error` set when the file cannot be read
// or holds a bad value. Unknown keys are reported in `error` too.
bool LoadConfigFile(const std::string &path, Config &config, std::string &error);

// The phone id the daemon uses: the configured one, else the port's file name.
std::string EffectivePhoneId(const Config &config);

}  // namespace smsd
