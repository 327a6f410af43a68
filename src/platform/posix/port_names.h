#pragma once
#include <cstddef>

namespace pelkor::platform {

// Maps a port name as given to init() to a device path: a name starting with '/' is
// used as it stands, "COMn" is /dev/ttyS<n-1>, anything else is looked up under /dev/.
// Returns false when the result would not fit `size` bytes (or the name is empty).
bool ResolvePortPath(const char *name, char *path, size_t size);

}  // namespace pelkor::platform
