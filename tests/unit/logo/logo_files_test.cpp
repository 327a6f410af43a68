// Reading and writing logo files through logo_readfile / logo_writefile.
#include <functional>
#include <string>

#include "logo_test_support.h"

namespace {

using logo_test::append;
using logo_test::Bytes;
using logo_test::LogoTest;
using logo_test::readBytes;
using logo_test::sameRecord;
using logo_test::writeBytes;
using pelkor::SharedLogo;

using LogoFilesTest = LogoTest;

// An irregular pattern, so swapped rows, columns or bit orders show up.
bool patternPixel(int x, int y) { return (x * 7 + y * 3) % 5 == 0 || x == y; }

void drawPattern(int width, int height) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) logo_setpixel(x, y, patternPixel(x, y) ? 0 : 1);
}

void expectPattern(int width, int height) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) ASSERT_EQ(logo_getpixel(x, y), patternPixel(x, y) ? 0 : 1) << x << "," << y;
}

Bytes head(const Bytes &bytes, std::size_t count) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

Bytes nolHeader(unsigned country, unsigned network, unsigned width, unsigned height) {
  Bytes b = {'N', 'O', 'L', 0x00, 0x01, 0x00};
  for (unsigned v : {country, network, width, height}) {
    b.push_back(static_cast<uint8_t>(v & 0xFF));
    b.push_back(static_cast<uint8_t>(v >> 8));
  }
  b.insert(b.end(), {0x01, 0x00, 0x01, 0x00, 0x53, 0x00});
  return b;
}

Bytes nggHeader(unsigned width, unsigned height) {
  return {'N',  'G',  'G',  0x00, 0x01, 0x00, static_cast<uint8_t>(width), 0x00, static_cast<uint8_t>(height), 0x00,
          0x01, 0x00, 0x01, 0x00, 0x4A, 0x00};
}

// An NLM file whose image rows are drawn by `on(x, y)`.
Bytes nlmFile(uint8_t type, uint8_t width, uint8_t height, const Bytes &skipped,
              const std::function<bool(int, int)> &on) {
  Bytes b = {'N', 'L', 'M', 0x20, 0x01, type};
  b.insert(b.end(), skipped.begin(), skipped.end());
  b.insert(b.end(), {width, height, 0x01});
  const int row_bytes = (width + 7) / 8;
  for (int y = 0; y < height; ++y)
    for (int byte = 0; byte < row_bytes; ++byte) {
      uint8_t value = 0;
      for (int bit = 0; bit < 8; ++bit)
        if (byte * 8 + bit < width && on(byte * 8 + bit, y)) value |= static_cast<uint8_t>(0x80 >> bit);
      b.push_back(value);
    }
  return b;
}

TEST_F(LogoFilesTest, OperatorLogoRoundTripsThroughNol) {
  logo_setdata(PELKOR_LOGO_OPERATOR, "244 05");
  drawPattern(72, 14);
  const pelkor::LogoBitmap written = SharedLogo();
  ASSERT_EQ(logo_writefile(file("op.nol").c_str()), PELKOR_OK);

  const Bytes bytes = readBytes(file("op.nol"));
  ASSERT_EQ(bytes.size(), 20u + 126 * 8);
  EXPECT_EQ(head(bytes, 20), nolHeader(244, 5, 72, 14));
  std::string first_byte(bytes.begin() + 20, bytes.begin() + 28);
  std::string expected_bits;
  for (int bit = 7; bit >= 0; --bit) expected_bits += (written.bitmap[0] >> bit) & 1 ? '1' : '0';
  EXPECT_EQ(first_byte, expected_bits);

  logo_setdata(PELKOR_LOGO_NONE, nullptr);
  ASSERT_EQ(logo_readfile(file("op.nol").c_str()), PELKOR_OK);
  EXPECT_TRUE(sameRecord(SharedLogo(), written));
  expectPattern(72, 14);
}

