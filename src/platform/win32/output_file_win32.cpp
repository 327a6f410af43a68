// Output files on Windows: created or replaced with write access, no sharing and normal
// attributes, so no other program opens the file while its header is still provisional.
#include <windows.h>
// sddl.h after windows.h, which it needs.
#include <sddl.h>

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

namespace {

// Full access for the file's owner and for the system, nothing for anyone else, and
// nothing inherited from the directory (P): the nearest thing to mode 0600.
constexpr const char *kPrivateAccess = "D:P(A;;FA;;;OW)(A;;FA;;;SY)";

// FILE_FLAG_OPEN_REPARSE_POINT: should the name be a symbolic link or a junction after
// all, CREATE_NEW fails on it rather than create what it points to.
HANDLE CreateNew(const char *path, SECURITY_ATTRIBUTES *security) {
  return CreateFileA(path, GENERIC_WRITE, 0, security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                     nullptr);
}

// Only a plain file is removed: DeleteFileA on a symbolic link would remove the link, but
// a name that is a reparse point, a directory or a device is none of ours to touch.
bool RemoveStalePlainFile(const char *path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
    return false;
  return DeleteFileA(path) != FALSE || GetLastError() == ERROR_FILE_NOT_FOUND;
}

// The DLL imports from kernel32 and the C runtime only; the one function of advapi32
// this needs is looked up when a private file is first made (never under the loader
// lock: the copies are written by the watch thread).
using DescriptorFromText = BOOL(WINAPI *)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR *, PULONG);

DescriptorFromText DescriptorParser() {
  static const DescriptorFromText parser = [] {
    HMODULE advapi = LoadLibraryA("advapi32.dll");
    return advapi == nullptr ? nullptr
                             : reinterpret_cast<DescriptorFromText>(reinterpret_cast<void (*)()>(
                                   GetProcAddress(advapi, "ConvertStringSecurityDescriptorToSecurityDescriptorA")));
  }();
  return parser;
}

}  // namespace

OutputFile *CreatePrivateOutputFile(const char *path) {
  if (path == nullptr || path[0] == '\0') return nullptr;
  // Without its access list the file would take the directory's: no file then.
  const DescriptorFromText parse = DescriptorParser();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (parse == nullptr || !parse(kPrivateAccess, SDDL_REVISION_1, &descriptor, nullptr)) return nullptr;
  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof security;
  security.lpSecurityDescriptor = descriptor;
  security.bInheritHandle = FALSE;
  HANDLE handle = CreateNew(path, &security);
  if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS && RemoveStalePlainFile(path))
    handle = CreateNew(path, &security);
  LocalFree(descriptor);
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
