// Helpers shared by the logo tests: a fresh shared record, record snapshots and
// scratch files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include <pelkor16.h>

#include "logo/logo_bitmap.h"

namespace logo_test {

using Bytes = std::vector<uint8_t>;

// Field-by-field equality (struct padding is not compared).
inline bool sameRecord(const pelkor::LogoBitmap &a, const pelkor::LogoBitmap &b) {
  return a.height == b.height && a.width == b.width && a.size == b.size && a.kind == b.kind &&
         std::memcmp(a.networkCode, b.networkCode, sizeof a.networkCode) == 0 &&
         std::memcmp(a.groupName, b.groupName, sizeof a.groupName) == 0 &&
         std::memcmp(a.bitmap, b.bitmap, sizeof a.bitmap) == 0 && a.groupNumber == b.groupNumber &&
         a.ringtoneId == b.ringtoneId;
}

inline Bytes readBytes(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::filesystem::path &path, const Bytes &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void append(Bytes &bytes, const std::string &text) { bytes.insert(bytes.end(), text.begin(), text.end()); }

// Every test starts from an empty shared record and gets its own directory.
class LogoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logo_setdata(PELKOR_LOGO_NONE, nullptr);
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("pelkor_logo_" + std::to_string(::getpid()) + "_" + info->test_suite_name() + "_" + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
    logo_setdata(PELKOR_LOGO_NONE, nullptr);
  }
  std::string file(const std::string &name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
};

}  // namespace logo_test
