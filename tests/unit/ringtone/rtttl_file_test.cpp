// Reading and writing RTTTL files, and the text form of single notes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pelkor16.h>

#include <cstring>
#include <string>
#include <vector>

#include "ringtone/ringtone_model.h"
#include "ringtone/rtttl_file.h"
#include "ringtone_test_support.h"

namespace {

using pelkor::CurrentRingtone;
using pelkor::Ringtone;
using pelkor::RingtoneNote;
using ringtone_test::ReadWholeFile;
using ringtone_test::SamplePath;
using ringtone_test::ScratchDir;

using namespace std::string_literals;

constexpr std::uint16_t kPause = 255;

std::vector<std::pair<int, int>> NotesOf(const Ringtone &tone) {
  std::vector<std::pair<int, int>> notes;
  for (std::size_t i = 0; i < tone.noteCount; ++i) notes.emplace_back(tone.notes[i].duration, tone.notes[i].pitch);
  return notes;
}

using Notes = std::vector<std::pair<int, int>>;

class RtttlFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ringtone_test::ResetCurrentRingtone(); }
};

TEST_F(RtttlFileTest, ReadsTheTestTone) {
  ASSERT_EQ(ringtone_readfile(SamplePath("test.rtttl").c_str()), 0);
  const Ringtone &tone = CurrentRingtone();
  EXPECT_STREQ(tone.name, "Test");
  EXPECT_EQ(tone.defaultDuration, 32);
  EXPECT_EQ(tone.defaultScale, 1);
  EXPECT_EQ(tone.tempo, 100);
  EXPECT_EQ(NotesOf(tone), (Notes{{16, 14}, {48, 18}, {64, 36}, {32, kPause}}));
}

TEST_F(RtttlFileTest, WritesTheTestToneBackAndReadsItAgainUnchanged) {
  ScratchDir scratch;
  ASSERT_EQ(ringtone_readfile(SamplePath("test.rtttl").c_str()), 0);
  const Ringtone original = CurrentRingtone();

  const std::string written = scratch.Path("out.rtttl");
  ASSERT_EQ(ringtone_writefile(written.c_str()), 0);
  // No line end after the last note; the pause keeps its own length, undotted.
  EXPECT_EQ(ReadWholeFile(written), "Test:d=4,o=5,b=100:8c5,4e.5,2g6,4p");

  ASSERT_EQ(ringtone_readfile(written.c_str()), 0);
  const Ringtone &again = CurrentRingtone();
  EXPECT_STREQ(again.name, original.name);
  EXPECT_EQ(again.tempo, original.tempo);
  EXPECT_EQ(again.defaultDuration, original.defaultDuration);
  EXPECT_EQ(again.defaultScale, original.defaultScale);
  EXPECT_EQ(NotesOf(again), NotesOf(original));
}

TEST_F(RtttlFileTest, SampleFilesCoverNamesSettingsAndSeparators) {
  // No name: the default one; the settings still apply.
  ASSERT_EQ(ringtone_readfile(SamplePath("unnamed.rtttl").c_str()), 0);
  EXPECT_STREQ(CurrentRingtone().name, "Velmora");
  EXPECT_EQ(CurrentRingtone().tempo, 140);
  EXPECT_EQ(NotesOf(CurrentRingtone()), (Notes{{16, 14}, {16, 18}, {16, 22}}));

  // No usable settings: tempo 63, quarter notes, octave 6 (scale 2).
  ASSERT_EQ(ringtone_readfile(SamplePath("no_settings.rtttl").c_str()), 0);
  EXPECT_STREQ(CurrentRingtone().name, "Bare");
  EXPECT_EQ(CurrentRingtone().tempo, 63);
  EXPECT_EQ(CurrentRingtone().defaultDuration, 32);
  EXPECT_EQ(CurrentRingtone().defaultScale, 2);
  EXPECT_EQ(NotesOf(CurrentRingtone()), (Notes{{32, 28}, {16, 30}, {32, 46}}));

  // Trailing commas, blanks and line ends make no extra notes.
  ASSERT_EQ(ringtone_readfile(SamplePath("trailing.rtttl").c_str()), 0);
  EXPECT_STREQ(CurrentRingtone().name, "Tail");
  EXPECT_EQ(NotesOf(CurrentRingtone()), (Notes{{16, 14}, {16, 16}, {16, 18}}));

  // Line breaks between notes separate them like commas.
  ASSERT_EQ(ringtone_readfile(SamplePath("multiline.rtttl").c_str()), 0);
  EXPECT_EQ(CurrentRingtone().tempo, 180);
  EXPECT_EQ(NotesOf(CurrentRingtone()), (Notes{{32, 28}, {8, 30}, {96, 18}}));
}

