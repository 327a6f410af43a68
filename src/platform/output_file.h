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

// A file of the library's own in a directory others may share, such as the copies of
// UCS-2 messages in the temporary directory: always a new file, made for the process
// user alone (0600 on POSIX whatever the umask; on Windows a protected access list
// naming its owner and the system only), never reached through a symbolic link or
// another reparse point. Something already at the path is removed and made anew only
// when it is a plain file (on POSIX also owned by the process user); anything else
// there (a link, a directory, another user's file) is left alone and null returned.
OutputFile *CreatePrivateOutputFile(const char *path);

}  // namespace pelkor::platform
