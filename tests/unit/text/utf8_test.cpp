// Latin-1 to and from UTF-8.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "text/utf8.h"

namespace {

using namespace pelkor;
using Bytes = std::vector<uint8_t>;

TEST(Utf8, Latin1BothWaysAndRefusedBeyondIt) {
  const Bytes latin = {'J', 0xFC, 'r', 'g', 'e', 'n'};
  EXPECT_EQ(DecodeLatin1(latin.data(), latin.size()), "Jürgen");
  std::string out;
  ASSERT_TRUE(EncodeLatin1("Jürgen", out));
  EXPECT_EQ(out, std::string(latin.begin(), latin.end()));
  EXPECT_FALSE(EncodeLatin1("€uro", out));
  EXPECT_FALSE(EncodeLatin1("日本", out));
  EXPECT_FALSE(EncodeLatin1("\xFC", out)) << "Latin-1 bytes are not UTF-8";
}

}  // namespace
