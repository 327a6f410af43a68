#include "progress.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace pelkor_tool {

Progress::Progress(std::string what) : what_(std::move(what)) {
  if (!isatty(STDERR_FILENO)) return;
  thread_ = std::thread([this] {
    static const char spin[] = "|/-\\";
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; !done_; ++i) {
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::fprintf(stderr, "\r%c %s %.1f s ", spin[i % 4], what_.c_str(), seconds);
      std::fflush(stderr);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::fprintf(stderr, "\r\033[K");
  });
}

Progress::~Progress() { Done(); }

void Progress::Done() {
  done_ = true;
  if (thread_.joinable()) thread_.join();
}

}  // namespace pelkor_tool