TEST_F(LogoFilesTest, NolNetworkNumbers) {
  // Read as "%d %02d"; the network number's high byte is not part of it.
  Bytes file_bytes = nolHeader(262, 0x0107, 8, 1);
  append(file_bytes, "10000001");
  writeBytes(file("n.nol"), file_bytes);
  ASSERT_EQ(logo_readfile(file("n.nol").c_str()), PELKOR_OK);
  EXPECT_STREQ(SharedLogo().networkCode, "262 07");
  EXPECT_EQ(SharedLogo().bitmap[0], 0x81);
  EXPECT_EQ(SharedLogo().size, 1);
  EXPECT_EQ(SharedLogo().width, 8);

  // A code that is not two numbers is written as 0 and 0, which reads back.
  logo_setdata(PELKOR_LOGO_OPERATOR, "ab");
  ASSERT_EQ(logo_writefile(file("z.nol").c_str()), PELKOR_OK);
  EXPECT_EQ(head(readBytes(file("z.nol")), 20), nolHeader(0, 0, 72, 14));
  ASSERT_EQ(logo_readfile(file("z.nol").c_str()), PELKOR_OK);
  EXPECT_STREQ(SharedLogo().networkCode, "0 00");
}

TEST_F(LogoFilesTest, CallerLogoRoundTripsThroughNggAndKeepsWhatNggDoesNotCarry) {
  logo_setdata(PELKOR_LOGO_CALLER, nullptr);
  drawPattern(72, 14);
  ASSERT_EQ(logo_writefile(file("g.ngg").c_str()), PELKOR_OK);
  const Bytes bytes = readBytes(file("g.ngg"));
  ASSERT_EQ(bytes.size(), 16u + 126 * 8);
  EXPECT_EQ(head(bytes, 16), nggHeader(72, 14));

  logo_setdata(PELKOR_LOGO_STARTUP, "310 26");
  logo_setgroupname("Friends");
  logo_setgroupnumber(2);
  ASSERT_EQ(logo_readfile(file("g.ngg").c_str()), PELKOR_OK);
  int32_t kind = 0, width = 0, height = 0;
  logo_getdata(&kind, &width, &height, nullptr, 0);
  EXPECT_EQ(kind, PELKOR_LOGO_CALLER);
  EXPECT_EQ(width, 72);
  EXPECT_EQ(height, 14);
  expectPattern(72, 14);
  EXPECT_STREQ(SharedLogo().groupName, "Friends");
  EXPECT_EQ(logo_getgroupnumber(), 2);
  EXPECT_STREQ(SharedLogo().networkCode, "310 26");
}

TEST_F(LogoFilesTest, TextBitsOtherThanOneReadAsClear) {
  Bytes file_bytes = nggHeader(16, 1);
  append(file_bytes, "1x1 10a0");
  append(file_bytes, "00000001");
  writeBytes(file("odd.ngg"), file_bytes);
  ASSERT_EQ(logo_readfile(file("odd.ngg").c_str()), PELKOR_OK);
  EXPECT_EQ(SharedLogo().bitmap[0], 0xA8);
  EXPECT_EQ(SharedLogo().bitmap[1], 0x01);
}

