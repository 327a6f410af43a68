#include "platform/dump_directory.h"

namespace pelkor::platform {

std::string DumpDirectory() { return "c:\\temp\\"; }

}  // namespace pelkor::platform
