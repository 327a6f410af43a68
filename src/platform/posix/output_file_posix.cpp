// Output files on POSIX: a stdio stream. There is no mandatory locking to refuse other
// openers, so "not shared" is as far as the system goes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "platform/output_file.h"

namespace pelkor::platform {

class OutputFile {
 public:
  std::FILE *stream;
};

OutputFile *CreateOutputFile(const char *path) {
  std::FILE *stream = std::fopen(path == nullptr ? "" : path, "wb");
  if (stream == nullptr) return nullptr;
  auto *file = new (std::nothrow) OutputFile{stream};
  if (file == nullptr) std::fclose(stream);
  return file;
}

namespace {

int CreateNew(const char *path) {
  return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
}

// lstat names the entry itself, never what a link points to, and opens nothing (a
// planted FIFO or device is never opened). Should the entry change between the look and
// the unlink, unlink still removes only a name, and the O_EXCL create after it fails
// rather than write through anything planted meanwhile.
bool RemoveStaleOwnFile(const char *path) {
  struct stat status {};
  if (::lstat(path, &status) != 0) return false;
  if (!S_ISREG(status.st_mode) || status.st_uid != ::geteuid()) return false;
  return ::unlink(path) == 0 || errno == ENOENT;
}

}  // namespace

OutputFile *CreatePrivateOutputFile(const char *path) {
  if (path == nullptr || path[0] == '\0') return nullptr;
  int fd = CreateNew(path);
  if (fd < 0 && errno == EEXIST && RemoveStaleOwnFile(path)) fd = CreateNew(path);
  if (fd < 0) return nullptr;
  // The umask can only take bits away from 0600; set the mode all the same, so that the
  // file is private however the process was started.
  if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0) {
    ::close(fd);
    ::unlink(path);
    return nullptr;
  }
  std::FILE *stream = ::fdopen(fd, "wb");
  if (stream == nullptr) {
    ::close(fd);
    ::unlink(path);
    return nullptr;
  }
  auto *file = new (std::nothrow) OutputFile{stream};
  if (file == nullptr) std::fclose(stream);
  return file;
}

void WriteOutputFile(OutputFile *file, const void *bytes, size_t length) {
  if (file != nullptr && length > 0) std::fwrite(bytes, 1, length, file->stream);
}

void RewindOutputFile(OutputFile *file) {
  if (file != nullptr) std::fseek(file->stream, 0, SEEK_SET);
}

void CloseOutputFile(OutputFile *file) {
  if (file == nullptr) return;
  std::fclose(file->stream);
  delete file;
}

}  // namespace pelkor::platform