TEST_F(LogoFilesTest, StartupLogoRoundTripsThroughForm) {
  logo_setdata(PELKOR_LOGO_STARTUP, nullptr);
  drawPattern(84, 48);
  const pelkor::LogoBitmap written = SharedLogo();
  ASSERT_EQ(logo_writefile(file("s.form").c_str()), PELKOR_OK);

  const Bytes bytes = readBytes(file("s.form"));
  ASSERT_EQ(bytes.size(), 580u);
  const Bytes start = {0x46, 0x4F, 0x52, 0x4D, 0x02, 0x3E, 0x56, 0x45, 0x52, 0x53, 0x00, 0x2A};
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 12), start);
  EXPECT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 54), "Nokia Startup Logo Editor File Version 1.0");
  EXPECT_EQ(std::string(bytes.begin() + 54, bytes.begin() + 64), std::string("MODL\0\x04"
                                                                             "6100",
                                                                             10));
  EXPECT_EQ(Bytes(bytes.begin() + 64, bytes.begin() + 70), (Bytes{'N', 'S', 'L', 'D', 0x01, 0xF8}));
  EXPECT_EQ(0, std::memcmp(bytes.data() + 70, written.bitmap, 504));
  EXPECT_EQ(Bytes(bytes.begin() + 574, bytes.end()), (Bytes{'C', 'O', 'M', 'M', 0x00, 0x00}));

  logo_setdata(PELKOR_LOGO_NONE, nullptr);
  ASSERT_EQ(logo_readfile(file("s.form").c_str()), PELKOR_OK);
  EXPECT_TRUE(sameRecord(SharedLogo(), written));
}

TEST_F(LogoFilesTest, FormReaderFindsTheLogoChunkAfterOtherChunks) {
  Bytes b;
  append(b, "FORM");
  b.insert(b.end(), {0x02, 0x10});
  append(b, "XTRA");
  b.insert(b.end(), {0x00, 0x05, 'N', 'S', 'x', 'L', '!'});  // "NS" alone is no mark
  append(b, "NNSLD");                                        // the mark may follow a partial match
  b.insert(b.end(), {0x01, 0xF8});
  for (int i = 0; i < 504; ++i) b.push_back(static_cast<uint8_t>(i * 13));
  writeBytes(file("x.form"), b);

  logo_setdata(PELKOR_LOGO_CALLER, nullptr);
  ASSERT_EQ(logo_readfile(file("x.form").c_str()), PELKOR_OK);
  EXPECT_EQ(SharedLogo().kind, PELKOR_LOGO_STARTUP);
  EXPECT_EQ(SharedLogo().size, 504);
  EXPECT_EQ(SharedLogo().width, 84);
  EXPECT_EQ(SharedLogo().height, 48);
  for (int i = 0; i < 504; ++i) ASSERT_EQ(SharedLogo().bitmap[i], static_cast<uint8_t>(i * 13));
}

TEST_F(LogoFilesTest, WritersKeepHeaderAndPixelDataConsistent) {
  // A start-up record holding fewer meaningful bytes (say, after a text-only download)
  // still gives a full, readable FORM file.
  logo_setdata(PELKOR_LOGO_STARTUP, nullptr);
  std::memset(SharedLogo().bitmap, 0xFF, 504);
  SharedLogo().size = 10;
  ASSERT_EQ(logo_writefile(file("short.form").c_str()), PELKOR_OK);
  const Bytes form = readBytes(file("short.form"));
  ASSERT_EQ(form.size(), 580u);
  EXPECT_EQ(form[70 + 9], 0xFF);
  EXPECT_EQ(form[70 + 10], 0x00);
  ASSERT_EQ(logo_readfile(file("short.form").c_str()), PELKOR_OK);

  logo_setdata(PELKOR_LOGO_OPERATOR, "244 05");
  SharedLogo().size = 3;
  ASSERT_EQ(logo_writefile(file("short.nol").c_str()), PELKOR_OK);
  EXPECT_EQ(readBytes(file("short.nol")).size(), 1028u);
  ASSERT_EQ(logo_readfile(file("short.nol").c_str()), PELKOR_OK);
  EXPECT_EQ(SharedLogo().size, 126);
  EXPECT_EQ(SharedLogo().bitmap[2], 0xFF);
  EXPECT_EQ(SharedLogo().bitmap[3], 0x00);
}

