#include "phone_session.h"

#include <fcntl.h>
#include <pelkor16.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "exit_status.h"
#include "input_file.h"
#include "progress.h"

namespace pelkor_tool {
namespace {

bool QuickStart(const std::string &port) { return !port.empty() && port.back() == 'F'; }

// Why the device cannot be used, from opening it the way a serial port is opened.
std::string PortProblem(const std::string &path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    std::string reason = std::strerror(error);
    if (error == EACCES || error == EPERM)
      reason += "; serial ports belong to the dialout group: sudo usermod -aG dialout $USER, then log in again";
    else if (error == EBUSY)
      reason += "; another program has the port open";
    return reason;
  }
  const bool terminal = ::isatty(fd) == 1;
  ::close(fd);
  return terminal ? "the port is in use or cannot be set up" : "it is not a serial port";
}

}  // namespace

void ChoosePort(GlobalOptions &options) {
  if (!options.port.empty()) {
    options.portSource = "--port";
    return;
  }
  const char *fromEnvironment = std::getenv("PELKOR_PORT");
  if (fromEnvironment != nullptr && fromEnvironment[0] != '\0') {
    options.port = fromEnvironment;
    options.portSource = "PELKOR_PORT";
  } else {
    options.port = "sim";
  }
}

std::string ResolvePortName(const std::string &port) {
  std::string name = QuickStart(port) ? port.substr(0, port.size() - 1) : port;
  if (!name.empty() && name[0] == '/') return name;
  if (name.size() > 3 && name.compare(0, 3, "COM") == 0 && name[3] >= '1' && name[3] <= '9') {
    char *end = nullptr;
    const long n = std::strtol(name.c_str() + 3, &end, 10);
    if (*end == '\0' && n >= 1 && n <= 4096) return "/dev/ttyS" + std::to_string(n - 1);
  }
  return "/dev/" + name;
}

PhoneSession::~PhoneSession() {
  if (open_) terminate();
  if (simulator_) simulator_->Stop();
}

bool PhoneSession::Open(Report &report, int &status) {
  if (!options_.trace.empty() && pelkor_settrace(options_.trace.c_str()) != PELKOR_OK) {
    status = FailAs(report, kExitCannotWrite, "cannot write the trace to " + options_.trace);
    return false;
  }
  std::string device = options_.port;
  std::string shown = device;
  if (options_.port == "sim") {
    if (!options_.simState.empty()) {
      if (const std::string problem = InputFileProblem(options_.simState); !problem.empty()) {
        status = FailAs(report, kExitBadInput, "--sim-state " + options_.simState + ": " + problem);
        return false;
      }
    }
    simulator_ = std::make_unique<SimulatedPhone>();
    if (!simulator_->Start(options_.simState)) {
      status = FailAs(report, kExitNoPort, "cannot start the simulated phone: " + simulator_->error());
      return false;
    }
    device = simulator_->device();
    if (options_.portSource.empty())
      std::fprintf(stderr, "pelkor: no --port given: using the simulated phone on %s\n", device.c_str());
    else
      std::fprintf(stderr, "pelkor: using the simulated phone on %s (%s)\n", device.c_str(),
                   options_.portSource == "--port" ? "--port sim" : "PELKOR_PORT=sim");
    shown = "the simulated phone";
  } else {
    const std::string path = ResolvePortName(device);
    shown = path == device ? path : device + " (" + path + ")";
  }
  const bool quick = QuickStart(device);
  int32_t result;
  {
    Progress progress("waiting for the phone on " + shown + " (up to " + (quick ? "0.1" : "10") + " s)");
    result = init(device.c_str(), options_.infrared ? PELKOR_CONNECTION_INFRARED : PELKOR_CONNECTION_CABLE);
  }
  open_ = result != PELKOR_ERR_REFUSED;
  if (result == PELKOR_OK) return true;
  if (result == PELKOR_ERR_REFUSED) {
    const std::string path = ResolvePortName(device);
    const std::string from = options_.portSource.empty() ? "" : " (from " + options_.portSource + ")";
    status = FailAs(report, kExitNoPort,
                    "cannot open " + device + from + (path == device ? "" : " = " + path) + ": " + PortProblem(path));
  } else {
    status = FailAs(report, kExitNoAnswer,
                    "the phone on " + shown + " did not answer within " + (quick ? "0.1" : "10") +
                        " s: is it switched on and plugged in" +
                        (options_.infrared ? ", and its infrared port facing this one?"
                                           : ", and is it a cable link (--infrared otherwise)?"));
  }
  return false;
}

}  // namespace pelkor_tool
