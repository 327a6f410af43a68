#include <cstdlib>

#include "platform/dump_directory.h"

namespace pelkor::platform {

std::string DumpDirectory() {
  const char *named = std::getenv("TMPDIR");
  std::string directory = (named != nullptr && named[0] != '\0') ? named : "/tmp";
  if (directory.back() != '/') directory += '/';
  return directory;
}

}  // namespace pelkor::platform
