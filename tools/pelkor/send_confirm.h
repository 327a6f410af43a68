#pragma once
// A long text costs one message per part: above a few parts the tool asks first when a
// person is at the terminal. Scripts (no terminal) and --yes or --max-parts go on.
#include <cstdint>
#include <string>

namespace pelkor_tool {

// Parts a text may take without asking.
constexpr int32_t kPartsWithoutAsking = 4;

// Asks on the terminal when `parts` is above kPartsWithoutAsking and standard input is
// a terminal; empty when the send may go on, else why it does not.
std::string ConfirmManyParts(int32_t parts, const std::string &coding);

}  // namespace pelkor_tool
