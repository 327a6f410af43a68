#pragma once
// Starts the phonesim executable on a pseudo-terminal for the duration of a command.
#include <string>

#include <nlohmann/json.hpp>

namespace pelkor_tool {

class SimulatedPhone {
 public:
  SimulatedPhone() = default;
  ~SimulatedPhone();
  SimulatedPhone(const SimulatedPhone &) = delete;
  SimulatedPhone &operator=(const SimulatedPhone &) = delete;

  // Starts phonesim; false with error() set when it cannot be started.
  bool Start(const std::string &stateFile = "");
  // Ends phonesim and returns the state it recorded (empty when unavailable).
  nlohmann::json Stop();

  const std::string &device() const { return device_; }
  const std::string &error() const { return error_; }

 private:
  int pid_ = -1;
  std::string device_;
  std::string dumpPath_;
  std::string error_;
};

}  // namespace pelkor_tool
