// The Windows export list, the public header and the shared library must name the
// same functions: a function missing from the .def would be unreachable in the DLL.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

std::set<std::string> DefExports() {
  std::ifstream def(PELKOR_SOURCE_DIR "/src/api/pelkor16.def");
  std::set<std::string> names;
  std::string line;
  bool inExports = false;
  while (std::getline(def, line)) {
    std::istringstream words(line);
    std::string word;
    if (!(words >> word) || word[0] == ';') continue;
    if (word == "EXPORTS") {
      inExports = true;
      continue;
    }
    if (inExports) names.insert(word);
  }
  return names;
}

std::set<std::string> LibraryExports() {
  std::set<std::string> names;
  FILE *nm = popen("nm -D --defined-only '" PELKOR_SHARED_LIBRARY "'", "r");
  if (nm == nullptr) return names;
  char line[512];
  while (std::fgets(line, sizeof line, nm) != nullptr) {
    char address[64], type[8], name[256];
    if (std::sscanf(line, "%63s %7s %255s", address, type, name) == 3 && std::string(type) == "T") names.insert(name);
  }
  pclose(nm);
  return names;
}

TEST(ExportList, DefFileMatchesTheSharedLibraryAndTheHeader) {
  const std::set<std::string> def = DefExports();
  const std::set<std::string> library = LibraryExports();
  ASSERT_FALSE(library.empty()) << "nm could not list " PELKOR_SHARED_LIBRARY;
  EXPECT_EQ(def, library);
  std::ifstream headerFile(PELKOR_SOURCE_DIR "/include/pelkor16.h");
  const std::string header((std::istreambuf_iterator<char>(headerFile)), {});
  for (const std::string &name : library)
    EXPECT_NE(header.find("PELKOR_CALL " + name + "("), std::string::npos) << name;
}

}  // namespace
