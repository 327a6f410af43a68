// Editing the in-memory tone through the exported functions.
#include <gtest/gtest.h>

#include <pelkor16.h>

#include <cstring>
#include <string>

#include "ringtone/ringtone_model.h"
#include "ringtone_test_support.h"

namespace {

using pelkor::CurrentRingtone;

std::string GetNote(int index) {
  char text[64];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(ringtone_getnote(index, text, sizeof text), 0);
  return text;
}

class NoteEditingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ringtone_test::ResetCurrentRingtone();
    // The defaults a file starts from, so that bare notes have a length and octave.
    pelkor::ResetRingtoneForReading(CurrentRingtone());
  }
};

TEST_F(NoteEditingTest, SettingNotesInOrderKeepsEveryNote) {
  EXPECT_EQ(ringtone_setnote(0, "8c5"), 0);
  EXPECT_EQ(ringtone_setnote(1, "4e.5"), 0);
  EXPECT_EQ(ringtone_setnote(2, "p"), 0);
  EXPECT_EQ(ringtone_getnotes(), 3);
  EXPECT_EQ(GetNote(0), "8c5");
  EXPECT_EQ(GetNote(1), "4e.5");
  EXPECT_EQ(GetNote(2), "4p");  // a pause has no octave
}

TEST_F(NoteEditingTest, SettingBeyondTheEndClearsTheGap) {
  ringtone_setnote(4, "2g6");  // leaves notes 0..3 cleared, 4 set
  ASSERT_EQ(ringtone_setnotes(3), 0);
  ringtone_setnote(5, "8d");
  EXPECT_EQ(ringtone_getnotes(), 6);
  for (int i = 3; i <= 4; ++i) {
    EXPECT_EQ(CurrentRingtone().notes[i].duration, 0) << i;
    EXPECT_EQ(CurrentRingtone().notes[i].pitch, 0) << i;
  }
  EXPECT_EQ(GetNote(5), "8d6");
}

TEST_F(NoteEditingTest, OutOfRangeIndexesChangeNothing) {
  ringtone_setnote(0, "8c5");
  EXPECT_EQ(ringtone_setnote(-1, "4d"), 0);
  EXPECT_EQ(ringtone_setnote(256, "4d"), 0);
  EXPECT_EQ(ringtone_getnotes(), 1);

  EXPECT_EQ(ringtone_setnote(255, "4d"), 0);  // the last slot is usable
  EXPECT_EQ(ringtone_getnotes(), 256);
  EXPECT_EQ(GetNote(255), "4d6");

  EXPECT_EQ(GetNote(256), "");
  EXPECT_EQ(GetNote(-5), "");
}

TEST_F(NoteEditingTest, NoteCountIsBoundedAndUncoversHeldNotes) {
  ringtone_setnote(0, "8c5");
  ringtone_setnote(1, "16a7");
  EXPECT_EQ(ringtone_setnotes(257), -1);
  EXPECT_EQ(ringtone_setnotes(-1), -1);
  EXPECT_EQ(ringtone_getnotes(), 2);

  EXPECT_EQ(ringtone_setnotes(1), 0);
  EXPECT_EQ(GetNote(1), "");  // out of use, not readable
  EXPECT_EQ(ringtone_setnotes(2), 0);
  EXPECT_EQ(GetNote(1), "16a7");  // back with what it held
  EXPECT_EQ(ringtone_setnotes(256), 0);
  EXPECT_EQ(ringtone_getnotes(), 256);
}

TEST_F(NoteEditingTest, NullAndShortBuffersAreHandled) {
  ringtone_setnote(0, nullptr);  // an empty note: a pause of the default length
  EXPECT_EQ(GetNote(0), "4p");

  ringtone_setnote(1, "8c#.5");
  char small[4];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(ringtone_getnote(1, small, sizeof small), 0);
  EXPECT_STREQ(small, "8c#");
  EXPECT_EQ(ringtone_getnote(1, nullptr, 10), 0);
  EXPECT_EQ(ringtone_getnote(1, small, 0), 0);
  EXPECT_EQ(ringtone_getname(nullptr, 10), 0);
  EXPECT_EQ(ringtone_getname(small, -3), 0);
}

TEST_F(NoteEditingTest, NameIsCutToNineteenCharacters) {
  EXPECT_EQ(ringtone_setname("TwentyFiveCharactersLong!"), 0);
  char name[32];
  EXPECT_EQ(ringtone_getname(name, sizeof name), 0);
  EXPECT_STREQ(name, "TwentyFiveCharacter");

  char shortBuffer[5];
  ringtone_getname(shortBuffer, sizeof shortBuffer);
  EXPECT_STREQ(shortBuffer, "Twen");

  ringtone_setname("Hi");
  ringtone_getname(name, sizeof name);
  EXPECT_STREQ(name, "Hi");
  EXPECT_EQ(CurrentRingtone().name[3], '\0');  // nothing left of the longer name

  ringtone_setname(nullptr);
  ringtone_getname(name, sizeof name);
  EXPECT_STREQ(name, "");
}

TEST_F(NoteEditingTest, TempoKeepsTheLowSixteenBits) {
  EXPECT_EQ(ringtone_settempo(120), 0);
  EXPECT_EQ(ringtone_gettempo(), 120);
  ringtone_settempo(70000);
  EXPECT_EQ(ringtone_gettempo(), 70000 - 65536);
  ringtone_settempo(-1);
  EXPECT_EQ(ringtone_gettempo(), 65535);
}

}  // namespace