TEST_F(LogoFilesTest, WritingOtherKindsLeavesAnEmptyFile) {
  for (int32_t kind : {0, 4, -1}) {
    logo_setdata(kind, nullptr);
    writeBytes(file("k"), Bytes(50, 'z'));
    EXPECT_EQ(logo_writefile(file("k").c_str()), PELKOR_OK) << kind;
    EXPECT_TRUE(readBytes(file("k")).empty()) << kind;
  }
  EXPECT_EQ(logo_writefile(file("missing/dir/k.nol").c_str()), PELKOR_NOT_FOUND);
  EXPECT_EQ(logo_writefile(nullptr), PELKOR_NOT_FOUND);
  EXPECT_EQ(logo_writefile(""), PELKOR_NOT_FOUND);
}

TEST_F(LogoFilesTest, NlmStartupLogoIsConvertedToBands) {
  const Bytes skipped = {0x41, 0x7F, 0x02};  // two bytes with bit 6 set, then the last
  writeBytes(file("s.nlm"), nlmFile(2, 84, 48, skipped, patternPixel));
  logo_setdata(PELKOR_LOGO_OPERATOR, "244 05");
  ASSERT_EQ(logo_readfile(file("s.nlm").c_str()), PELKOR_OK);
  EXPECT_EQ(SharedLogo().kind, PELKOR_LOGO_STARTUP);
  EXPECT_EQ(SharedLogo().size, 504);
  EXPECT_STREQ(SharedLogo().networkCode, "244 05");
  expectPattern(84, 48);

  writeBytes(file("corner.nlm"), nlmFile(2, 84, 48, {0x00}, [](int x, int y) { return x == 83 && y == 47; }));
  ASSERT_EQ(logo_readfile(file("corner.nlm").c_str()), PELKOR_OK);
  EXPECT_EQ(SharedLogo().bitmap[503], 0x80);
  EXPECT_EQ(SharedLogo().bitmap[502], 0x00);

  // 84-pixel rows are a start-up logo whatever the type byte says.
  writeBytes(file("t.nlm"), nlmFile(1, 84, 48, {0x00}, patternPixel));
  logo_setdata(PELKOR_LOGO_CALLER, nullptr);
  ASSERT_EQ(logo_readfile(file("t.nlm").c_str()), PELKOR_OK);
  EXPECT_EQ(SharedLogo().kind, PELKOR_LOGO_STARTUP);
  expectPattern(84, 48);
}

TEST_F(LogoFilesTest, NlmSmallLogoIsCopiedUnchanged) {
  const Bytes nlm = nlmFile(0, 72, 14, {0x00}, patternPixel);
  writeBytes(file("o.nlm"), nlm);
  ASSERT_EQ(logo_readfile(file("o.nlm").c_str()), PELKOR_OK);
  EXPECT_EQ(SharedLogo().kind, PELKOR_LOGO_OPERATOR);
  EXPECT_EQ(SharedLogo().size, 126);
  EXPECT_EQ(0, std::memcmp(SharedLogo().bitmap, nlm.data() + 10, 126));
  expectPattern(72, 14);

  writeBytes(file("c.nlm"), nlmFile(1, 72, 14, {0x00}, patternPixel));
  ASSERT_EQ(logo_readfile(file("c.nlm").c_str()), PELKOR_OK);
  EXPECT_EQ(SharedLogo().kind, PELKOR_LOGO_CALLER);
}

