#pragma once
// Reading the files people name on the command line: why one cannot be read, in the
// same words for every command (a folder, a missing file, no permission).
#include <string>

namespace pelkor_tool {

// Empty when `path` is a readable file, else why not: "no such file", "it is a folder,
// not a file", or the system's reason.
std::string InputFileProblem(const std::string &path);

// Reads the whole file into `text`; false with `problem` set when it cannot be read.
bool ReadInputFile(const std::string &path, std::string &text, std::string &problem);

}  // namespace pelkor_tool
