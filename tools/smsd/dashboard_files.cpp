#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <vector>

#include "dashboard.h"

namespace smsd {
namespace {

constexpr off_t kMaxFile = 4 << 20;  // the dashboard's largest file is a few kilobytes

// Only these are served, each with its type; anything else is not the dashboard's.
const char *ContentTypeOf(const std::string &name) {
  static const std::pair<const char *, const char *> kTypes[] = {
      {".html", "text/html; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".svg", "image/svg+xml"},
      {".png", "image/png"},
      {".ico", "image/x-icon"},
      {".json", "application/json"},
      {".txt", "text/plain; charset=utf-8"},
      {".woff2", "font/woff2"},
  };
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return nullptr;
  const std::string extension = name.substr(dot);
  for (const auto &[ext, type] : kTypes)
    if (extension == ext) return type;
  return nullptr;
}

bool IsSafeSegment(const std::string &segment) {
  if (segment.empty() || segment.size() > 100 || segment[0] == '.') return false;
  for (unsigned char c : segment)
    if (!std::isalnum(c) && c != '_' && c != '-' && c != '.') return false;
  return true;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;
  int get() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

bool IsDirectory(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string DashboardDirectory(const std::string &configured) {
  if (!configured.empty()) return configured;
  if (IsDirectory(PELKOR_SMSD_DASHBOARD_INSTALLED)) return PELKOR_SMSD_DASHBOARD_INSTALLED;
  return PELKOR_SMSD_DASHBOARD_SOURCE;
}

std::optional<DashboardFile> ReadDashboardFile(const std::string &root, const std::string &relative) {
  std::vector<std::string> segments;
  size_t at = 0;
  while (at <= relative.size()) {
    const size_t end = std::min(relative.find('/', at), relative.size());
    segments.push_back(relative.substr(at, end - at));
    at = end + 1;
  }
  if (segments.size() > 8) return std::nullopt;
  for (const std::string &segment : segments)
    if (!IsSafeSegment(segment)) return std::nullopt;
  const char *type = ContentTypeOf(segments.back());
  if (!type) return std::nullopt;

  // One directory at a time, none of them a link, so that nothing outside the root can
  // be reached whatever the tree holds. The root itself is the operator's choice.
  Fd dir(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return std::nullopt;
  for (size_t i = 0; i + 1 < segments.size(); ++i) {
    dir.reset(::openat(dir.get(), segments[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.get() < 0) return std::nullopt;
  }
  // O_NONBLOCK: a FIFO put in the tree must not hold the request open.
  Fd file(::openat(dir.get(), segments.back().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (file.get() < 0 || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFile)
    return std::nullopt;
  DashboardFile result;
  result.contentType = type;
  result.body.resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  while (got < result.body.size()) {
    const ssize_t n = ::read(file.get(), &result.body[got], result.body.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  result.body.resize(got);
  return result;
}

void SetDashboardHeaders(httplib::Response &response) {
  response.set_header("Content-Security-Policy",
                      "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
                      "object-src 'none'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'");
  response.set_header("X-Frame-Options", "DENY");
  response.set_header("Referrer-Policy", "no-referrer");
}

}  // namespace smsd
