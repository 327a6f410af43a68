// The tool's own encoders and checks, without a phone: argument checks, the MIDI file
// writer and the image fitting behind logo conversions.
#include <gtest/gtest.h>

#include "logo_image.h"
#include "midi_writer.h"
#include "terminal_text.h"
#include "validate.h"

namespace pelkor_tool {
namespace {

TEST(CalendarTime, RealDatesOnlyWithFourDigitYears) {
  CalendarTime t;
  EXPECT_EQ(ParseCalendarTime("2028-02-29 23:59:59", t), "");
  EXPECT_EQ((std::vector<int>{t.year, t.month, t.day, t.hour, t.minute, t.second}),
            (std::vector<int>{2028, 2, 29, 23, 59, 59}));
  EXPECT_EQ(ParseCalendarTime("2001-3-5T7:05", t), "");
  EXPECT_EQ((std::vector<int>{t.month, t.day, t.hour, t.minute, t.second}), (std::vector<int>{3, 5, 7, 5, 0}));
  EXPECT_EQ(ParseCalendarTime("2000-02-29 00:00", t), "");  // divisible by 400: a leap year
  EXPECT_EQ(ParseCalendarTime("2100-02-28 00:00", t).find("outside 1980-2099") != std::string::npos, true);
  EXPECT_EQ(ParseCalendarTime("2027-02-29 10:00", t), "2027-02 has no day 29");
  EXPECT_EQ(ParseCalendarTime("2026-04-31 10:00", t), "2026-04 has no day 31");
  EXPECT_EQ(ParseCalendarTime("2026-00-10 10:00", t), "there is no month 0");
  EXPECT_NE(ParseCalendarTime("26-01-01 10:00", t).find("four digits"), std::string::npos);
  for (const char *bad : {"2026-01-01", "2026-01-01 10", "2026-01-01 10:00 ", "2026-01-01 10:00:5x", "2026/01/01 10:00",
                          "", "now please"})
    EXPECT_NE(ParseCalendarTime(bad, t), "") << bad;
  EXPECT_NE(ParseCalendarTime("2026-01-01 24:00", t).find("no time of day 24:00"), std::string::npos);
  EXPECT_NE(ParseCalendarTime("2026-01-01 10:60", t).find("no time of day"), std::string::npos);
}

TEST(ClockTime, HoursAndMinutes) {
  int h = -1, m = -1;
  EXPECT_EQ(ParseClockTime("7:05", h, m), "");
  EXPECT_EQ(h * 100 + m, 705);
  EXPECT_EQ(ParseClockTime("23:59", h, m), "");
  for (const char *bad : {"24:00", "12:60", "12:5", "12:05:00", "noon", ":30", "123:00"})
    EXPECT_NE(ParseClockTime(bad, h, m), "") << bad;
}

TEST(Numbers, DialSmsAndDtmf) {
  EXPECT_EQ(CheckDialNumber("+4912345678"), "");
  EXPECT_EQ(CheckDialNumber("*#06#"), "");
  for (const char *bad : {"", "+", "12+3", "0800 123", "12a"}) EXPECT_NE(CheckDialNumber(bad), "") << bad;
  EXPECT_EQ(CheckDialNumber(std::string(49, '1')), "");
  EXPECT_NE(CheckDialNumber(std::string(50, '1')), "");
  EXPECT_EQ(CheckSmsNumber("+4912345678"), "");
  EXPECT_EQ(CheckSmsNumber(std::string(20, '9')), "");
  for (const std::string &bad :
       {std::string(""), std::string("+"), std::string(21, '9'), std::string("*100#"), std::string("+49-123")})
    EXPECT_NE(CheckSmsNumber(bad), "") << bad;
  EXPECT_EQ(CheckDtmf("0123456789*#ABCDabcd"), "");
  EXPECT_EQ(CheckDtmf("12e"), "'e' is not a DTMF digit: use 0-9, A-D, * and #");
  EXPECT_NE(CheckDtmf(std::string(59, '1')), "");
  EXPECT_NE(CheckDtmf(""), "");
}

TEST(Ranges, NetworkCodesAndScreens) {
  EXPECT_EQ(CheckRange("the volume", 255, 0, 255), "");
  EXPECT_EQ(CheckRange("the volume", 256, 0, 255), "the volume 256 is outside 0-255");
  EXPECT_EQ(CheckRange("the frequency", 19, 20, 20000, "Hz"), "the frequency 19 Hz is outside 20-20000 Hz");
  std::string code;
  for (const char *good : {"26201", "262 01", "262-01"}) {
    EXPECT_EQ(ParseNetworkCode(good, code), "") << good;
    EXPECT_EQ(code, "262 01");
  }
  for (const char *bad : {"2620", "262 1", "26 201", "262  01", "262 01 ", "abcde", "2620a"})
    EXPECT_NE(ParseNetworkCode(bad, code), "") << bad;
  for (const char *good : {"next", "field", "devel", "off", "reset", "0", "255", "07"})
    EXPECT_EQ(CheckMonitorScreen(good), "") << good;
  for (const char *bad : {"256", "1000", "-1", "Field", "", "1a"}) EXPECT_NE(CheckMonitorScreen(bad), "") << bad;
}

// The track bytes after the fixed header, the name, tempo and instrument events.
std::vector<uint8_t> Events(const std::vector<uint8_t> &file, size_t nameLength) {
  const size_t start = 22 + 4 + nameLength + 7 + 3;
  return std::vector<uint8_t>(file.begin() + static_cast<long>(start), file.end());
}

TEST(MidiFile, HeaderTempoAndVariableLengthTimes) {
  const std::vector<uint8_t> file = StandardMidiFile({{69, 480}, {-1, 0x4000}, {60, 0x7F}}, 120, "ab", 5);
  const std::vector<uint8_t> head = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
  ASSERT_GE(file.size(), head.size() + 4);
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 18), head);
  const uint32_t length = static_cast<uint32_t>(file[18] << 24 | file[19] << 16 | file[20] << 8 | file[21]);
  EXPECT_EQ(length, file.size() - 22);
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 22, file.begin() + 41),
            (std::vector<uint8_t>{0x00, 0xFF, 0x03, 0x02, 'a', 'b', 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00,
                                  0xC0, 0x05, 0x00, 0x90, 69}));
  // A4 for 480 ticks (83 60), a rest of 0x4000 ticks (81 80 00) before middle C for 127 (7F).
  EXPECT_EQ(Events(file, 2),
            (std::vector<uint8_t>{0x00, 0x90, 69,  100,  0x83, 0x60, 0x80, 69,   0,    0x81, 0x80, 0x00,
                                  0x90, 60,   100, 0x7F, 0x80, 60,   0,    0x00, 0xFF, 0x2F, 0x00}));
}

