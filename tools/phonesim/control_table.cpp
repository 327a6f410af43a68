#include "control_table.h"

#include <algorithm>

namespace phonesim {

void ControlTable::Add(std::string name, std::string usage, Run run) {
  rows_.push_back({std::move(name), std::move(usage), std::move(run)});
}

const ControlTable::Run *ControlTable::Find(const std::string &name) const {
  const auto it = std::find_if(rows_.begin(), rows_.end(), [&](const Row &row) { return row.name == name; });
  return it != rows_.end() ? &it->run : nullptr;
}

std::string ControlTable::Help() const {
  std::string text = "commands:";
  for (const Row &row : rows_)
    if (!row.usage.empty()) text += "\n  " + row.usage;
  return text;
}

std::string RestOf(std::istringstream &words) {
  std::string rest;
  std::getline(words, rest);
  const size_t first = rest.find_first_not_of(" \t");
  return first == std::string::npos ? std::string() : rest.substr(first);
}

}  // namespace phonesim
