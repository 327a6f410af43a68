#pragma once
#include <cstddef>

namespace pelkor::platform::win32 {

// Maps a port name as given to init() to the name CreateFileA opens: "COM1", "com12",
// "CNCA0" get the device-namespace prefix \\.\ (which COM10 and above require and every
// port accepts); a name that already starts with \\ is used as it stands. Returns false
// for an empty name or one that does not fit `size` bytes.
bool ResolvePortPath(const char *name, char *path, size_t size);

}  // namespace pelkor::platform::win32
