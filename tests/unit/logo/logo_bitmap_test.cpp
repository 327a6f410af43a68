// The shared logo record through its exported accessors.
#include <string>

#include "logo_test_support.h"

namespace {

using logo_test::LogoTest;
using logo_test::sameRecord;
using pelkor::SharedLogo;

using LogoBitmapTest = LogoTest;

struct Reported {
  int32_t kind = -99, width = -99, height = -99;
};

Reported reported() {
  Reported r;
  EXPECT_EQ(logo_getdata(&r.kind, &r.width, &r.height, nullptr, 0), PELKOR_OK);
  return r;
}

TEST_F(LogoBitmapTest, GeometryFollowsTheKind) {
  struct Case {
    int32_t kind, width, height, size;
  };
  for (const Case c : {Case{1, 84, 48, 504}, Case{2, 72, 14, 126}, Case{3, 72, 14, 126}, Case{7, 72, 14, 126},
                       Case{-5, 72, 14, 126}, Case{0, 0, 0, 0}}) {
    SCOPED_TRACE(c.kind);
    EXPECT_EQ(logo_setdata(c.kind, nullptr), PELKOR_OK);
    const Reported r = reported();
    EXPECT_EQ(r.kind, c.kind);
    EXPECT_EQ(r.width, c.width);
    EXPECT_EQ(r.height, c.height);
    EXPECT_EQ(SharedLogo().size, c.size);
  }
}

TEST_F(LogoBitmapTest, StartupPixelsAreColumnBytesInEightRowBands) {
  logo_setdata(PELKOR_LOGO_STARTUP, nullptr);
  EXPECT_EQ(logo_setpixel(83, 47, 0), PELKOR_OK);
  EXPECT_EQ(SharedLogo().bitmap[503], 0x80);
  logo_setpixel(0, 0, 0);
  EXPECT_EQ(SharedLogo().bitmap[0], 0x01);
  logo_setpixel(5, 9, 0);  // second band, second row
  EXPECT_EQ(SharedLogo().bitmap[5 + 84], 0x02);
  EXPECT_EQ(logo_getpixel(5, 9), 0);
  EXPECT_EQ(logo_getpixel(5, 10), 1);

  logo_setpixel(5, 9, 1);  // any non-zero value clears
  EXPECT_EQ(SharedLogo().bitmap[5 + 84], 0x00);
  logo_setpixel(0, 0, -3);
  EXPECT_EQ(SharedLogo().bitmap[0], 0x00);
}

TEST_F(LogoBitmapTest, SmallLogoPixelsAreRowMajorMostSignificantBitFirst) {
  logo_setdata(PELKOR_LOGO_NONE, nullptr);
  logo_setdata(PELKOR_LOGO_OPERATOR, nullptr);
  logo_setpixel(0, 0, 0);
  logo_setpixel(71, 13, 0);
  logo_setpixel(9, 3, 0);
  EXPECT_EQ(SharedLogo().bitmap[0], 0x80);
  EXPECT_EQ(SharedLogo().bitmap[125], 0x01);
  EXPECT_EQ(SharedLogo().bitmap[3 * 9 + 1], 0x40);
  EXPECT_EQ(logo_getpixel(0, 0), 0);
  EXPECT_EQ(logo_getpixel(71, 13), 0);
  EXPECT_EQ(logo_getpixel(1, 0), 1);
}

TEST_F(LogoBitmapTest, PointsOutsideTheFixedGeometryAreIgnored) {
  logo_setdata(PELKOR_LOGO_STARTUP, nullptr);
  const pelkor::LogoBitmap before = SharedLogo();
  for (const auto &[x, y] :
       {std::pair{84, 0}, std::pair{0, 48}, std::pair{-1, 0}, std::pair{0, -1}, std::pair{INT32_MIN, INT32_MAX}}) {
    EXPECT_EQ(logo_setpixel(x, y, 0), PELKOR_OK);
    EXPECT_EQ(logo_getpixel(x, y), 0) << x << "," << y;
  }
  EXPECT_TRUE(sameRecord(before, SharedLogo()));

  // The checks use the kind's dimensions, not width/height left by a file or download.
  logo_setdata(PELKOR_LOGO_CALLER, nullptr);
  SharedLogo().width = 8;
  SharedLogo().height = 1;
  logo_setpixel(71, 13, 0);
  EXPECT_EQ(logo_getpixel(71, 13), 0);
  logo_setpixel(72, 0, 0);
  EXPECT_EQ(SharedLogo().bitmap[9], 0x00);  // would be the next row's first byte
}

TEST_F(LogoBitmapTest, ChangingKindReinterpretsTheSameBytes) {
  logo_setdata(PELKOR_LOGO_CALLER, "244 05");
  logo_setgroupname("Family");
  logo_setgroupnumber(4);
  logo_setpixel(0, 0, 0);

  logo_setdata(PELKOR_LOGO_STARTUP, nullptr);
  EXPECT_EQ(SharedLogo().bitmap[0], 0x80);
  EXPECT_EQ(logo_getpixel(0, 7), 0);  // bit 7 of byte 0 is row 7 of column 0 in bands
  EXPECT_EQ(logo_getpixel(0, 0), 1);
  EXPECT_STREQ(SharedLogo().groupName, "Family");
  EXPECT_EQ(logo_getgroupnumber(), 4);
  EXPECT_STREQ(SharedLogo().networkCode, "244 05");  // null code keeps the old one
}

TEST_F(LogoBitmapTest, KindZeroClearsEveryField) {
  logo_setdata(PELKOR_LOGO_CALLER, "244 05");
  logo_setgroupname("Friends");
  logo_setgroupnumber(3);
  SharedLogo().ringtoneId = 17;
  for (int x = 0; x < 72; x += 3) logo_setpixel(x, x % 14, 0);

  logo_setdata(PELKOR_LOGO_NONE, nullptr);
  EXPECT_TRUE(sameRecord(SharedLogo(), pelkor::LogoBitmap{}));
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 72; ++x) ASSERT_EQ(logo_getpixel(x, y), 1);
  char name[8] = "xxxxxxx";
  logo_getgroupname(name, sizeof name);
  EXPECT_STREQ(name, "");
}

