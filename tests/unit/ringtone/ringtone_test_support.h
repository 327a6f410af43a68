// Helpers shared by the ringtone tests: sample files, scratch files and a fresh tone.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ringtone/ringtone_model.h"

namespace ringtone_test {

inline std::string SamplePath(const std::string &name) { return std::string(PELKOR_TEST_DATA) + "/ringtone/" + name; }

// A file in a per-test scratch directory, removed with the directory.
class ScratchDir {
 public:
  ScratchDir() {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("pelkor_ringtone_" + std::string(info->test_suite_name()) + "_" + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string Path(const std::string &name) const { return (dir_ / name).string(); }
  std::string Write(const std::string &name, const std::string &content) const {
    std::ofstream(Path(name), std::ios::binary) << content;
    return Path(name);
  }
  std::string Dir() const { return dir_.string(); }

 private:
  std::filesystem::path dir_;
};

inline std::string ReadWholeFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void ResetCurrentRingtone() { pelkor::CurrentRingtone() = pelkor::Ringtone{}; }

}  // namespace ringtone_test
