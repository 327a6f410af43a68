// Ringtones, logos and WAV files: what works without a phone, and the transfers.
#include <pelkor16.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "command_table.h"
#include "commands.h"
#include "exit_status.h"
#include "json_objects.h"
#include "logo_image.h"
#include "progress.h"
#include "ringtone_render.h"
#include "rtttl_check.h"
#include "terminal_text.h"
#include "validate.h"

namespace pelkor_tool {
namespace {

// What the ringtone, logo and wav commands are given; each command has its own.
struct MediaOptions {
  std::string input, output, number;
  std::vector<std::string> tones;
  std::string network;            // --network "MCC MNC" for operator logos
  int group = -1;                 // --group 0-4 for caller-group logos; -1 when not given
  bool long_ = false;             // --long: render a tone longer than kLongestToneMs
  int variant = 1;                // ringtone put --variant
  std::string kind = "operator";  // logo get: startup, operator or caller
};

constexpr int64_t kLongestToneMs = 5 * 60 * 1000;

// Why a file cannot be read, in words; empty when it can.
std::string Unreadable(const std::string &path) {
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return errno == ENOENT ? "no such file" : std::strerror(errno);
  char probe;
  const bool empty = std::fread(&probe, 1, 1, file) == 0;
  const bool folder = empty && std::ferror(file) != 0 && errno == EISDIR;
  std::fclose(file);
  if (folder) return "it is a folder, not a file";
  if (empty) return "the file is empty";
  return "";
}

// Loads an RTTTL file; an error in words when it cannot be read, is not RTTTL or holds
// no note to play. What the library or the phone cuts or rounds is warned of on stderr.
std::string LoadRingtone(const std::string &path) {
  if (std::string problem = Unreadable(path); !problem.empty()) return problem;
  std::ifstream in(path, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const RtttlProblems checked = CheckRtttl(text);
  if (!checked.error.empty()) return checked.error;
  for (const std::string &warning : checked.warnings)
    std::fprintf(stderr, "pelkor: warning: %s: %s\n", path.c_str(), warning.c_str());
  if (ringtone_readfile(path.c_str()) != PELKOR_OK) return "it cannot be read";
  if (ringtone_getnotes() == 0)
    return "no notes found: an RTTTL file reads NAME:d=4,o=5,b=120:c,e,g (name, settings, notes)";
  bool playable = false;
  for (const RenderedNote &note : RingtoneNotes()) playable = playable || !note.pause;
  if (!playable) return "no valid note: every note is a pause or not a note at all";
  return "";
}

int BadInput(Report &r, const std::string &path, const std::string &problem) {
  return FailAs(r, kExitBadInput, path + ": " + problem);
}

int RingtoneShow(Report &r, MediaOptions &media) {
  if (std::string problem = LoadRingtone(media.input); !problem.empty()) return BadInput(r, media.input, problem);
  const nlohmann::json tone = ToneJson();
  r.Json()["input"] = media.input;
  r.Json()["tone"] = tone;
  r.Show("name", tone["name"]);
  r.Show("tempo", tone["tempo"]);
  std::string line;
  for (const nlohmann::json &note : tone["notes"]) line += (line.empty() ? "" : ",") + note.get<std::string>();
  r.Show("notes", line);
  return r.Finish();
}

std::string Extension(const std::string &path) {
  const size_t dot = path.find_last_of('.'), slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot + 1);
  for (char &c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

// ringtone wav and ringtone convert: the output's extension picks WAV, MIDI or RTTTL.
int RingtoneConvert(Report &r, const MediaOptions &media, bool wavOnly) {
  const std::string extension = Extension(media.output);
  const bool wav = wavOnly || extension == "wav";
  const bool midi = !wavOnly && (extension == "mid" || extension == "midi");
  const bool rtttl = !wavOnly && (extension == "rtttl" || extension == "rtx" || extension == "txt");
  if (!wav && !midi && !rtttl)
    return FailAs(r, kExitUsage, media.output + ": unknown output type; use .wav, .mid (or .midi) or .rtttl (or .txt)");
  if (std::string problem = LoadRingtone(media.input); !problem.empty()) return BadInput(r, media.input, problem);
  if (!rtttl && !media.long_) {
    // No phone's ringtone lasts this long: a slip in b= or d= most likely, and a WAV
    // file of it grows by 8 kB a second.
    int64_t ms = 0;
    for (const RenderedNote &note : RingtoneNotes()) ms += note.ms;
    if (ms > kLongestToneMs) {
      const int64_t seconds = ms / 1000;
      return FailAs(r, kExitBadInput,
                    media.input + ": the tone lasts " + std::to_string(seconds / 60) + " min " +
                        std::to_string(seconds % 60) + " s (a WAV file of about " +
                        std::to_string((ms * 8 + 512 * 1024) / (1024 * 1024)) +
                        " MB); check its b= and d=, or give --long to write it anyway");
    }
  }
  int32_t totalMs = 0;
  std::string error;
  if (rtttl)
    totalMs = WriteRtttl(media.output, error) ? 0 : -1;
  else
    totalMs = wav ? RenderRingtone(media.output, error) : RenderRingtoneMidi(media.output, error);
  if (totalMs < 0) return FailAs(r, kExitCannotWrite, "cannot write " + media.output + ": " + error);
  r.Json()["input"] = media.input;
  r.Field("file", media.output, "wrote");
  r.Json()["tone"] = ToneJson();
  if (!rtttl) r.Show("length ms", totalMs);
  return r.Finish();
}

int Wav(Report &r, MediaOptions &media) {
  std::vector<std::pair<int32_t, int32_t>> tones;
  for (const std::string &tone : media.tones) {
    int hz = 0, ms = 0;
    char extra = 0;
    if (std::sscanf(tone.c_str(), "%d:%d%c", &hz, &ms, &extra) != 2)
      return FailAs(r, kExitUsage, "give tones as HZ:MS, e.g. 440:250 (0 Hz is silence), not \"" + tone + "\"");
    for (const std::string &problem : {CheckRange("the frequency in " + tone, hz, 0, 20000, "Hz"),
                                       CheckRange("the duration in " + tone, ms, 1, 60000, "ms")})
      if (!problem.empty()) return FailAs(r, kExitUsage, problem);
    tones.emplace_back(hz, ms);
  }
  int32_t totalMs = 0;
  for (const auto &tone : tones) totalMs += tone.second;
  std::string error;
  if (!WriteWav(media.output, tones, error))
    return FailAs(r, kExitCannotWrite, "cannot write " + media.output + ": " + error);
  r.Field("file", media.output, "wrote");
  r.Field("milliseconds", totalMs, "length ms");
  return r.Finish();
}

// --network and --group, checked; the kind they ask for (PELKOR_LOGO_NONE for neither).
std::string LogoTargetProblem(MediaOptions &media, int32_t &kind) {
  kind = PELKOR_LOGO_NONE;
  if (!media.network.empty() && media.group >= 0)
    return "give --network for an operator logo or --group for a caller-group logo, not both";
  if (!media.network.empty()) {
    std::string normalised;
    if (std::string problem = ParseNetworkCode(media.network, normalised); !problem.empty()) return problem;
    media.network = normalised;
    kind = PELKOR_LOGO_OPERATOR;
  }
  if (media.group >= 0) {
    if (std::string problem = CheckRange("the caller group", media.group, 0, 4); !problem.empty()) return problem;
    kind = PELKOR_LOGO_CALLER;
  }
  return "";
}

int32_t LogoKind() {
  int32_t kind = 0;
  logo_getdata(&kind, nullptr, nullptr, nullptr, 0);
  return kind;
}

std::string NetworkCodeOfLogo() {
  char code[8];
  logo_getdata(nullptr, nullptr, nullptr, code, sizeof code);
  return code;
}

// Loads the input logo as `kind` (images are scaled to it) and applies --network/--group.
int LoadLogoFor(Report &r, const MediaOptions &media, int32_t kind, bool &ok) {
  ok = false;
  std::string error, note;
  if (!LoadLogo(media.input, kind, error, &note)) return BadInput(r, media.input, error);
  if (!note.empty()) std::fprintf(stderr, "pelkor: %s\n", ForTerminal(media.input + ": " + note).c_str());
  const int32_t loaded = LogoKind();
  if (loaded == PELKOR_LOGO_STARTUP && (!media.network.empty() || media.group >= 0))
    return FailAs(r, kExitUsage, media.input + " is a start-up logo, which has no network code or caller group");
  if (!media.network.empty()) logo_setdata(PELKOR_LOGO_OPERATOR, media.network.c_str());
  if (media.group >= 0) {
    logo_setdata(PELKOR_LOGO_CALLER, nullptr);
    logo_setgroupnumber(media.group);
  }
  ok = true;
  return kExitOk;
}

int LogoShow(Report &r, MediaOptions &media) {
  int32_t requested;
  if (std::string problem = LogoTargetProblem(media, requested); !problem.empty())
    return FailAs(r, kExitUsage, problem);
  bool ok;
  if (const int status = LoadLogoFor(r, media, requested, ok); !ok) return status;
  int32_t kind, width, height;
  char code[8];
  logo_getdata(&kind, &width, &height, code, sizeof code);
  r.Json()["input"] = media.input;
  r.Json()["logo"] = LogoJson();
  r.Show("kind", LogoKindName(kind));
  r.Show("size", std::to_string(width) + "x" + std::to_string(height));
  if (kind == PELKOR_LOGO_OPERATOR) r.Show("network", code[0] ? code : "none given");
  if (!r.json()) std::printf("%s", LogoAsBlocks().c_str());
  return r.Finish();
}

int LogoConvert(Report &r, MediaOptions &media) {
  const LogoFileType type = TypeFromExtension(media.output);
  if (type == LogoFileType::kUnknown)
    return FailAs(r, kExitUsage,
                  media.output + ": unknown output type; use .nol, .ngg, .nlm, .form (or .fml), .png or .bmp");
  int32_t requested;
  if (std::string problem = LogoTargetProblem(media, requested); !problem.empty())
    return FailAs(r, kExitUsage, problem);
  // An image becomes the kind the output file holds.
  if (requested == PELKOR_LOGO_NONE)
    requested = type == LogoFileType::kNol    ? PELKOR_LOGO_OPERATOR
                : type == LogoFileType::kNgg  ? PELKOR_LOGO_CALLER
                : type == LogoFileType::kForm ? PELKOR_LOGO_STARTUP
                                              : PELKOR_LOGO_NONE;
  bool ok;
  if (const int status = LoadLogoFor(r, media, requested, ok); !ok) return status;
  if (type == LogoFileType::kNol && LogoKind() != PELKOR_LOGO_STARTUP && NetworkCodeOfLogo().empty())
    return FailAs(r, kExitUsage,
                  "an operator logo file carries its network code: add --network, e.g. --network \"262 01\"");
  std::string error;
  errno = 0;
  if (!SaveLogo(media.output, type, error)) {
    const bool kindMismatch = error.find("cannot be written as") != std::string::npos;
    return FailAs(r, kindMismatch ? kExitUsage : kExitCannotWrite, "cannot write " + media.output + ": " + error);
  }
  r.Json()["input"] = media.input;
  r.Field("file", media.output, "wrote");
  r.Json()["logo"] = LogoJson();
  r.Show("kind", LogoKindName(LogoKind()));
  return r.Finish();
}

int RingtonePut(Report &r, MediaOptions &media) {
  const int variant = media.variant;
  const int32_t result = Waiting("uploading the ringtone (up to 5 s)", [&] { return ringtone_upload(variant); });
  // The upload refuses only a tone whose encoding does not fit the phone's message.
  if (result == PELKOR_ERR_REFUSED)
    return BadInput(r, media.input,
                    "too many notes for the phone: " + std::to_string(ringtone_getnotes()) +
                        " notes do not fit one upload; nothing was sent");
  if (result != PELKOR_OK) return r.Fail(result, "uploading " + media.input);
  r.Field("input", media.input, "uploaded");
  r.Json()["tone"] = ToneJson();
  return r.Finish();
}

int RingtoneSend(Report &r, MediaOptions &media) {
  const int32_t result =
      Waiting("sending the ringtone (up to 7 s)", [&] { return ringtone_sendsms(media.number.c_str()); });
  if (result != PELKOR_OK) return r.Fail(result, "sending the ringtone to " + media.number, "7 s");
  r.Json()["input"] = media.input;
  r.Field("to", media.number, "sent to");
  r.Json()["tone"] = ToneJson();
  return r.Finish();
}

int32_t KindNumber(const std::string &kind) {
  if (kind == "startup") return PELKOR_LOGO_STARTUP;
  if (kind == "operator") return PELKOR_LOGO_OPERATOR;
  return PELKOR_LOGO_CALLER;
}

int LogoGet(Report &r, MediaOptions &media) {
  const std::string &kind = media.kind;
  const LogoFileType type = TypeFromExtension(media.output);
  logo_setgroupnumber(media.group < 0 ? 0 : media.group);
  const int32_t result = Waiting("downloading the logo (up to 1 s)", [&] { return logo_download(KindNumber(kind)); });
  if (result != PELKOR_OK) return r.Fail(result, "downloading the " + kind + " logo", "1 s");
  std::string error;
  if (!media.output.empty() && !SaveLogo(media.output, type, error))
    return FailAs(r, kExitCannotWrite, "cannot write " + media.output + ": " + error);
  char name[64];
  logo_getgroupname(name, sizeof name);
  r.Json()["logo"] = LogoJson();
  if (kind == "caller") r.Show("group name", name);
  if (kind == "operator") r.Show("network", NetworkCodeOfLogo());
  if (!r.json()) std::printf("%s", LogoAsBlocks().c_str());
  if (!media.output.empty()) r.Field("file", media.output, "wrote");
  return r.Finish();
}

// A caller-group logo from a file carries no group name: the group's name and ringtone
// are read from the phone first, so that the upload keeps them rather than blanking them.
void KeepGroupSettings(Report &r) {
  char name[256];
  logo_getgroupname(name, sizeof name);
  if (name[0] != '\0') return;
  const std::vector<std::string> rows = LogoRows();
  // The download keeps the group number.
  const int32_t result =
      Waiting("reading the group's name (up to 1 s)", [] { return logo_download(PELKOR_LOGO_CALLER); });
  logo_setdata(PELKOR_LOGO_CALLER, nullptr);
  for (size_t y = 0; y < rows.size(); ++y)
    for (size_t x = 0; x < rows[y].size(); ++x)
      logo_setpixel(static_cast<int32_t>(x), static_cast<int32_t>(y), rows[y][x] == '#' ? 0 : 1);
  if (result != PELKOR_OK)
    r.Line("could not read the group's name (" + Describe(result, "1 s") + "): the phone may show it blank");
}

int LogoPut(Report &r, MediaOptions &media) {
  if (LogoKind() == PELKOR_LOGO_OPERATOR && NetworkCodeOfLogo().empty())
    r.Line("no network code given: the logo goes to the network the phone is in now");
  if (LogoKind() == PELKOR_LOGO_CALLER) KeepGroupSettings(r);
  const int32_t result = Waiting("uploading the logo (up to 5 s)", [] { return logo_upload(); });
  if (result != PELKOR_OK) return r.Fail(result, "uploading " + media.input, "5 s");
  r.Field("input", media.input, "uploaded");
  r.Json()["logo"] = LogoJson();
  r.Show("kind", LogoKindName(LogoKind()));
  if (LogoKind() == PELKOR_LOGO_CALLER) {
    char name[256];
    logo_getgroupname(name, sizeof name);
    r.Show("caller group", logo_getgroupnumber());
    r.Show("group name", name);
  }
  if (LogoKind() == PELKOR_LOGO_OPERATOR) r.Show("network", NetworkCodeOfLogo());
  return r.Finish();
}

int LogoSend(Report &r, MediaOptions &media) {
  const int32_t result =
      Waiting("sending the logo (up to 7 s)", [&] { return sendoplogoviasms(media.number.c_str()); });
  if (result != PELKOR_OK) return r.Fail(result, "sending the logo to " + media.number, "7 s");
  r.Json()["input"] = media.input;
  r.Field("to", media.number, "sent to");
  r.Json()["logo"] = LogoJson();
  return r.Finish();
}

int CheckSmsDestination(Report &r, const MediaOptions &media) {
  const std::string problem = CheckSmsNumber(media.number);
  return problem.empty() ? kExitOk : FailAs(r, kExitUsage, problem);
}

// The files for put and send are read before the phone is opened: a bad file is
// reported without waiting for the link. The library keeps the loaded logo and ringtone
// across init.
int PrepareLogo(Report &r, MediaOptions &media, bool bySms) {
  int32_t requested;
  if (std::string problem = LogoTargetProblem(media, requested); !problem.empty())
    return FailAs(r, kExitUsage, problem);
  if (bySms && CheckSmsDestination(r, media) != kExitOk) return kExitUsage;
  bool ok;
  if (const int status = LoadLogoFor(r, media, requested, ok); !ok) return status;
  if (bySms && LogoKind() == PELKOR_LOGO_STARTUP)
    return FailAs(r, kExitUsage, media.input + " is a start-up logo; only operator and caller-group logos go by SMS");
  if (bySms && LogoKind() == PELKOR_LOGO_OPERATOR && NetworkCodeOfLogo().empty())
    return FailAs(r, kExitUsage,
                  "an operator logo by SMS carries its network code: add --network, e.g. --network \"262 01\"");
  return kExitOk;
}

int PrepareRingtone(Report &r, const MediaOptions &media, bool bySms) {
  if (bySms && CheckSmsDestination(r, media) != kExitOk) return kExitUsage;
  if (std::string problem = LoadRingtone(media.input); !problem.empty()) return BadInput(r, media.input, problem);
  return kExitOk;
}

int RingtoneWav(Report &r, MediaOptions &media) { return RingtoneConvert(r, media, true); }
int RingtoneToFile(Report &r, MediaOptions &media) { return RingtoneConvert(r, media, false); }
int CheckRingtonePut(Report &r, MediaOptions &media) { return PrepareRingtone(r, media, false); }
int CheckRingtoneSend(Report &r, MediaOptions &media) { return PrepareRingtone(r, media, true); }
int CheckLogoPut(Report &r, MediaOptions &media) { return PrepareLogo(r, media, false); }
int CheckLogoSend(Report &r, MediaOptions &media) { return PrepareLogo(r, media, true); }

// The group and the output file of logo get, checked before the phone is opened.
int CheckLogoGet(Report &r, MediaOptions &media) {
  if (std::string problem = CheckRange("the caller group", media.group < 0 ? 0 : media.group, 0, 4); !problem.empty())
    return FailAs(r, kExitUsage, problem);
  const std::string &kind = media.kind;
  const LogoFileType type = TypeFromExtension(media.output);
  if (!media.output.empty() && type == LogoFileType::kUnknown)
    return FailAs(r, kExitUsage, media.output + ": unknown output type; use .nol, .ngg, .nlm, .form, .png or .bmp");
  if (!media.output.empty() && type == LogoFileType::kForm && kind != "startup")
    return FailAs(r, kExitUsage,
                  "a FORM file holds a start-up logo; save the " + kind + " logo as .nol, .ngg, .png or .bmp");
  if (!media.output.empty() && (type == LogoFileType::kNol || type == LogoFileType::kNgg) && kind == "startup")
    return FailAs(r, kExitUsage, "a start-up logo goes into a .form, .png or .bmp file");
  return kExitOk;
}

void DeclareRingtoneFile(CLI::App &c, MediaOptions &media) {
  c.add_option("file", media.input, "RTTTL file")->required();
}

// --network and --group, which make a logo an operator or a caller-group logo.
void DeclareLogoTarget(CLI::App &c, MediaOptions &media) {
  c.add_option("--network", media.network, "network code \"MCC MNC\", e.g. \"262 01\": makes it an operator logo");
  c.add_option("--group", media.group, "caller group 0-4: makes it a caller-group logo");
}

void AddRingtoneFileCommands(CLI::App &group, const GlobalOptions &options) {
  AddCommands(
      group, options,
      Command<MediaOptions>{.name = "show",
                            .help = "Show an RTTTL file as the library reads it",
                            .footer = "Example: pelkor ringtone show examples/ode_to_joy.rtttl",
                            .declare = DeclareRingtoneFile,
                            .run = RingtoneShow,
                            .uses = Uses::kNoPhone},
      Command<MediaOptions>{.name = "wav",
                            .help = "Render an RTTTL file to a WAV file",
                            .footer = "Example: pelkor ringtone wav examples/scale.rtttl scale.wav",
                            .declare =
                                [](CLI::App &c, MediaOptions &media) {
                                  DeclareRingtoneFile(c, media);
                                  c.add_option("output", media.output, "WAV file to write")->required();
                                  c.add_flag("--long", media.long_, "write a tone that lasts more than 5 minutes");
                                },
                            .run = RingtoneWav,
                            .uses = Uses::kNoPhone},
      Command<MediaOptions>{.name = "convert",
                            .help = "Convert an RTTTL file to WAV, MIDI or RTTTL, by the output's extension",
                            .footer = "Examples:\n  pelkor ringtone convert examples/ode_to_joy.rtttl ode.mid\n"
                                      "  pelkor ringtone convert examples/scale.rtttl scale.wav",
                            .declare =
                                [](CLI::App &c, MediaOptions &media) {
                                  DeclareRingtoneFile(c, media);
                                  c.add_option("output", media.output, ".wav, .mid/.midi or .rtttl/.txt")->required();
                                  c.add_flag("--long", media.long_,
                                             "write a WAV or MIDI file of a tone that lasts more than 5 minutes");
                                },
                            .run = RingtoneToFile,
                            .uses = Uses::kNoPhone});
}

void AddRingtonePhoneCommands(CLI::App &group, const GlobalOptions &options) {
  AddCommands(group, options,
              Command<MediaOptions>{.name = "put",
                                    .help = "Upload an RTTTL file as the phone's ringtone",
                                    .footer = "Example: pelkor ringtone put examples/ode_to_joy.rtttl",
                                    .declare =
                                        [](CLI::App &c, MediaOptions &media) {
                                          DeclareRingtoneFile(c, media);
                                          c.add_option(
                                               "--variant", media.variant,
                                               "0 uploads as a ringing-tone message, else as a ringtone command")
                                              ->capture_default_str();
                                        },
                                    .check = CheckRingtonePut,
                                    .run = RingtonePut},
              Command<MediaOptions>{.name = "send",
                                    .help = "Send an RTTTL file to another phone by SMS",
                                    .footer = "Example: pelkor ringtone send examples/scale.rtttl +4912345678",
                                    .declare =
                                        [](CLI::App &c, MediaOptions &media) {
                                          DeclareRingtoneFile(c, media);
                                          c.add_option("number", media.number, "destination")->required();
                                        },
                                    .check = CheckRingtoneSend,
                                    .run = RingtoneSend});
}

void AddLogoFileCommands(CLI::App &group, const GlobalOptions &options) {
  AddCommands(
      group, options,
      Command<MediaOptions>{.name = "show",
                            .help = "Draw a logo file in the terminal",
                            .footer = "Example: pelkor logo show examples/logos/operator.nol",
                            .declare =
                                [](CLI::App &c, MediaOptions &media) {
                                  c.add_option("file", media.input, "NOL, NGG, NLM, FORM, PNG or BMP file")->required();
                                },
                            .run = LogoShow,
                            .uses = Uses::kNoPhone},
      Command<MediaOptions>{
          .name = "convert",
          .help = "Convert a logo or image; the output's extension picks the format",
          .footer = "Examples:\n  pelkor logo convert examples/logos/operator.nol operator.png\n"
                    "  pelkor logo convert drawing.png mine.nol --network \"262 01\"\n"
                    "  pelkor logo convert examples/logos/startup.form startup.bmp",
          .declare =
              [](CLI::App &c, MediaOptions &media) {
                c.add_option("input", media.input, "NOL, NGG, NLM, FORM, PNG or BMP file")->required();
                c.add_option("output", media.output, ".nol, .ngg, .nlm, .form (.fml), .png or .bmp")->required();
                DeclareLogoTarget(c, media);
              },
          .run = LogoConvert,
          .uses = Uses::kNoPhone});
}

void AddLogoPhoneCommands(CLI::App &group, const GlobalOptions &options) {
  AddCommands(
      group, options,
      Command<MediaOptions>{.name = "get",
                            .help = "Download a logo from the phone (and save it)",
                            .footer = "Example: pelkor logo get startup startup.form",
                            .declare =
                                [](CLI::App &c, MediaOptions &media) {
                                  c.add_option("kind", media.kind, "startup, operator or caller")
                                      ->required()
                                      ->check(CLI::IsMember({"startup", "operator", "caller"}));
                                  c.add_option("output", media.output,
                                               "file to write: .nol, .ngg, .nlm, .form, .png or .bmp");
                                  c.add_option("--group", media.group, "caller group number 0-4")->default_str("0");
                                },
                            .check = CheckLogoGet,
                            .run = LogoGet},
      Command<MediaOptions>{.name = "put",
                            .help = "Upload a logo file to the phone",
                            .footer = "Examples:\n  pelkor logo put examples/logos/operator.nol\n"
                                      "  pelkor logo put examples/logos/caller_group.ngg --group 2\n"
                                      "  pelkor logo put drawing.png --network \"262 01\"",
                            .declare =
                                [](CLI::App &c, MediaOptions &media) {
                                  c.add_option("file", media.input, "NOL, NGG, NLM, FORM, PNG or BMP file")->required();
                                  DeclareLogoTarget(c, media);
                                },
                            .check = CheckLogoPut,
                            .run = LogoPut},
      Command<MediaOptions>{.name = "send",
                            .help = "Send an operator or caller-group logo by SMS",
                            .footer = "Example: pelkor logo send examples/logos/operator.nol +4912345678",
                            .declare =
                                [](CLI::App &c, MediaOptions &media) {
                                  c.add_option("file", media.input, "NOL, NGG or image file")->required();
                                  c.add_option("number", media.number, "destination")->required();
                                  DeclareLogoTarget(c, media);
                                },
                            .check = CheckLogoSend,
                            .run = LogoSend});
}

}  // namespace

void AddMediaCommands(CLI::App &app, GlobalOptions &options) {
  CLI::App &ringtone = AddGroup(app, "ringtone", "Ringtones: show, convert to WAV or MIDI, upload, send");
  AddRingtoneFileCommands(ringtone, options);
  AddRingtonePhoneCommands(ringtone, options);
  CLI::App &logo = AddGroup(app, "logo", "Logos: show, convert, download, upload, send");
  AddLogoFileCommands(logo, options);
  AddLogoPhoneCommands(logo, options);
  AddCommands(
      app, options,
      Command<MediaOptions>{.name = "wav",
                            .help = "Write tones to a WAV file (8 kHz, 8-bit mono)",
                            .footer = "Example: pelkor wav beep.wav 1000:200 0:100 1000:200",
                            .declare =
                                [](CLI::App &c, MediaOptions &media) {
                                  c.add_option("output", media.output, "WAV file to write")->required();
                                  c.add_option("tones", media.tones, "HZ:MS pairs; 0 Hz is silence")->required();
                                },
                            .run = Wav,
                            .uses = Uses::kNoPhone});
}

}  // namespace pelkor_tool
