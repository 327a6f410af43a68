#pragma once
// The tool's exit statuses: one small table for people and scripts, whatever the
// library's result code was. `pelkor --help` and the README print the same table.
#include <cstdint>
#include <string>

namespace pelkor_tool {

enum ExitStatus : int {
  kExitOk = 0,
  kExitUsage = 1,        // the command line, or an argument the tool cannot accept
  kExitNoAnswer = 2,     // the phone did not answer in time
  kExitRefused = 3,      // the phone or the library refused the request
  kExitBadInput = 4,     // an input file is missing, unreadable or not what it claims
  kExitCannotWrite = 5,  // an output file cannot be written
  kExitNoPort = 6,       // the port cannot be opened, or the simulated phone cannot start
  kExitNotFound = 7,     // no message, entry or call at that place
};

// The exit status for a library result code (0 stays 0).
int ExitStatusFor(int32_t code);

// The table as help text, one status a line.
std::string ExitStatusTable();

}  // namespace pelkor_tool
