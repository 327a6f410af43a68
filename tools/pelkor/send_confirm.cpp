#include "send_confirm.h"

#include <cstdio>
#include <iostream>

#include <unistd.h>

namespace pelkor_tool {

std::string ConfirmManyParts(int32_t parts, const std::string &coding) {
  if (parts <= kPartsWithoutAsking || ::isatty(STDIN_FILENO) != 1) return "";
  const std::string count = std::to_string(parts);
  std::fprintf(stderr, "pelkor: the text goes as %s messages (%s parts as %s); send them all? [y/N] ", count.c_str(),
               count.c_str(), coding.c_str());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) answer.clear();
  if (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes") return "";
  return "not sent: " + count + " parts were not confirmed (--yes sends without asking, --max-parts N sets a limit)";
}

}  // namespace pelkor_tool
