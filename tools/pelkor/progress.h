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
  std::string what_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace pelkor_tool