struct NoteCase {
  const char *text;
  int duration;
  int pitch;
};

// Defaults of a freshly read file: quarter notes in scale 2.
TEST(ParseNoteTest, ReadsEveryPartOfANote) {
  const NoteCase cases[] = {
      {"c", 32, 28},       {"8c", 16, 28},
      {"e#", 32, 34},  // e# is f
      {"b#5", 32, 28},     {"h", 32, 40},
      {"H5", 32, 26},      {"B5", 32, 26},
      {"x", 32, kPause},   {"p", 32, kPause},
      {"8p6", 16, kPause}, {"p#", 32, kPause},
      {"4c..", 72, 28},    {"4c5.", 48, 14},
      {"8c.5.", 36, 14},   {"2g#7", 64, 51},
      {"3c", 32, 28},      {"99999999999999c", 32, 28},  // unknown lengths fall back
      {"", 32, kPause},    {"16", 8, kPause},
      {"c10", 32, 14},  // octaves are one digit: "1", the "0" is left over
      {"c9", 32, 70},      {"C0", 32, 0},
  };
  for (const NoteCase &c : cases) {
    Ringtone tone{};
    pelkor::ResetRingtoneForReading(tone);
    pelkor::ParseNote(tone, 7, c.text);
    EXPECT_EQ(tone.notes[7].duration, c.duration) << c.text;
    EXPECT_EQ(tone.notes[7].pitch, c.pitch) << c.text;
  }
}

TEST(FormatNoteTest, WritesLengthNameDotsAndOctave) {
  struct FormatCase {
    RingtoneNote note;
    const char *text;
  };
  const FormatCase cases[] = {
      {{16, 14}, "8c5"},    {{48, 18}, "4e.5"},    {{72, 0}, "4c..4"}, {{192, 43}, "1c#.7"},
      {{32, kPause}, "4p"}, {{24, kPause}, "8p."}, {{21, 40}, "4h6"},  // two thirds: no dots
      {{100, 30}, "0d6"},   {{0, 49}, "0f#7"},     {{32, 62}, "4f4"},  // scale 4 wraps to octave 4
      {{32, 5}, "4p"},                                                 // an unused step reads back as a pause
  };
  for (const FormatCase &c : cases) {
    Ringtone tone{};
    tone.notes[3] = c.note;
    char text[64];
    EXPECT_EQ(pelkor::FormatNote(tone, 3, text, sizeof text), std::strlen(c.text));
    EXPECT_STREQ(text, c.text);
  }
}

TEST_F(RtttlFileTest, KeepsAtMostTwoHundredNotes) {
  ScratchDir scratch;
  std::string text = "Long:d=8,o=5,b=120:";
  for (int i = 0; i < 250; ++i) text += i == 199 ? "2g," : "c,";
  ASSERT_EQ(ringtone_readfile(scratch.Write("long.rtttl", text).c_str()), 0);
  EXPECT_EQ(ringtone_getnotes(), 200);
  EXPECT_EQ(CurrentRingtone().notes[199].duration, 64);
  EXPECT_EQ(CurrentRingtone().notes[199].pitch, 22);
  EXPECT_EQ(CurrentRingtone().notes[200].duration, 0);  // nothing written past the limit
}

