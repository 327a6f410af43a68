#pragma once
#include <string>

namespace pelkor::platform {

// The directory that receives the copies of UCS-2 messages read from the phone, with
// its trailing separator: c:\temp\ on Windows; on POSIX the one named by TMPDIR, else /tmp/.
std::string DumpDirectory();

}  // namespace pelkor::platform
