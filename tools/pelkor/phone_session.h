#pragma once
// Opening the phone for one command: a real port, or the simulated phone (the default),
// which is started for the command and stopped after it.
#include <memory>
#include <string>

#include "report.h"
#include "simulated_phone.h"

namespace pelkor_tool {

struct GlobalOptions {
  std::string port;        // empty: PELKOR_PORT, else the simulated phone ("sim")
  std::string portSource;  // where the port came from, for messages: "--port" or "PELKOR_PORT"
  bool infrared = false;
  bool json = false;
  std::string trace;
  std::string simState;  // a JSON state file for the simulated phone
};

// Fills in options.port from PELKOR_PORT when --port was not given, else "sim".
void ChoosePort(GlobalOptions &options);

// The device path the library opens for a port name: a trailing "F" (quick start) is
// dropped, a path starting with "/" stands as it is, COMn is /dev/ttyS<n-1>, and any
// other name is looked up under /dev/.
std::string ResolvePortName(const std::string &port);

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
