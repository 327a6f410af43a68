// Ringtones from RTTTL files to the phone: uploaded in both message forms and sent by
// SMS, then read back by the simulated phone's own decoder, note for note.
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <nlohmann/json.hpp>

#include "frame_codec.h"
#include "sim_fixture.h"

namespace pelkor_it {
namespace {

using nlohmann::json;

// A note as the phone decodes it: name, scale (none for a pause), length and its specifier.
struct PhoneNote {
  std::string note;
  int scale;
  std::string duration;
  std::string specifier;
};

std::vector<PhoneNote> NotesOf(const json &tone) {
  std::vector<PhoneNote> notes;
  for (const json &n : tone.value("notes", json::array()))
    notes.push_back({n.value("note", ""), n.value("scale", -1), n.value("duration", ""), n.value("specifier", "")});
  return notes;
}

bool operator==(const PhoneNote &a, const PhoneNote &b) {
  return a.note == b.note && a.scale == b.scale && a.duration == b.duration && a.specifier == b.specifier;
}

std::ostream &operator<<(std::ostream &out, const PhoneNote &n) {
  return out << n.duration << ' ' << n.note << ' ' << n.scale << ' ' << n.specifier;
}

// The RTTTL text of a decoded note, as the library writes its notes ("8c#.5", "4p").
std::string RtttlText(const PhoneNote &n) {
  static const std::vector<std::string> kDurations = {"whole",  "half",      "quarter",
                                                      "eighth", "sixteenth", "thirty-second"};
  std::string text;
  for (size_t i = 0; i < kDurations.size(); ++i)
    if (kDurations[i] == n.duration) text = std::to_string(1 << i);
  text += n.note == "pause" ? "p" : n.note == "b" ? "h" : n.note;
  if (n.specifier == "dotted") text += ".";
  if (n.specifier == "double-dotted") text += "..";
  if (n.note != "pause") text += std::to_string(n.scale + 4);
  return text;
}

// Round: 125 bpm (in the phone's tempo table), eighth notes in octave 5 by default.
constexpr const char *kRoundTune = "Round:d=8,o=5,b=125:c,4d#.,16f#6,2p,a7,32h4,4c..,e,1g#.,p";
const std::vector<PhoneNote> kRoundNotes = {{"c", 1, "eighth", "none"},           {"d#", 1, "quarter", "dotted"},
                                            {"f#", 2, "sixteenth", "none"},       {"pause", -1, "half", "none"},
                                            {"a", 3, "eighth", "none"},           {"b", 0, "thirty-second", "none"},
                                            {"c", 1, "quarter", "double-dotted"}, {"e", 1, "eighth", "none"},
                                            {"g#", 1, "whole", "dotted"},         {"pause", -1, "eighth", "none"}};

class Ringtones : public SimulatedPhone {
 protected:
  void SetUp() override {
    SimulatedPhone::SetUp();
    dir_ = std::filesystem::temp_directory_path() / ("pelkor-ringtone-it-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    SimulatedPhone::TearDown();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  void LoadTune(const std::string &rtttl) {
    const std::string path = (dir_ / "tune.rtttl").string();
    std::ofstream(path) << rtttl;
    ASSERT_EQ(ringtone_readfile(path.c_str()), PELKOR_OK);
  }

  void Open() { ASSERT_EQ(init(port_.c_str(), PELKOR_CONNECTION_CABLE), PELKOR_OK); }

  json Uploads() const { return sim_.State()["ringtone"]["uploads"]; }

  // The upload the phone kept as its count-th, once it has arrived.
  json WaitForUpload(size_t count) {
    EXPECT_TRUE(sim_.WaitFor([&] { return Uploads().size() >= count; }, 3s));
    const json uploads = Uploads();
    return uploads.size() >= count ? uploads[count - 1] : json::object();
  }

  // The ringing tone the phone decoded from the last SMS it was handed.
  json LastSmsTone(json &sms) const {
    sms = sim_.State()["sms"]["sent"].back();
    EXPECT_TRUE(sms.contains("content")) << sms.dump();
    return sms.value("content", json::object());
  }

  // The current tone's notes in RTTTL text, as the library reports them.
  static std::vector<std::string> LibraryNotes() {
    std::vector<std::string> notes;
    for (int32_t i = 0; i < ringtone_getnotes(); ++i) {
      char text[64];
      ringtone_getnote(i, text, sizeof text);
      notes.emplace_back(text);
    }
    return notes;
  }

  std::filesystem::path dir_;
};

void ExpectRoundTune(const json &tone) {
  EXPECT_FALSE(tone.contains("error")) << tone.dump();
  EXPECT_EQ(tone.value("name", ""), "Round");
  EXPECT_EQ(tone.value("tempo", 0), 125);
  EXPECT_EQ(tone.value("style", ""), "continuous");
  EXPECT_EQ(NotesOf(tone), kRoundNotes);
}

TEST_F(Ringtones, BothUploadFormsReachThePhoneAsTheFileHadIt) {
  LoadTune(kRoundTune);
  Open();

  ASSERT_EQ(ringtone_upload(0), PELKOR_OK);
  json upload = WaitForUpload(1);
  EXPECT_EQ(upload.value("message_type", 0), 0x12);
  EXPECT_FALSE(upload.contains("error")) << upload.dump();
  ExpectRoundTune(upload["tone"]);
  EXPECT_EQ(sim_.State()["ringtone"]["tone"], upload["tone"]);

  ASSERT_EQ(ringtone_upload(1), PELKOR_OK);
  upload = WaitForUpload(2);
  EXPECT_EQ(upload.value("message_type", 0), 0x05);
  EXPECT_FALSE(upload.contains("error")) << upload.dump();
  ExpectRoundTune(upload["tone"]);
}

TEST_F(Ringtones, SmsCarriesTheToneToPort1581) {
  LoadTune(kRoundTune);
  Open();
  ASSERT_EQ(ringtone_sendsms("+1234567"), PELKOR_OK);

  json sms;
  const json tone = LastSmsTone(sms);
  EXPECT_EQ(sms.value("outcome", ""), "sent");
  EXPECT_EQ(sms.value("destination", ""), "+1234567");
  EXPECT_EQ(sms.value("coding", ""), "8bit");
  EXPECT_EQ(sms.value("dcs", 0), 0xF5);
  EXPECT_EQ(sms.value("class", -1), 1);
  EXPECT_EQ(sms["ports"], (json{{"destination", 0x1581}, {"source", 0x1581}}));
  EXPECT_EQ(sms.value("header", ""), "06 05 04 15 81 15 81");
  ExpectRoundTune(tone);
  // No upload went to the phone itself.
  EXPECT_TRUE(Uploads().empty());
}

TEST_F(Ringtones, ExampleTunesSurviveEveryRouteNoteForNote) {
  Open();
  size_t uploads = 0;
  for (const char *file : {"ode_to_joy.rtttl", "scale.rtttl"}) {
    SCOPED_TRACE(file);
    ASSERT_EQ(ringtone_readfile((std::string(PELKOR_EXAMPLES) + "/" + file).c_str()), PELKOR_OK);
    const std::vector<std::string> expected = LibraryNotes();
    ASSERT_FALSE(expected.empty());
    char name[32];
    ringtone_getname(name, sizeof name);

    std::vector<json> tones;
    for (int32_t variant : {0, 1}) {
      ASSERT_EQ(ringtone_upload(variant), PELKOR_OK);
      tones.push_back(WaitForUpload(++uploads)["tone"]);
    }
    ASSERT_EQ(ringtone_sendsms("+4479460001"), PELKOR_OK);
    json sms;
    tones.push_back(LastSmsTone(sms));

    for (const json &tone : tones) {
      EXPECT_FALSE(tone.contains("error")) << tone.dump();
      EXPECT_EQ(tone.value("name", ""), name);
      std::vector<std::string> decoded;
      for (const PhoneNote &note : NotesOf(tone)) decoded.push_back(RtttlText(note));
      EXPECT_EQ(decoded, expected);
    }
  }
  // Ode to Joy asks for 120 bpm: the phone plays the next tempo it has, 125.
  EXPECT_EQ(Uploads()[0]["tone"].value("tempo", 0), 125);
  EXPECT_EQ(Uploads()[2]["tone"].value("tempo", 0), 140);
}

TEST_F(Ringtones, ToneTooLongForItsMessageIsNotSent) {
  // 200 notes of one scale: about 300 bytes of tone, more than any of the messages holds.
  std::string tune = "Long:d=16,o=5,b=200:c";
  for (int i = 1; i < 200; ++i) tune += i % 2 ? ",d" : ",e";
  LoadTune(tune);
  ASSERT_EQ(ringtone_getnotes(), 200);
  Open();
  sim_.ClearRecords();

  EXPECT_EQ(ringtone_upload(0), PELKOR_ERR_REFUSED);
  EXPECT_EQ(ringtone_upload(1), PELKOR_ERR_REFUSED);
  EXPECT_EQ(ringtone_sendsms("+1234567"), PELKOR_ERR_REFUSED);

  // 82 quarter notes still fit the uploads but not an SMS beside its port header.
  ASSERT_EQ(ringtone_setnotes(82), PELKOR_OK);
  EXPECT_EQ(ringtone_sendsms("+1234567"), PELKOR_ERR_REFUSED);
  ASSERT_EQ(ringtone_upload(1), PELKOR_OK);  // the message that did go out marks the end
  ASSERT_TRUE(WaitForMessages(0x05, 1, 3s));

  EXPECT_TRUE(MessagesOfType(0x12).empty());
  EXPECT_EQ(MessagesOfType(0x05).size(), 1u);
  EXPECT_TRUE(MessagesOfType(0x02).empty());
  EXPECT_TRUE(sim_.State()["sms"]["sent"].empty());
  ASSERT_EQ(Uploads().size(), 1u);
  EXPECT_EQ(NotesOf(Uploads()[0]["tone"]).size(), 82u);
}

}  // namespace
}  // namespace pelkor_it
