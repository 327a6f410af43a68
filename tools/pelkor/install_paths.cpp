#include "install_paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef PELKOR_BIN_TO_DATA
#error "PELKOR_BIN_TO_DATA comes from tools/pelkor/CMakeLists.txt"
#endif

namespace pelkor_tool {
namespace {

namespace fs = std::filesystem;

fs::path ExecutableDirectory() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : self.parent_path();
}

bool IsExecutable(const fs::path &path) {
  return !path.empty() && fs::is_regular_file(path) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string PhonesimPath() {
  if (const char *path = std::getenv("PELKOR_PHONESIM"); path != nullptr && *path != '\0') return path;
  const fs::path here = ExecutableDirectory();
  if (!here.empty()) {
    for (const fs::path &candidate : {here / "phonesim", here / ".." / "phonesim" / "phonesim"}) {
      if (IsExecutable(candidate)) return candidate.lexically_normal().string();
    }
  }
  return "phonesim";
}

std::string ExamplesDirectory() {
  if (const char *path = std::getenv("PELKOR_EXAMPLES"); path != nullptr && *path != '\0') return path;
  const fs::path here = ExecutableDirectory();
  const fs::path installed = (here / PELKOR_BIN_TO_DATA / "pelkor16" / "examples").lexically_normal();
  std::error_code error;
  if (fs::is_directory(installed, error)) return installed.string();
  const fs::path built = here / "examples";
  if (fs::is_directory(built, error)) return built.string();
  return installed.string();
}

}  // namespace pelkor_tool
