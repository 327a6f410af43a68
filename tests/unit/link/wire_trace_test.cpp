// The wire trace: one line per buffer written or frame received, a run of sync bytes
// written one at a time as one line.
#include "link/wire_trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace pelkor {
namespace {

std::vector<std::string> TraceLines(const std::string &path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// "hh:mm:ss.mmm tx  32: 55 55 ..." without its time stamp.
std::string WithoutTime(const std::string &line) { return line.size() > 13 ? line.substr(13) : line; }

class WireTrace : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "wire_trace_test.txt";
    std::remove(path_.c_str());
    ASSERT_EQ(SetWireTrace(path_.c_str()), 0);
  }
  void TearDown() override {
    SetWireTrace(nullptr);
    std::remove(path_.c_str());
  }
  std::string path_;
};

TEST_F(WireTrace, SyncBytesWrittenOneByOneMakeOneLineBeforeTheNextBuffer) {
  const uint8_t sync = 0x55, end = 0xC1;
  for (int i = 0; i < 32; ++i) TraceWire("tx", &sync, 1);
  TraceWire("tx", &end, 1);
  const uint8_t frame[] = {0x1E, 0x00, 0x0C, 0xD1};
  TraceWire("rx", frame, sizeof frame);
  SetWireTrace(nullptr);

  const std::vector<std::string> lines = TraceLines(path_);
  ASSERT_EQ(lines.size(), 3u);
  std::string run = "tx  32:";
  for (int i = 0; i < 32; ++i) run += " 55";
  EXPECT_EQ(WithoutTime(lines[0]), run);
  EXPECT_EQ(WithoutTime(lines[1]), "tx   1: C1");
  EXPECT_EQ(WithoutTime(lines[2]), "rx   4: 1E 00 0C D1");
  EXPECT_EQ(lines[0][2], ':');
  EXPECT_EQ(lines[0][8], '.');
}

TEST_F(WireTrace, ARunStillHeldWhenTheTraceStopsIsWrittenAndFramesWithSyncBytesStayWhole) {
  const uint8_t mixed[] = {0x55, 0x55, 0x1E};
  TraceWire("tx", mixed, sizeof mixed);
  const uint8_t received[] = {0x55, 0x55};
  TraceWire("rx", received, sizeof received);  // only outgoing runs are gathered
  const uint8_t sync = 0x55;
  TraceWire("tx", &sync, 1);
  TraceWire("tx", &sync, 1);
  SetWireTrace(nullptr);

  const std::vector<std::string> lines = TraceLines(path_);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(WithoutTime(lines[0]), "tx   3: 55 55 1E");
  EXPECT_EQ(WithoutTime(lines[1]), "rx   2: 55 55");
  EXPECT_EQ(WithoutTime(lines[2]), "tx   2: 55 55");
}

}  // namespace
}  // namespace pelkor
