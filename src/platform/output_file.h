#pragma once
#include <cstddef>

namespace pelkor::platform {

// A file the library writes on its own, such as a WAV file: created or replaced, opened
// for writing only and not shared with other openers while it is open.
class OutputFile;

// Returns null when the file cannot be created.
OutputFile *CreateOutputFile(const char *path);
// Write results are not reported: a short write leaves a short file.
void WriteOutputFile(OutputFile *file, const void *bytes, size_t length);
void RewindOutputFile(OutputFile *file);  // the next write goes to offset 0
void CloseOutputFile(OutputFile *file);   // null is ignored

}  // namespace pelkor::platform
