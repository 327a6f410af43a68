#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pelkor_tool {

namespace {

std::string Reason(int error) { return error == ENOENT ? "no such file" : std::strerror(error); }

}  // namespace

std::string InputFileProblem(const std::string &path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return Reason(errno);
  if (S_ISDIR(info.st_mode)) return "it is a folder, not a file";
  if (::access(path.c_str(), R_OK) != 0) return Reason(errno);
  return "";
}

bool ReadInputFile(const std::string &path, std::string &text, std::string &problem) {
  problem = InputFileProblem(path);
  if (!problem.empty()) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    problem = Reason(errno);
    return false;
  }
  text.clear();
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      problem = errno == EISDIR ? "it is a folder, not a file" : Reason(errno);
      ::close(fd);
      return false;
    }
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return true;
}

}  // namespace pelkor_tool