TEST_F(LogoFilesTest, RejectedFilesLeaveTheRecordAsItWas) {
  Bytes nol_short_bits = nolHeader(244, 5, 72, 14);
  append(nol_short_bits, std::string(126 * 8 - 1, '1'));
  Bytes ngg_short_bits = nggHeader(72, 14);
  append(ngg_short_bits, std::string(100, '0'));
  Bytes form_short_chunk;
  append(form_short_chunk, "FORM\x02\x3ENSLD\x01\xF8");
  form_short_chunk.resize(form_short_chunk.size() + 503, 0xAA);
  Bytes form_without_chunk;
  append(form_without_chunk, "FORM\x02\x3EVERS");
  form_without_chunk.resize(600, 'N');
  // Oversized images come with all their pixel data: only the bound can refuse them.
  Bytes nol_oversized = nolHeader(244, 5, 255, 255);
  append(nol_oversized, std::string(255 * 255 / 8 * 8, '1'));
  Bytes ngg_oversized = nggHeader(200, 21);
  append(ngg_oversized, std::string(200 * 21 / 8 * 8, '1'));
  Bytes nol_country_1000 = nolHeader(1000, 5, 8, 1);
  append(nol_country_1000, "11111111");
  Bytes nol_network_100 = nolHeader(244, 100, 8, 1);
  append(nol_network_100, "11111111");
  Bytes nlm_truncated_image = nlmFile(0, 72, 14, {0x00}, patternPixel);
  nlm_truncated_image.pop_back();
  Bytes nlm_ends_in_skip = {'N', 'L', 'M', 0x20, 0x01, 0x00, 0x40, 0x41, 0x7F};
  Bytes nlm_ends_after_skip = {'N', 'L', 'M', 0x20, 0x01, 0x00, 0x00, 72, 14};

  const std::pair<const char *, Bytes> cases[] = {
      {"empty", {}},
      {"two bytes", {'N', 'O'}},
      {"windows bitmap", {'B', 'M', 0x36, 0x10, 0, 0, 0, 0, 0, 0}},
      {"lower-case mark", {'n', 'o', 'l', 0, 1, 0, 0, 0, 0, 0}},
      {"nol short header", head(nolHeader(244, 5, 72, 14), 19)},
      {"nol short bits", nol_short_bits},
      {"nol image larger than the bitmap", nol_oversized},
      {"nol country code 1000", nol_country_1000},
      {"nol network code 100", nol_network_100},
      {"ngg short header", head(nggHeader(72, 14), 10)},
      {"ngg short bits", ngg_short_bits},
      {"ngg image larger than the bitmap", ngg_oversized},
      {"form without logo chunk", form_without_chunk},
      {"form logo chunk short", form_short_chunk},
      {"nlm short header", {'N', 'L', 'M', 0x20, 0x01}},
      {"nlm unknown type", nlmFile(3, 72, 14, {0x00}, patternPixel)},
      {"nlm ends in skip", nlm_ends_in_skip},
      {"nlm ends after skip", nlm_ends_after_skip},
      {"nlm truncated image", nlm_truncated_image},
      {"nlm start-up logo taller than 48", nlmFile(2, 84, 56, {0x00}, patternPixel)},
      {"nlm image larger than the bitmap", nlmFile(1, 255, 16, {0x00}, patternPixel)},
  };

  logo_setdata(PELKOR_LOGO_CALLER, "244 05");
  logo_setgroupname("Colleagues");
  logo_setgroupnumber(5);
  SharedLogo().ringtoneId = 9;
  drawPattern(72, 14);
  const pelkor::LogoBitmap before = SharedLogo();

  for (const auto &[name, bytes] : cases) {
    writeBytes(file("bad"), bytes);
    EXPECT_EQ(logo_readfile(file("bad").c_str()), PELKOR_NOT_FOUND) << name;
    EXPECT_TRUE(sameRecord(SharedLogo(), before)) << name;
  }
  EXPECT_EQ(logo_readfile(file("does-not-exist").c_str()), PELKOR_NOT_FOUND);
  EXPECT_EQ(logo_readfile(nullptr), PELKOR_NOT_FOUND);
  EXPECT_EQ(logo_readfile(dir_.string().c_str()), PELKOR_NOT_FOUND);  // a directory
  EXPECT_TRUE(sameRecord(SharedLogo(), before));
}

