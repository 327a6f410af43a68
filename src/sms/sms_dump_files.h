#pragma once
// Copies of every UCS-2 message read from the phone, for hosts that want the text in a
// file: UCS2-<n>.dat holds the whole message as received, UCS2-<n>.txt the text as a
// UTF-16 big-endian file with its byte-order mark. They go to the platform's dump
// directory (c:\temp\ on Windows; TMPDIR, else /tmp, on POSIX).
#include <cstddef>
#include <cstdint>
#include <string>

namespace pelkor {

// Takes the next dump number (1 for the first dump of the process).
int32_t NextUcs2DumpNumber();

// Path of dump number n with the given extension ("dat" or "txt").
std::string Ucs2DumpPath(int32_t n, const char *extension);

// Writes the files, each a new file private to the process user; one that cannot be
// created so (something other than the user's own plain file is in the way: a link,
// another user's file) is skipped without a report.
void WriteUcs2MessageDump(int32_t n, const uint8_t *message, size_t length);
void WriteUcs2TextDump(int32_t n, const uint8_t *text, size_t length);

}  // namespace pelkor
