#pragma once
// Every file the tool writes appears whole or not at all: it is written under a
// temporary name beside the target, flushed to the disk, and only then renamed over
// the target. A failure leaves the earlier file as it was and nothing else behind.
// The file is the user's alone (mode 0600, whatever the umask).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pelkor_tool {

// Writes the file at `target` through `writer`, which is handed the path to write
// (a file in a directory of mode 0700 made for it beside the target, with the
// target's name) and returns false with `error` set when it could not write it all.
// On success the file is set to mode 0600, synced, and renamed over `target` (a
// symbolic link at `target` is replaced, never written through). False with `error`
// saying why otherwise; then `target` is untouched and the temporary is gone.
bool WriteFileAtomically(const std::string &target,
                         const std::function<bool(const std::string &path, std::string &error)> &writer,
                         std::string &error);

// The same for a file whose bytes are at hand.
bool WriteFileAtomically(const std::string &target, const std::string &bytes, std::string &error);
bool WriteFileAtomically(const std::string &target, const std::vector<uint8_t> &bytes, std::string &error);

// Writes `bytes` as the whole file at `path` (created or truncated), reporting every
// short write and a failed close; for writers handed a path by WriteFileAtomically.
bool WriteAllTo(const std::string &path, const void *bytes, size_t size, std::string &error);

}  // namespace pelkor_tool
