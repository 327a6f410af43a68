#include <gtest/gtest.h>
#include <pelkor16.h>

extern "C" int pelkor_c_header_check(void);

TEST(PublicHeader, CompilesAsPlainCAndLinksAgainstTheLibrary) { EXPECT_EQ(pelkor_c_header_check(), PELKOR_OK); }
