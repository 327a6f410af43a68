#pragma once
// Checks an RTTTL text before the library reads it. The library's reader takes every
// text: an unknown note becomes a pause, a bad octave or tempo some other value. The
// tool refuses what is not RTTTL, saying where and why, and warns of what the library
// or the phone will cut or round.
#include <string>
#include <vector>

namespace pelkor_tool {

struct RtttlProblems {
  std::string error;                  // empty when the text may be read
  std::vector<std::string> warnings;  // what is cut or rounded
};

// `text` is the file's content as read from disk.
RtttlProblems CheckRtttl(const std::string &text);

}  // namespace pelkor_tool
