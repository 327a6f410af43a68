// Ringtones, logos and WAV files: what works without a phone, and the transfers.
#include <pelkor16.h>

#include <cstdio>
#include <cstring>

#include "commands.h"
#include "logo_image.h"
#include "progress.h"
#include "ringtone_render.h"

namespace pelkor_tool {
namespace {

struct MediaOptions {
  std::string input, output, number;
  std::vector<std::string> tones;
} media;

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
  const int32_t totalMs = RenderRingtone(media.output);
  if (totalMs < 0) return r.Fail(PELKOR_NOT_FOUND, "creating " + media.output);
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

int RingtonePut(Report &r, int variant) {
  if (ringtone_readfile(media.input.c_str()) != PELKOR_OK)
    return r.Fail(PELKOR_NOT_FOUND, "reading " + media.input);
  Progress progress("uploading the ringtone");
  const int32_t result = ringtone_upload(variant);
  if (result != PELKOR_OK) return r.Fail(result, "uploading " + media.input);
  r.Field("uploaded", media.input);
  return r.Finish();
}

int RingtoneSend(Report &r) {
  if (ringtone_readfile(media.input.c_str()) != PELKOR_OK)
    return r.Fail(PELKOR_NOT_FOUND, "reading " + media.input);
  Progress progress("sending the ringtone");
  const int32_t result = ringtone_sendsms(media.number.c_str());
  if (result != PELKOR_OK) return r.Fail(result, "sending the ringtone to " + media.number, "7 s");
  r.Field("sent_to", media.number, "sent to");
  return r.Finish();
}

int32_t KindNumber(const std::string &kind) {
  if (kind == "startup") return PELKOR_LOGO_STARTUP;
  if (kind == "operator") return PELKOR_LOGO_OPERATOR;
  return PELKOR_LOGO_CALLER;
}

int LogoGet(Report &r, const std::string &kind, int group) {
  logo_setgroupnumber(group);
  int32_t result;
  {
    Progress progress("downloading the logo");
    result = logo_download(KindNumber(kind));
  }
  if (result != PELKOR_OK) return r.Fail(result, "downloading the " + kind + " logo", "1 s");
  if (!media.output.empty() && !SaveLogo(media.output))
    return r.Fail(PELKOR_NOT_FOUND, "writing " + media.output);
  char name[64];
  logo_getgroupname(name, sizeof name);
  if (kind == "caller") r.Field("group_name", name, "group name");
  r.Json()["rows"] = LogoRows();
  if (!r.json()) std::printf("%s", LogoAsBlocks().c_str());
  if (!media.output.empty()) r.Field("wrote", media.output);
  return r.Finish();
}

int LogoPut(Report &r) {
  if (!LoadLogo(media.input)) return r.Fail(PELKOR_NOT_FOUND, "reading " + media.input);
  Progress progress("uploading the logo");
  const int32_t result = logo_upload();
  if (result != PELKOR_OK) return r.Fail(result, "uploading " + media.input, "5 s");
  r.Field("uploaded", media.input);
  return r.Finish();
}

int LogoSend(Report &r) {
  if (!LoadLogo(media.input)) return r.Fail(PELKOR_NOT_FOUND, "reading " + media.input);
  const int32_t result = sendoplogoviasms(media.number.c_str());
  if (result != PELKOR_OK) return r.Fail(result, "sending the logo to " + media.number, "7 s");
  r.Field("sent_to", media.number, "sent to");
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

  static int variant = 1;
  auto *put = ringtone->add_subcommand("put", "Upload an RTTTL file as the phone's ringtone");
  put->add_option("file", media.input, "RTTTL file")->required();
  put->add_option("--variant", variant, "0 uploads as a ringing-tone message, else as a ringtone command")
      ->capture_default_str();
  put->footer("Example: pelkor ringtone put examples/ode_to_joy.rtttl");
  put->callback([&] { WithPhone(options, [](Report &r) { return RingtonePut(r, variant); }); });
  auto *send = ringtone->add_subcommand("send", "Send an RTTTL file to another phone by SMS");
  send->add_option("file", media.input, "RTTTL file")->required();
  send->add_option("number", media.number, "destination")->required();
  send->footer("Example: pelkor ringtone send examples/scale.rtttl +4912345678");
  send->callback([&] { WithPhone(options, RingtoneSend); });

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

  static std::string kind = "operator";
  static int group = 0;
  auto *get = logo->add_subcommand("get", "Download a logo from the phone (and save it)");
  get->add_option("kind", kind, "startup, operator or caller")
      ->required()
      ->check(CLI::IsMember({"startup", "operator", "caller"}));
  get->add_option("output", media.output, "file to write (.png for an image)");
  get->add_option("--group", group, "caller group number 0-4")->capture_default_str();
  get->footer("Example: pelkor logo get startup startup.form");
  get->callback([&] { WithPhone(options, [](Report &r) { return LogoGet(r, kind, group); }); });
  auto *putLogo = logo->add_subcommand("put", "Upload a logo file to the phone");
  putLogo->add_option("file", media.input, "NOL, NGG, NLM, FORM or PNG file")->required();
  putLogo->footer("Example: pelkor logo put examples/logos/operator.nol");
  putLogo->callback([&] { WithPhone(options, LogoPut); });
  auto *sendLogo = logo->add_subcommand("send", "Send an operator or caller-group logo by SMS");
  sendLogo->add_option("file", media.input, "NOL or NGG file")->required();
  sendLogo->add_option("number", media.number, "destination")->required();
  sendLogo->footer("Example: pelkor logo send examples/logos/operator.nol +4912345678");
  sendLogo->callback([&] { WithPhone(options, LogoSend); });

  auto *tones = app.add_subcommand("wav", "Write tones to a WAV file (8 kHz, 8-bit mono)");
  tones->add_option("output", media.output, "WAV file to write")->required();
  tones->add_option("tones", media.tones, "HZ:MS pairs; 0 Hz is silence")->required();
  tones->footer("Example: pelkor wav beep.wav 1000:200 0:100 1000:200");
  tones->callback([&] { Offline(options, Wav); });
}

}  // namespace pelkor_tool
