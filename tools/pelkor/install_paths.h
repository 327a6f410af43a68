#pragma once
// Where the tool finds its companions: phonesim and the example files, looked up
// relative to the running executable so that an installed tree can move.
#include <string>

namespace pelkor_tool {

// PELKOR_PHONESIM, else phonesim beside this executable (an installed tree), else the
// one of the build tree, else the name alone (looked up on PATH).
std::string PhonesimPath();

// PELKOR_EXAMPLES, else <data directory>/pelkor16/examples of an installed tree, else
// the examples link beside the tool in the build tree.
std::string ExamplesDirectory();

}  // namespace pelkor_tool