TEST_F(LogoFilesTest, NlmGeometryThatDoesNotFitItsKindIsRefused) {
  logo_setdata(PELKOR_LOGO_OPERATOR, "244 05");
  drawPattern(72, 14);
  const pelkor::LogoBitmap before = SharedLogo();
  // A start-up type with no pixels at all, with small-logo rows, or with too many rows;
  // any type with an image too small to fill one byte.
  const Bytes empty_startup = {'N', 'L', 'M', 0x20, 0x01, 0x02, 0x00, 0x00, 0xFF, 0xFF};
  const Bytes cases[] = {empty_startup, nlmFile(2, 72, 14, {0x00}, patternPixel),
                         nlmFile(2, 84, 49, {0x00}, patternPixel), nlmFile(0, 0, 14, {0x00}, patternPixel),
                         nlmFile(1, 1, 7, {0x00}, patternPixel)};
  for (const Bytes &nlm : cases) {
    writeBytes(file("bad.nlm"), nlm);
    EXPECT_EQ(logo_readfile(file("bad.nlm").c_str()), PELKOR_NOT_FOUND);
    EXPECT_TRUE(sameRecord(SharedLogo(), before));
  }
  // A start-up picture shorter than the screen would fill bands its size does not
  // count, and lose their pixels when saved or uploaded.
  for (uint8_t height : {1, 10, 40}) {
    writeBytes(file("short.nlm"), nlmFile(2, 84, height, {0x00}, patternPixel));
    EXPECT_EQ(logo_readfile(file("short.nlm").c_str()), PELKOR_NOT_FOUND) << int{height};
    EXPECT_TRUE(sameRecord(SharedLogo(), before));
  }
}

TEST_F(LogoFilesTest, LargestAcceptedImagesFillTheBitmapExactly) {
  // 252 x 16 = 504 bytes: a NOL of that size fits, one more row does not.
  Bytes fits = nolHeader(244, 5, 252, 16);
  append(fits, std::string(504 * 8, '1'));
  writeBytes(file("fits.nol"), fits);
  ASSERT_EQ(logo_readfile(file("fits.nol").c_str()), PELKOR_OK);
  EXPECT_EQ(SharedLogo().size, 504);
  EXPECT_EQ(SharedLogo().bitmap[503], 0xFF);

  // A 1-pixel-wide NLM column reads 255 padded row bytes but stores only 31.
  logo_setdata(PELKOR_LOGO_NONE, nullptr);
  writeBytes(file("narrow.nlm"), nlmFile(0, 1, 255, {0x00}, [](int, int) { return true; }));
  ASSERT_EQ(logo_readfile(file("narrow.nlm").c_str()), PELKOR_OK);
  EXPECT_EQ(SharedLogo().size, 31);
  EXPECT_EQ(SharedLogo().bitmap[30], 0x80);
  EXPECT_EQ(SharedLogo().bitmap[31], 0x00);
}

TEST_F(LogoFilesTest, ExampleLogosLoad) {
  const std::string examples = PELKOR_TEST_DATA "/../../examples/logos/";
  struct Case {
    const char *name;
    int32_t kind;
    unsigned size;
  };
  for (const Case c : {Case{"operator.nol", 2, 126}, Case{"caller_group.ngg", 3, 126}, Case{"startup.form", 1, 504}}) {
    SCOPED_TRACE(c.name);
    logo_setdata(PELKOR_LOGO_NONE, nullptr);
    ASSERT_EQ(logo_readfile((examples + c.name).c_str()), PELKOR_OK);
    EXPECT_EQ(SharedLogo().kind, c.kind);
    EXPECT_EQ(SharedLogo().size, c.size);
    int drawn = 0;
    for (unsigned i = 0; i < c.size; ++i) drawn += SharedLogo().bitmap[i] != 0;
    EXPECT_GT(drawn, 10);
    // What the library writes back is byte for byte the example.
    ASSERT_EQ(logo_writefile(file("again").c_str()), PELKOR_OK);
    EXPECT_EQ(readBytes(file("again")), readBytes(examples + c.name));
  }
}

}  // namespace