TEST_F(LogoBitmapTest, NetworkCodeIsCutOnTheWayInAndOut) {
  logo_setdata(PELKOR_LOGO_OPERATOR, "1234567890");
  EXPECT_STREQ(SharedLogo().networkCode, "123456");

  char buffer[3] = {'x', 'x', 'x'};
  EXPECT_EQ(logo_getdata(nullptr, nullptr, nullptr, buffer, sizeof buffer), PELKOR_OK);
  EXPECT_STREQ(buffer, "12");

  char wide[16];
  std::memset(wide, 'x', sizeof wide);
  logo_getdata(nullptr, nullptr, nullptr, wide, sizeof wide);
  EXPECT_STREQ(wide, "123456");
  for (std::size_t i = 6; i < sizeof wide; ++i) EXPECT_EQ(wide[i], '\0') << i;

  // Shorter code replaces the longer one entirely.
  logo_setdata(PELKOR_LOGO_OPERATOR, "9");
  EXPECT_EQ(std::string(SharedLogo().networkCode, 7), std::string("9\0\0\0\0\0\0", 7));

  // Unusable buffers are skipped.
  char untouched[4] = {'a', 'b', 'c', 'd'};
  logo_getdata(nullptr, nullptr, nullptr, untouched, 0);
  logo_getdata(nullptr, nullptr, nullptr, untouched, -4);
  EXPECT_EQ(untouched[0], 'a');
  logo_getdata(nullptr, nullptr, nullptr, nullptr, 10);
}

TEST_F(LogoBitmapTest, GroupNumberKeepsTheLowByteAndReadsBackSigned) {
  const std::pair<int32_t, int32_t> cases[] = {{300, 44}, {200, 65480}, {127, 127}, {128, 65408}, {-1, 65535}, {0, 0}};
  for (const auto &[stored, read_back] : cases) {
    logo_setgroupnumber(stored);
    EXPECT_EQ(logo_getgroupnumber(), read_back) << stored;
  }
  logo_setgroupnumber(300);
  EXPECT_EQ(SharedLogo().groupNumber, 44);
}

TEST_F(LogoBitmapTest, GroupNameIsCutToItsFieldAndToTheCallersBuffer) {
  logo_setgroupname(std::string(300, 'n').c_str());
  EXPECT_EQ(std::string(SharedLogo().groupName), std::string(255, 'n'));

  logo_setgroupname("Work");
  char small[4] = {'x', 'x', 'x', 'x'};
  logo_getgroupname(small, sizeof small);
  EXPECT_STREQ(small, "Wor");

  char full[300];
  logo_setgroupname(std::string(300, 'q').c_str());
  logo_getgroupname(full, sizeof full);
  EXPECT_EQ(std::string(full), std::string(255, 'q'));

  logo_setgroupname(nullptr);
  EXPECT_STREQ(SharedLogo().groupName, "");

  char untouched[2] = {'a', 'b'};
  logo_getgroupname(untouched, 0);
  logo_getgroupname(untouched, -1);
  logo_getgroupname(nullptr, 5);
  EXPECT_EQ(untouched[0], 'a');
}

}  // namespace