TEST(MidiFile, ClosingRestKeepsItsTime) {
  const std::vector<uint8_t> file = StandardMidiFile({{72, 240}, {-1, 0x3FFF}}, 140, "");
  const std::vector<uint8_t> tail = {0x80, 72, 0, 0xFF, 0x7F, 0xFF, 0x2F, 0x00};
  EXPECT_EQ(std::vector<uint8_t>(file.end() - 8, file.end()), tail);
}

GreyImage Solid(int width, int height, uint8_t grey) {
  return {width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height, grey)};
}

TEST(FitImage, SameSizeThresholdsAndOtherSizesAreCentred) {
  GreyImage image = Solid(4, 2, 127);
  image.pixels[1] = 128;
  const GreyImage same = FitImage(image, 4, 2);
  EXPECT_EQ(same.pixels, (std::vector<uint8_t>{0, 255, 0, 0, 0, 0, 0, 0}));
  // 2x1 black into 6x2: scale 1 (height-bound 2, width-bound 3), 4x2 in the middle.
  const GreyImage centred = FitImage(Solid(2, 1, 0), 6, 2);
  EXPECT_EQ(centred.pixels, (std::vector<uint8_t>{255, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0, 255}));
  // Halving averages 2x2 blocks: a block half dark (mean 127) is dark, a quarter dark is light.
  GreyImage checker = Solid(4, 2, 255);
  checker.pixels[0] = checker.pixels[4] = 0;  // left block: two of four dark
  checker.pixels[2] = 0;                      // right block: one of four dark
  EXPECT_EQ(FitImage(checker, 2, 1).pixels, (std::vector<uint8_t>{0, 255}));
}

TEST(LogoFileTypes, ByExtensionWhateverTheCase) {
  EXPECT_EQ(TypeFromExtension("a/b.NOL"), LogoFileType::kNol);
  EXPECT_EQ(TypeFromExtension("x.fml"), LogoFileType::kForm);
  EXPECT_EQ(TypeFromExtension("x.Form"), LogoFileType::kForm);
  EXPECT_EQ(TypeFromExtension("x.bmp"), LogoFileType::kBmp);
  EXPECT_EQ(TypeFromExtension("dir.png/file"), LogoFileType::kUnknown);
  EXPECT_EQ(TypeFromExtension("noextension"), LogoFileType::kUnknown);
}

}  // namespace
}  // namespace pelkor_tool

// Text for the terminal: what a terminal would act on is spelled out, the rest is kept.
TEST(ForTerminal, SpellsOutControlsAndKeepsTextAndLineBreaks) {
  using pelkor_tool::ForTerminal;
  EXPECT_EQ(ForTerminal("Grüße 日本 {x} \\ ~\nnext"), "Grüße 日本 {x} \\ ~\nnext");
  EXPECT_EQ(ForTerminal("\x1b[2J\x1b]0;t\x07\rA\tB\x7f"), "\\x1b[2J\\x1b]0;t\\x07\\rA\\tB\\x7f");
  // C1 controls, direction overrides and separators, written in UTF-8.
  EXPECT_EQ(ForTerminal("\xc2\x9b"
                        "31m \xe2\x80\xae \xe2\x81\xa6 \xe2\x80\xa8"),
            "\\u009b31m \\u202e \\u2066 \\u2028");
  // Bytes that are not UTF-8: a lone C1 byte, a cut sequence, an overlong form.
  EXPECT_EQ(ForTerminal("a\x9b"
                        "b\xe6\x97"
                        "c\xc0\xaf"),
            "a\\x9bb\\xe6\\x97c\\xc0\\xaf");
  EXPECT_EQ(ForTerminal(std::string("x\0y", 3)), "x\\x00y");
}
