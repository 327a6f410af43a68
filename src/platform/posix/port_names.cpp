#include "platform/posix/port_names.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pelkor::platform {
namespace {

// "COM" followed by a decimal number from 1 up: the n-th serial port.
bool ParseComNumber(const char *name, long *number) {
  if (std::strncmp(name, "COM", 3) != 0 || name[3] < '1' || name[3] > '9') return false;
  char *end = nullptr;
  long n = std::strtol(name + 3, &end, 10);
  if (*end != '\0' || n < 1 || n > 4096) return false;
  *number = n;
  return true;
}

}  // namespace

bool ResolvePortPath(const char *name, char *path, size_t size) {
  if (name == nullptr || name[0] == '\0' || size == 0) return false;
  int written;
  long com = 0;
  if (name[0] == '/')
    written = std::snprintf(path, size, "%s", name);
  else if (ParseComNumber(name, &com))
    written = std::snprintf(path, size, "/dev/ttyS%ld", com - 1);
  else
    written = std::snprintf(path, size, "/dev/%s", name);
  return written > 0 && static_cast<size_t>(written) < size;
}

}  // namespace pelkor::platform
