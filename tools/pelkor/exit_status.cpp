#include "exit_status.h"

#include <pelkor16.h>

namespace pelkor_tool {

int ExitStatusFor(int32_t code) {
  switch (code) {
    case PELKOR_OK:
      return kExitOk;
    case PELKOR_ERR_TIMEOUT:
    case PELKOR_ERR_IDENTITY_UNKNOWN:
      return kExitNoAnswer;
    case PELKOR_NOT_FOUND:
    case PELKOR_ERR_SMS_READ:
    case PELKOR_ERR_NO_CALL:
      return kExitNotFound;
    default:
      return kExitRefused;
  }
}

std::string ExitStatusTable() {
  return "Exit status:\n"
         "  0  done\n"
         "  1  usage: an unknown command or option, or an argument that cannot be accepted\n"
         "  2  the phone did not answer in time\n"
         "  3  refused by the phone or the library\n"
         "  4  bad input file: missing, unreadable or not what it claims to be\n"
         "  5  an output file cannot be written\n"
         "  6  the port cannot be opened, or the simulated phone cannot be started\n"
         "  7  not found: no message, entry or call at that place";
}

}  // namespace pelkor_tool
