#include "phone_session.h"

#include <pelkor16.h>

namespace pelkor_tool {

PhoneSession::~PhoneSession() {
  if (open_) terminate();
  if (simulator_) simulator_->Stop();
}

bool PhoneSession::Open(Report &report, int &status) {
  if (!options_.trace.empty() && pelkor_settrace(options_.trace.c_str()) != PELKOR_OK) {
    status = report.Fail(PELKOR_NOT_FOUND, "cannot write the trace to " + options_.trace);
    return false;
  }
  std::string device = options_.port;
  if (options_.port == "sim") {
    simulator_ = std::make_unique<SimulatedPhone>();
    if (!simulator_->Start(options_.simState)) {
      status = report.Fail(PELKOR_ERR_REFUSED, "cannot start the simulated phone: " + simulator_->error());
      return false;
    }
    device = simulator_->device();
  }
  const int32_t result =
      init(device.c_str(), options_.infrared ? PELKOR_CONNECTION_INFRARED : PELKOR_CONNECTION_CABLE);
  open_ = result != PELKOR_ERR_REFUSED;
  if (result == PELKOR_OK) return true;
  status = result == -1
               ? report.FailWith(result, "the phone on " + device + " did not answer within 10 s (code -1)")
               : report.Fail(result, "cannot open " + device);
  return false;
}

}  // namespace pelkor_tool
