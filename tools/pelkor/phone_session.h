#pragma once
// Opening the phone for one command: a real port, or the simulated phone (the default),
// which is started for the command and stopped after it.
#include <memory>
#include <string>

#include "report.h"
#include "simulated_phone.h"

namespace pelkor_tool {

struct GlobalOptions {
  std::string port = "sim";
  bool infrared = false;
  bool json = false;
  std::string trace;
  std::string simState;  // a JSON state file for the simulated phone
};

class PhoneSession {
 public:
  explicit PhoneSession(const GlobalOptions &options) : options_(options) {}
  ~PhoneSession();
  // Opens the link; on failure prints why and returns false with `status` set.
  bool Open(Report &report, int &status);
  SimulatedPhone *simulator() { return simulator_.get(); }

 private:
  const GlobalOptions &options_;
  std::unique_ptr<SimulatedPhone> simulator_;
  bool open_ = false;
};

}  // namespace pelkor_tool
