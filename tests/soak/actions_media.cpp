// Ringtone, logo and WAV actions: the library's editors, their files, uploads to the phone,
// downloads from it (also with a frame of the reply lost) and sends by SMS.
#include <sys/stat.h>

#include <string>

#include "soak.h"

namespace pelkor_soak {

using nlohmann::json;
using namespace std::chrono_literals;
namespace L = limits;

// ---- ringtones ----------------------------------------------------------------------------------

void Soak::MakeTone() {
  toneName_ = RandomText(static_cast<size_t>(Uniform(0, 15)), "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  toneNotes_ = Uniform(1, 40);
  const int tempos[] = {63, 80, 100, 125, 160, 200};
  const int tempo = tempos[Uniform(0, 5)];
  Call("ringtone_setname", L::kNoWait, L::Only({0}), toneName_, [&] { return ringtone_setname(toneName_.c_str()); });
  Call("ringtone_settempo", L::kNoWait, L::Only({0}), std::to_string(tempo), [&] { return ringtone_settempo(tempo); });
  Call("ringtone_setnotes", L::kNoWait, L::Only({0}), "0", [] { return ringtone_setnotes(0); });
  const char *durations[] = {"1", "2", "4", "8", "16", "32"};
  const char *steps[] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "h", "p"};
  for (int i = 0; i < toneNotes_; ++i) {
    std::string note = std::string(durations[Uniform(0, 5)]) + steps[Uniform(0, 12)];
    if (Chance(0.2)) note += ".";
    if (note.find('p') == std::string::npos) note += std::to_string(Uniform(4, 7));
    Call("ringtone_setnote", L::kNoWait, L::Only({0}), std::to_string(i) + "," + note,
         [&] { return ringtone_setnote(i, note.c_str()); });
  }
  const int32_t notes =
      Call("ringtone_getnotes", L::kNoWait, L::Between(0, 256), "", [] { return ringtone_getnotes(); });
  const int32_t gotTempo =
      Call("ringtone_gettempo", L::kNoWait, L::Between(0, 65535), "", [] { return ringtone_gettempo(); });
  if (notes != toneNotes_ || gotTempo != tempo)
    Fail("wrong answer", "the ringtone holds " + std::to_string(notes) + " notes at " + std::to_string(gotTempo) +
                             " bpm after setting " + std::to_string(toneNotes_) + " at " + std::to_string(tempo));
}

void Soak::RingtoneEdit() {
  MakeTone();
  char buffer[64];
  Call("ringtone_getname", L::kNoWait, L::Only({0}), "", [&] { return ringtone_getname(buffer, sizeof buffer); });
  if (toneName_ != buffer) Fail("wrong answer", "ringtone_getname gave '" + std::string(buffer) + "'");
  const int index = Uniform(0, toneNotes_);
  Call("ringtone_getnote", L::kNoWait, L::Only({0}), std::to_string(index),
       [&] { return ringtone_getnote(index, buffer, sizeof buffer); });
  Call("ringtone_setnotes", L::kNoWait, L::Only({-1}), "257", [] { return ringtone_setnotes(257); });
}

void Soak::RingtoneFiles() {
  MakeTone();
  const std::string file = tmp_ + "/tone.txt";
  Call("ringtone_writefile", L::kNoWait, L::Only({0}), file, [&] { return ringtone_writefile(file.c_str()); });
  Call("ringtone_readfile", L::kNoWait, L::Only({0}), file, [&] { return ringtone_readfile(file.c_str()); });
  const int32_t notes = ringtone_getnotes();
  if (notes != toneNotes_)
    Fail("wrong answer",
         "a ringtone of " + std::to_string(toneNotes_) + " notes read back with " + std::to_string(notes));
  const std::string missing = tmp_ + "/no-such-tone.txt";
  Call("ringtone_readfile", L::kNoWait, L::Only({-1}), missing, [&] { return ringtone_readfile(missing.c_str()); });
}

void Soak::RingtoneUpload() {
  if (Chance(0.5)) MakeTone();
  const int variant = Uniform(0, 1);
  if (Call("ringtone_upload", L::kNoWait, L::Only({0}), std::to_string(variant),
           [&] { return ringtone_upload(variant); }) == PELKOR_OK)
    ++writes_.ringtoneUploads;
}

void Soak::RingtoneSms() {
  MakeTone();
  SentSms sent;
  sent.via = "ringtone_sendsms";
  sent.destination = NextDestination();
  sent.content = {{"name", toneName_}, {"notes", toneNotes_}};
  sent.result = Call("ringtone_sendsms", L::kOneSms, L::Only({0, 4, 19, 22}), sent.destination,
                     [&] { return ringtone_sendsms(sent.destination.c_str()); });
  sms_.push_back(std::move(sent));
}

// ---- logos --------------------------------------------------------------------------------------

// A random picture in the library's logo of this kind; returns the bitmap the phone
// must end up with.
std::vector<uint8_t> Soak::MakeLogo(int kind) {
  const std::string network = kind == PELKOR_LOGO_OPERATOR ? "2" + RandomDigits(2) + " " + RandomDigits(2) : "";
  logo_setdata(0, nullptr);
  logo_setdata(kind, kind == PELKOR_LOGO_OPERATOR ? network.c_str() : nullptr);
  std::vector<uint8_t> bitmap(static_cast<size_t>(Width(kind) * Height(kind) / 8), 0);
  const int density = Uniform(1, 9);
  for (int y = 0; y < Height(kind); ++y)
    for (int x = 0; x < Width(kind); ++x) {
      const bool on = Uniform(0, 9) < density;
      logo_setpixel(x, y, on ? 0 : 1);
      if (on) {
        const auto [byte, bit] = BitOf(kind, x, y);
        bitmap[byte] |= static_cast<uint8_t>(1 << bit);
      }
    }
  return bitmap;
}

std::vector<uint8_t> Soak::LibraryBitmap(int kind) {
  std::vector<uint8_t> bitmap(static_cast<size_t>(Width(kind) * Height(kind) / 8), 0);
  for (int y = 0; y < Height(kind); ++y)
    for (int x = 0; x < Width(kind); ++x)
      if (logo_getpixel(x, y) == 0) {
        const auto [byte, bit] = BitOf(kind, x, y);
        bitmap[byte] |= static_cast<uint8_t>(1 << bit);
      }
  return bitmap;
}

void Soak::LogoEdit() {
  const int kind = Uniform(1, 3);
  Call("logo_setdata", L::kNoWait, L::Only({0}), std::to_string(kind), [&] { return logo_setdata(kind, "244 05"); });
  int32_t k = 0, w = 0, h = 0;
  char code[8];
  Call("logo_getdata", L::kNoWait, L::Only({0}), "", [&] { return logo_getdata(&k, &w, &h, code, sizeof code); });
  if (k != kind || w != Width(kind) || h != Height(kind) || std::string(code) != "244 05")
    Fail("wrong answer", "logo_getdata gave kind " + std::to_string(k) + ", " + std::to_string(w) + " x " +
                             std::to_string(h) + ", '" + code + "'");
  const int x = Uniform(-2, Width(kind) + 1), y = Uniform(-2, Height(kind) + 1);
  Call("logo_setpixel", L::kNoWait, L::Only({0}), std::to_string(x) + "," + std::to_string(y),
       [&] { return logo_setpixel(x, y, 0); });
  // Inside, the pixel was just drawn; outside there is none: 0 either way.
  Call("logo_getpixel", L::kNoWait, L::Only({0}), std::to_string(x) + "," + std::to_string(y),
       [&] { return logo_getpixel(x, y); });
  const int group = Uniform(0, 300);
  Call("logo_setgroupnumber", L::kNoWait, L::Only({0}), std::to_string(group), [&] {
    logo_setgroupnumber(group);
    return 0;
  });
  const int32_t gotGroup =
      Call("logo_getgroupnumber", L::kNoWait, L::Between(0, 65535), "", [] { return logo_getgroupnumber(); });
  const int low = group & 0xFF;
  if (gotGroup != (low < 128 ? low : 65536 - 256 + low))
    Fail("wrong answer", "logo_getgroupnumber gave " + std::to_string(gotGroup) + " for " + std::to_string(group));
  const std::string name = RandomText(static_cast<size_t>(Uniform(0, 30)));
  char buffer[300];
  Call("logo_setgroupname", L::kNoWait, L::Only({0}), name, [&] {
    logo_setgroupname(name.c_str());
    return 0;
  });
  Call("logo_getgroupname", L::kNoWait, L::Only({0}), "", [&] {
    logo_getgroupname(buffer, sizeof buffer);
    return 0;
  });
  if (name != buffer) Fail("wrong answer", "logo_getgroupname gave '" + std::string(buffer) + "'");
}

void Soak::LogoFiles() {
  const int kind = Uniform(1, 3);
  const std::vector<uint8_t> bitmap = MakeLogo(kind);
  const std::string file = tmp_ + "/logo.bin";
  Call("logo_writefile", L::kNoWait, L::Only({0}), file, [&] { return logo_writefile(file.c_str()); });
  logo_setdata(0, nullptr);
  Call("logo_readfile", L::kNoWait, L::Only({0}), file, [&] { return logo_readfile(file.c_str()); });
  if (LibraryBitmap(kind) != bitmap)
    Fail("wrong answer", "a logo of kind " + std::to_string(kind) + " read back altered");
}

void Soak::LogoUpload() {
  const int kind = Uniform(1, 3);
  const std::vector<uint8_t> bitmap = MakeLogo(kind);
  const int group = Uniform(0, 4);
  const std::string name = RandomText(static_cast<size_t>(Uniform(1, 20)));
  if (kind == PELKOR_LOGO_CALLER) {
    logo_setgroupnumber(group);
    logo_setgroupname(name.c_str());
  }
  char network[8] = {};
  logo_getdata(nullptr, nullptr, nullptr, network, sizeof network);
  const int32_t result = Call("logo_upload", L::kLogoUpload, L::Only({0, 4, 24}), "kind " + std::to_string(kind),
                              [] { return logo_upload(); });
  if (kind == PELKOR_LOGO_STARTUP) ++tally_.multiFrame["logo_uploads_in_five_frames"];
  if (result != PELKOR_OK) return;
  const json state = State();
  const std::string slot = LogoSlot(kind, group);
  const std::vector<uint8_t> stored = ParseHex(TextAt(state, slot + "/bitmap"));
  if (stored != bitmap)
    Fail("stored altered", "logo_upload of kind " + std::to_string(kind) + " gave 0, the phone holds another bitmap");
  if (kind == PELKOR_LOGO_OPERATOR && TextAt(state, slot + "/network") != network)
    Fail("stored altered",
         "operator logo for '" + std::string(network) + "' stored for '" + TextAt(state, slot + "/network") + "'");
  if (kind == PELKOR_LOGO_CALLER && TextAt(state, slot + "/name") != name)
    Fail("stored altered", "caller group " + std::to_string(group) + " named '" + name + "' stored as '" +
                               TextAt(state, slot + "/name") + "'");
}

void Soak::LogoText() {
  const std::string text = RandomText(static_cast<size_t>(Uniform(0, 40)));
  const int32_t result =
      Call("setlogo", L::kLogoUpload, L::Only({0, 4}), "'" + text + "'", [&] { return setlogo(0, text.c_str(), 0); });
  if (result == PELKOR_OK && TextAt(State(), "/logos/startup/text") != text)
    Fail("stored altered",
         "setlogo '" + text + "' gave 0, the phone shows '" + TextAt(State(), "/logos/startup/text") + "'");
}

void Soak::LogoDownload() {
  const int kinds[] = {PELKOR_LOGO_STARTUP, PELKOR_LOGO_STARTUP, PELKOR_LOGO_OPERATOR, PELKOR_LOGO_CALLER};
  const int kind = kinds[Uniform(0, 3)];
  const int group = Uniform(0, 4);
  if (kind == PELKOR_LOGO_CALLER) logo_setgroupnumber(group);
  const int64_t limit = L::kLogoDownload + (kind == PELKOR_LOGO_OPERATOR ? 1 + L::kNetworkInfo : 0);
  const int32_t result = Call("logo_download", limit, L::Only({0, 4, 24}), "kind " + std::to_string(kind),
                              [&] { return logo_download(kind); });
  if (result != PELKOR_OK) return;
  ++tally_.multiFrame[kind == PELKOR_LOGO_STARTUP ? "logo_downloads_in_five_frames" : "logo_downloads_in_two_frames"];
  CheckDownload(kind, group);
}

// One frame of a long reply is lost on the line, sometimes with the phone not
// acknowledging, so that the next thing the library hears is the first frame of another
// message: the download must not be taken (the message is incomplete), and the next
// reply, of another type, must come through whole.
void Soak::LostFrameScene() {
  const int kinds[] = {PELKOR_LOGO_STARTUP, PELKOR_LOGO_STARTUP, PELKOR_LOGO_STARTUP, PELKOR_LOGO_OPERATOR,
                       PELKOR_LOGO_CALLER};
  const int kind = kinds[Uniform(0, 4)];
  const int group = Uniform(0, 4);
  if (kind == PELKOR_LOGO_CALLER) logo_setgroupnumber(group);
  const int frame = Uniform(1, 5);  // past a two-frame reply's end: its last frame
  const bool noAcks = Chance(0.5);
  const uint64_t silencesBefore = silenceEvents_.load();
  const bool silentBefore = silentNow_.load();
  const size_t lostBefore = sim_.FramesLost();
  {
    std::lock_guard lock(faultMutex_);
    ++faultTally_.counts["lost_frame_scene"];
    if (noAcks) ++faultTally_.counts["lost_frame_scene_without_acks"];
  }
  if (noAcks) sim_.Control("ack off");
  sim_.Control("lose-frame " + std::to_string(frame));
  const int64_t limit = L::kLogoDownload + (kind == PELKOR_LOGO_OPERATOR ? 1 + L::kNetworkInfo : 0);
  const std::string what = "logo_download(" + std::to_string(kind) + ") with frame " + std::to_string(frame) +
                           " of the reply lost" + (noAcks ? " and no acknowledgements" : "");
  const int32_t result = Call("logo_download", limit, L::Only({0, 4, 24}),
                              "kind " + std::to_string(kind) + ", frame " + std::to_string(frame) + " lost",
                              [&] { return logo_download(kind); });
  const bool lost = sim_.FramesLost() > lostBefore;
  if (!lost) sim_.Control("lose-frame 0");  // the reply never came (a silence): withdraw
  int32_t level = -7;
  const int32_t next =
      Call("getrflevel", L::kPhoneStatus, L::Only({0, 4}), "after " + what, [&] { return getrflevel(&level); });
  if (noAcks) sim_.Control("ack on");
  if (lost && result == PELKOR_OK) {
    Fail("took an incomplete message", what + " returned 0");
    CheckDownload(kind, group);
  }
  // Only a silence excuses the status reply (the others leave a single-frame reply whole).
  const bool heard = !silentBefore && !silentNow_.load() && silenceEvents_.load() == silencesBefore;
  if (lost && next != PELKOR_OK && heard)
    Fail("lost the reply after an incomplete message", "getrflevel gave " + std::to_string(next) + " after " + what);
  if (result == PELKOR_OK && !lost) CheckDownload(kind, group);
}

void Soak::LogoSms() {
  const int kind = Chance(0.5) ? PELKOR_LOGO_OPERATOR : PELKOR_LOGO_CALLER;
  const std::vector<uint8_t> bitmap = MakeLogo(kind);
  char network[8] = {};
  logo_getdata(nullptr, nullptr, nullptr, network, sizeof network);
  SentSms sent;
  sent.via = "sendoplogoviasms";
  sent.destination = NextDestination();
  sent.content = {{"logo", kind == PELKOR_LOGO_OPERATOR ? "operator" : "caller"}, {"bitmap", Hex(bitmap)}};
  if (kind == PELKOR_LOGO_OPERATOR) sent.content["network"] = network;
  sent.result =
      Call("sendoplogoviasms", L::kOneSms, L::Only({0, 4, 19, 22}), sent.destination + ", kind " + std::to_string(kind),
           [&] { return sendoplogoviasms(sent.destination.c_str()); });
  sms_.push_back(std::move(sent));
}

// ---- WAV ----------------------------------------------------------------------------------------

void Soak::Wave() {
  const std::string file = tmp_ + "/tone.wav";
  mfbwave_writer *writer = nullptr;
  Call("mfbwave_create", L::kNoWait, L::Only({0}), file, [&] {
    writer = mfbwave_create(file.c_str());
    return writer != nullptr ? 0 : -1;
  });
  if (writer == nullptr) return;
  Call("mfbwave_add_tone", L::kNoWait, L::Only({0}), "440,50", [&] {
    mfbwave_add_tone(writer, 440, 50);
    return 0;
  });
  Call("mfbwave_close", L::kNoWait, L::Only({0}), "", [&] {
    mfbwave_close(writer);
    return 0;
  });
  struct stat info {};
  if (stat(file.c_str(), &info) != 0 || info.st_size != 44 + 400)
    Fail("wrong answer", "a WAV of one 50 ms tone is " + std::to_string(info.st_size) + " bytes, not 444");
}

}  // namespace pelkor_soak