TEST_F(RtttlFileTest, SettingsAreBoundedByTheirFields) {
  Ringtone tone{};
  pelkor::ParseRtttlText("Big:b=99999999999,o=12,d=7:c", tone);
  EXPECT_EQ(tone.tempo, 65535);
  EXPECT_EQ(tone.defaultScale, 5);     // octave 9 at most
  EXPECT_EQ(tone.defaultDuration, 0);  // an unknown length is no length
  EXPECT_EQ(tone.notes[0].pitch, 70);

  // A setting without a number leaves its default; pieces are cut at blanks.
  pelkor::ParseRtttlText("Spaced:b =100,o=,d:c", tone);
  EXPECT_EQ(tone.tempo, 63);
  EXPECT_EQ(tone.defaultScale, 2);
  EXPECT_EQ(tone.defaultDuration, 32);

  // Upper-case letters work too.
  pelkor::ParseRtttlText("Caps:D=16,O=4,B=200:c", tone);
  EXPECT_EQ(tone.tempo, 200);
  EXPECT_EQ(NotesOf(tone), (Notes{{8, 0}}));
}

TEST_F(RtttlFileTest, NamesAreCutAndColonRunsCountAsOne) {
  Ringtone tone{};
  pelkor::ParseRtttlText("ANameOfTwentyFiveLetters!:b=90:c", tone);
  EXPECT_STREQ(tone.name, "ANameOfTwentyFiveLe");
  EXPECT_EQ(tone.tempo, 90);

  pelkor::ParseRtttlText("::Lead:b=90:c", tone);
  EXPECT_STREQ(tone.name, "Velmora");  // leading colons: no name

  pelkor::ParseRtttlText("Only a name", tone);
  EXPECT_STREQ(tone.name, "Only a name");
  EXPECT_EQ(tone.tempo, 63);
  EXPECT_EQ(tone.noteCount, 0);

  pelkor::ParseRtttlText("", tone);
  EXPECT_STREQ(tone.name, "");
  EXPECT_EQ(tone.noteCount, 0);
}

TEST_F(RtttlFileTest, UntrustedFilesNeverOverrunOrCrash) {
  ScratchDir scratch;

  // A megabyte on one line: only the first 2000 bytes count.
  std::string huge = "Huge:d=4,o=5,b=100:";
  while (huge.size() < 1000000) huge += "16c#.6,";
  ASSERT_EQ(ringtone_readfile(scratch.Write("huge.rtttl", huge).c_str()), 0);
  EXPECT_EQ(ringtone_getnotes(), 200);

  // A single piece far longer than any field.
  const std::string longName(5000, 'N');
  ASSERT_EQ(ringtone_readfile(scratch.Write("longname.rtttl", longName).c_str()), 0);
  EXPECT_EQ(std::strlen(CurrentRingtone().name), 19u);
  EXPECT_EQ(ringtone_getnotes(), 0);

  // Binary junk, zero bytes included: whatever it reads as, it stays in bounds.
  std::string junk;
  for (int i = 0; i < 3000; ++i) junk += static_cast<char>((i * 73 + 11) % 256);
  ASSERT_EQ(ringtone_readfile(scratch.Write("junk.bin", junk).c_str()), 0);
  EXPECT_LE(ringtone_getnotes(), 200);
  for (int i = 0; i < ringtone_getnotes(); ++i) {
    const int pitch = CurrentRingtone().notes[i].pitch;
    EXPECT_TRUE(pitch == kPause || pitch <= 6 * 14) << pitch;  // b# of scale 5 at most
  }

  // Text after a zero byte is not read as notes.
  ASSERT_EQ(ringtone_readfile(scratch.Write("nul.rtttl", "Z:b=70:c,d\0,e,f,g"s).c_str()), 0);
  EXPECT_EQ(ringtone_getnotes(), 2);
}

TEST_F(RtttlFileTest, FilesThatCannotBeOpenedLeaveEverythingAsItWas) {
  ScratchDir scratch;
  ringtone_setname("Kept");
  ringtone_setnote(0, "8c5");

  EXPECT_EQ(ringtone_readfile(scratch.Path("missing.rtttl").c_str()), -1);
  EXPECT_EQ(ringtone_readfile(scratch.Dir().c_str()), -1);
  EXPECT_EQ(ringtone_readfile(nullptr), -1);
  EXPECT_STREQ(CurrentRingtone().name, "Kept");
  EXPECT_EQ(ringtone_getnotes(), 1);

  EXPECT_EQ(ringtone_writefile(scratch.Path("no/such/dir/out.rtttl").c_str()), -1);
  EXPECT_EQ(ringtone_writefile(nullptr), -1);
}

}  // namespace
