#include <gtest/gtest.h>

#include <string>

#include "platform/posix/port_names.h"
#include "platform/win32/port_names.h"

namespace pelkor::platform {
namespace {

std::string Posix(const char *name) {
  char path[64] = {};
  return ResolvePortPath(name, path, sizeof path) ? path : "(refused)";
}

std::string Windows(const char *name, size_t size = 64) {
  char path[64] = {};
  return win32::ResolvePortPath(name, path, size) ? path : "(refused)";
}

TEST(PortNames, PosixMapsComNumbersPathsAndDeviceNames) {
  EXPECT_EQ(Posix("COM1"), "/dev/ttyS0");
  EXPECT_EQ(Posix("COM12"), "/dev/ttyS11");
  EXPECT_EQ(Posix("/dev/pts/7"), "/dev/pts/7");
  EXPECT_EQ(Posix("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(Posix("COM0"), "/dev/COM0");  // not a COM number: a device name like any other
  EXPECT_EQ(Posix(""), "(refused)");
}

TEST(PortNames, WindowsPutsEveryPortInTheDeviceNamespace) {
  EXPECT_EQ(Windows("COM1"), "\\\\.\\COM1");
  EXPECT_EQ(Windows("COM10"), "\\\\.\\COM10");  // COM10 and above open only this way
  EXPECT_EQ(Windows("COM255"), "\\\\.\\COM255");
  EXPECT_EQ(Windows("com3"), "\\\\.\\com3");
  EXPECT_EQ(Windows("CNCA0"), "\\\\.\\CNCA0");
  EXPECT_EQ(Windows("\\\\.\\COM4"), "\\\\.\\COM4");
  EXPECT_EQ(Windows(""), "(refused)");
  EXPECT_EQ(Windows(nullptr), "(refused)");
}

TEST(PortNames, WindowsRefusesANameThatDoesNotFit) {
  EXPECT_EQ(Windows("COM123", 11), "\\\\.\\COM123");
  EXPECT_EQ(Windows("COM123", 10), "(refused)");
}

}  // namespace
}  // namespace pelkor::platform
