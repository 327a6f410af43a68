// Output files on Windows: created or replaced with write access, no sharing and normal
// attributes, so no other program opens the file while its header is still provisional.
#include <windows.h>

#include <new>

#include "platform/output_file.h"

namespace pelkor::platform {

class OutputFile {
 public:
  HANDLE handle;
};

OutputFile *CreateOutputFile(const char *path) {
  HANDLE handle = CreateFileA(path == nullptr ? "" : path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  auto *file = new (std::nothrow) OutputFile{handle};
  if (file == nullptr) CloseHandle(handle);
  return file;
}

void WriteOutputFile(OutputFile *file, const void *bytes, size_t length) {
  if (file == nullptr || length == 0) return;
  DWORD written = 0;
  WriteFile(file->handle, bytes, static_cast<DWORD>(length), &written, nullptr);
}

void RewindOutputFile(OutputFile *file) {
  if (file != nullptr) SetFilePointer(file->handle, 0, nullptr, FILE_BEGIN);
}

void CloseOutputFile(OutputFile *file) {
  if (file == nullptr) return;
  CloseHandle(file->handle);
  delete file;
}

}  // namespace pelkor::platform
