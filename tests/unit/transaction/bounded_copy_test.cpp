// Text into a host's buffer.
#include <gtest/gtest.h>

#include "transaction/bounded_copy.h"

namespace {

using namespace pelkor;

TEST(CopyToCaller, Utf8CutsBetweenCharacters) {
  char buffer[5];
  // 'a' 'b' and three bytes of the euro sign
  CopyToCaller(buffer, sizeof buffer, "ab€c", TextCut::kBetweenUtf8Characters);
  EXPECT_STREQ(buffer, "ab");
  CopyToCaller(buffer, sizeof buffer, "ab€", TextCut::kBetweenUtf8Characters);
  EXPECT_STREQ(buffer, "ab") << "four bytes of room take no three-byte character after two";
  CopyToCaller(buffer, sizeof buffer, "a€", TextCut::kBetweenUtf8Characters);
  EXPECT_STREQ(buffer, "a€");
}

}  // namespace
