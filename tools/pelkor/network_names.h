#pragma once
// Network names for network codes, from the mobile-broadband-provider-info database
// (Debian package mobile-broadband-provider-info) when it is installed.
#include <string>

namespace pelkor_tool {

// The operator's name for a network code "MCC MNC" (e.g. "262 01"), or "" when the code
// is unknown or the database is not installed. PELKOR_PROVIDERS_XML names another file.
std::string NetworkName(const std::string &networkCode);

}  // namespace pelkor_tool
