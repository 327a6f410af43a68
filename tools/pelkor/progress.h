#pragma once
// A spinner with elapsed seconds on stderr while a long library call runs, shown only
// when stderr is a terminal; plain output stays plain when piped.
#include <atomic>
#include <string>
#include <thread>

namespace pelkor_tool {

class Progress {
 public:
  explicit Progress(std::string what);
  ~Progress();

 private:
  void Done();  // stops the spinner and clears its line

  std::string what_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// Runs one library call under a spinner that is gone before the caller prints anything.
template <typename Call>
auto Waiting(const std::string &what, Call call) {
  Progress progress(what);
  return call();
}

}  // namespace pelkor_tool
