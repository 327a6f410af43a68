// Ringtones, logos and WAV files: what works without a phone, and the transfers.
#include <pelkor16.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "logo_image.h"

namespace pelkor_tool {
namespace {

struct MediaOptions {
  std::string input, output, number;
  std::vector<std::string> tones;
} media;

// A note of the current ringtone as frequency and length, from its RTTTL text
// (duration, name, dots, octave): equal temperament from A4 = 440 Hz.
bool NoteSound(int32_t index, int32_t bpm, int32_t &hz, int32_t &ms) {
  char text[64];
  ringtone_getnote(index, text, sizeof text);
  const char *p = text;
  int duration = 0;
  while (*p >= '0' && *p <= '9') duration = duration * 10 + (*p++ - '0');
  if (duration <= 0 || *p == '\0') return false;
  static const int semitone[] = {9, 11, 0, 2, 4, 5, 7, 11};  // a b c d e f g h
  const char letter = static_cast<char>(*p++ | 0x20);
  const bool pause = letter == 'p';
  int semi = letter >= 'a' && letter <= 'h' ? semitone[letter - 'a'] : 0;
  if (*p == '#') ++semi, ++p;
  double length = 240000.0 / (bpm > 0 ? bpm : 63) / duration;
  for (double extra = length / 2; *p == '.'; ++p, extra /= 2) length += extra;
  const int octave = *p >= '0' && *p <= '9' ? *p - '0' : 5;
  hz = pause ? 0 : static_cast<int32_t>(std::lround(440.0 * std::pow(2.0, (octave - 4) + (semi - 9) / 12.0)));
  ms = static_cast<int32_t>(std::lround(length));
  return true;
}

int RingtoneShow(Report &r) {
  if (ringtone_readfile(media.input.c_str()) != PELKOR_OK)
    return r.Fail(PELKOR_NOT_FOUND, "reading " + media.input);
  char name[32];
  ringtone_getname(name, sizeof name);
  r.Field("name", name);
  r.Field("tempo", ringtone_gettempo(), "beats/minute");
  nlohmann::json notes = nlohmann::json::array();
  std::string line;
  for (int32_t i = 0; i < ringtone_getnotes(); ++i) {
    char note[64];
    ringtone_getnote(i, note, sizeof note);
    notes.push_back(note);
    line += (i ? "," : "") + std::string(note);
  }
  r.Json()["notes"] = notes;
  r.Line("notes            " + line);
  return r.Finish();
}

int RingtoneWav(Report &r) {
  if (ringtone_readfile(media.input.c_str()) != PELKOR_OK)
    return r.Fail(PELKOR_NOT_FOUND, "reading " + media.input);
  mfbwave_writer *wav = mfbwave_create(media.output.c_str());
  if (wav == nullptr) return r.Fail(PELKOR_NOT_FOUND, "creating " + media.output);
  int32_t totalMs = 0;
  for (int32_t i = 0; i < ringtone_getnotes(); ++i) {
    int32_t hz = 0, ms = 0;
    if (!NoteSound(i, ringtone_gettempo(), hz, ms)) continue;
    mfbwave_add_tone(wav, hz, ms);
    totalMs += ms;
  }
  mfbwave_close(wav);
  r.Field("wav", media.output, "wrote");
  r.Field("milliseconds", totalMs, "length ms");
  return r.Finish();
}

int Wav(Report &r) {
  mfbwave_writer *wav = mfbwave_create(media.output.c_str());
  if (wav == nullptr) return r.Fail(PELKOR_NOT_FOUND, "creating " + media.output);
  int32_t totalMs = 0;
  for (const std::string &tone : media.tones) {
    int hz = 0, ms = 0;
    if (std::sscanf(tone.c_str(), "%d:%d", &hz, &ms) != 2 || hz < 0 || ms <= 0) {
      mfbwave_close(wav);
      return r.FailWith(PELKOR_ERR_REFUSED, "give tones as HZ:MS, e.g. 440:250 (code 22)");
    }
    mfbwave_add_tone(wav, hz, ms);
    totalMs += ms;
  }
  mfbwave_close(wav);
  r.Field("wav", media.output, "wrote");
  r.Field("milliseconds", totalMs, "length ms");
  return r.Finish();
}

int LogoShow(Report &r) {
  if (!LoadLogo(media.input)) return r.Fail(PELKOR_NOT_FOUND, "reading " + media.input);
  int32_t kind, width, height;
  char code[8];
  logo_getdata(&kind, &width, &height, code, sizeof code);
  r.Field("kind", kind == PELKOR_LOGO_STARTUP ? "start-up" : kind == PELKOR_LOGO_OPERATOR ? "operator" : "caller group");
  r.Field("size", std::to_string(width) + "x" + std::to_string(height));
  if (kind == PELKOR_LOGO_OPERATOR) r.Field("network_code", code, "network");
  r.Json()["rows"] = LogoRows();
  if (!r.json()) std::printf("%s", LogoAsBlocks().c_str());
  return r.Finish();
}

int LogoConvert(Report &r) {
  if (!LoadLogo(media.input)) return r.Fail(PELKOR_NOT_FOUND, "reading " + media.input);
  if (!SaveLogo(media.output)) return r.Fail(PELKOR_NOT_FOUND, "writing " + media.output);
  r.Field("wrote", media.output);
  return r.Finish();
}

template <typename Body>
void Offline(const GlobalOptions &options, Body body) {
  Report report(options.json);
  exitStatus = body(report);
}

}  // namespace

void AddMediaCommands(CLI::App &app, GlobalOptions &options) {
  auto *ringtone = app.add_subcommand("ringtone", "Ringtones: show, render to WAV, upload, send");
  ringtone->require_subcommand(1);
  auto *show = ringtone->add_subcommand("show", "Show an RTTTL file as the library reads it");
  show->add_option("file", media.input, "RTTTL file")->required();
  show->footer("Example: pelkor ringtone show examples/ode_to_joy.rtttl");
  show->callback([&] { Offline(options, RingtoneShow); });
  auto *wav = ringtone->add_subcommand("wav", "Render an RTTTL file to a WAV file");
  wav->add_option("file", media.input, "RTTTL file")->required();
  wav->add_option("output", media.output, "WAV file to write")->required();
  wav->footer("Example: pelkor ringtone wav examples/scale.rtttl scale.wav");
  wav->callback([&] { Offline(options, RingtoneWav); });

  auto *logo = app.add_subcommand("logo", "Logos: show, convert, download, upload, send");
  logo->require_subcommand(1);
  auto *logoShow = logo->add_subcommand("show", "Draw a logo file in the terminal");
  logoShow->add_option("file", media.input, "NOL, NGG, NLM, FORM or PNG file")->required();
  logoShow->footer("Example: pelkor logo show examples/logos/operator.nol");
  logoShow->callback([&] { Offline(options, LogoShow); });
  auto *convert = logo->add_subcommand("convert", "Convert between NOL, NGG, NLM (read), FORM and PNG");
  convert->add_option("input", media.input, "logo file (or PNG)")->required();
  convert->add_option("output", media.output, "file to write; .png writes an image")->required();
  convert->footer("Example: pelkor logo convert examples/logos/operator.nol operator.png");
  convert->callback([&] { Offline(options, LogoConvert); });

  auto *tones = app.add_subcommand("wav", "Write tones to a WAV file (8 kHz, 8-bit mono)");
  tones->add_option("output", media.output, "WAV file to write")->required();
  tones->add_option("tones", media.tones, "HZ:MS pairs; 0 Hz is silence")->required();
  tones->footer("Example: pelkor wav beep.wav 1000:200 0:100 1000:200");
  tones->callback([&] { Offline(options, Wav); });
}

}  // namespace pelkor_tool
