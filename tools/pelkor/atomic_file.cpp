#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace pelkor_tool {

namespace {

std::string Reason(const std::string &what) { return what + ": " + std::strerror(errno); }

// The directory part of a path ("." for a bare name) and its last component.
void SplitPath(const std::string &path, std::string &directory, std::string &name) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    directory = ".";
    name = path;
  } else {
    directory = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

// Makes the file at `path` the user's alone and puts its bytes on the disk.
bool SealFile(const std::string &path, std::string &error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    error = Reason("the written file cannot be opened again");
    return false;
  }
  struct stat info {};
  bool sealed = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (!sealed)
    error = "the writer left no regular file";
  else if (::fchmod(fd, 0600) != 0 || ::fsync(fd) != 0) {
    error = Reason("the file cannot be put on the disk");
    sealed = false;
  }
  ::close(fd);
  return sealed;
}

// After the rename the directory entry is put on the disk too; a failure there does
// not undo the file, which is in place already.
void SyncDirectory(const std::string &directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool WriteAllTo(const std::string &path, const void *bytes, size_t size, std::string &error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  const auto *at = static_cast<const uint8_t *>(bytes);
  size_t left = size;
  while (left > 0) {
    const ssize_t wrote = ::write(fd, at, left);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      error = wrote < 0 ? std::strerror(errno) : "the file could not be written whole";
      ::close(fd);
      return false;
    }
    at += wrote;
    left -= static_cast<size_t>(wrote);
  }
  if (::close(fd) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

bool WriteFileAtomically(const std::string &target,
                         const std::function<bool(const std::string &path, std::string &error)> &writer,
                         std::string &error) {
  std::string directory, name;
  SplitPath(target, directory, name);
  if (name.empty() || name == "." || name == "..") {
    error = "it names a directory, not a file";
    return false;
  }
  struct stat existing {};
  if (::lstat(target.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
    error = "it is a directory";
    return false;
  }
  // A directory of its own (0700, a name nobody else can have taken) beside the target:
  // whatever the writer does with its path, nobody else can reach the file meanwhile.
  std::string scratch = (directory == "/" ? "" : directory) + "/." + name + ".pelkor-XXXXXX";
  if (::mkdtemp(scratch.data()) == nullptr) {
    error = Reason("no temporary file can be made in " + directory);
    return false;
  }
  const std::string temporary = scratch + "/" + name;
  bool done = writer(temporary, error) && SealFile(temporary, error);
  if (done && ::rename(temporary.c_str(), target.c_str()) != 0) {
    error = Reason("it cannot be put in place");
    done = false;
  }
  if (!done) ::unlink(temporary.c_str());
  ::rmdir(scratch.c_str());
  if (done) SyncDirectory(directory);
  return done;
}

bool WriteFileAtomically(const std::string &target, const std::string &bytes, std::string &error) {
  return WriteFileAtomically(
      target,
      [&](const std::string &path, std::string &why) { return WriteAllTo(path, bytes.data(), bytes.size(), why); },
      error);
}

bool WriteFileAtomically(const std::string &target, const std::vector<uint8_t> &bytes, std::string &error) {
  return WriteFileAtomically(
      target,
      [&](const std::string &path, std::string &why) { return WriteAllTo(path, bytes.data(), bytes.size(), why); },
      error);
}

}  // namespace pelkor_tool
