#include "platform/win32/port_names.h"

#include <cstdio>

namespace pelkor::platform::win32 {

bool ResolvePortPath(const char *name, char *path, size_t size) {
  if (name == nullptr || name[0] == '\0' || size == 0) return false;
  const bool alreadyPrefixed = name[0] == '\\' && name[1] == '\\';
  const int written = std::snprintf(path, size, "%s%s", alreadyPrefixed ? "" : "\\\\.\\", name);
  return written > 0 && static_cast<size_t>(written) < size;
}

}  // namespace pelkor::platform::win32
