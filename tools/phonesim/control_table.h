// The control channel's commands, one row each: the simulator's own and those the
// handler families add, looked up by their first word.
#pragma once

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace phonesim {

class ControlTable {
 public:
  // Gets the words after the command's name; returns the reply text.
  using Run = std::function<std::string(std::istringstream &words)>;

  // `usage` is the command's line (or lines) in the help; empty keeps it out.
  void Add(std::string name, std::string usage, Run run);
  const Run *Find(const std::string &name) const;
  // "commands:" and every usage, in the order the rows were added.
  std::string Help() const;

 private:
  struct Row {
    std::string name;
    std::string usage;
    Run run;
  };
  std::vector<Row> rows_;
};

// What is left of the line, leading blanks removed.
std::string RestOf(std::istringstream &words);

}  // namespace phonesim
