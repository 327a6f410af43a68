#include "ringtone/rtttl_file.h"
#include "transaction/result_codes.h"

#include <algorithm>
#include <cstdio>

namespace pelkor {
namespace {

// Settings and notes are separated by commas and blanks; line breaks count as blanks so
// that tunes spread over several lines read as one.
constexpr std::string_view kListSeparators = ", \t\r\n";
constexpr std::string_view kTrailingJunk = "\r\n, \t";

constexpr unsigned kTempoLimit = 0xFFFF;  // tempo is a 16-bit field
constexpr unsigned kSettingNumberLimit = 1000000;

// Next piece of text between separators; runs of separators count as one and leading ones
// are skipped. Returns false when nothing is left.
bool NextPiece(std::string_view &rest, std::string_view separators, std::string_view &piece) {
  const size_t start = rest.find_first_not_of(separators);
  if (start == std::string_view::npos) {
    rest = {};
    return false;
  }
  rest.remove_prefix(start);
  const size_t end = std::min(rest.find_first_of(separators), rest.size());
  piece = rest.substr(0, end);
  rest.remove_prefix(end);
  return true;
}

// A setting is a letter, "=" and a number from the third character on; a setting without
// a number there leaves its default alone.
void ApplySetting(std::string_view setting, Ringtone &tone) {
  if (setting.size() < 3) return;
  unsigned value = 0;
  if (ReadDecimal(setting.substr(2), kSettingNumberLimit, value) == 0) return;
  switch (setting[0]) {
    case 'b':
    case 'B':
      tone.tempo = static_cast<uint16_t>(std::min(value, kTempoLimit));
      break;
    case 'd':
    case 'D':
      tone.defaultDuration = DurationOfRtttlNumber(value);
      break;
    case 'o':
    case 'O':
      tone.defaultScale = ScaleOfRtttlOctave(value);
      break;
    default:
      break;
  }
}

void ParseSettings(std::string_view settings, Ringtone &tone) {
  std::string_view piece;
  while (NextPiece(settings, kListSeparators, piece)) ApplySetting(piece, tone);
}

void ParseNotes(std::string_view notes, Ringtone &tone) {
  std::string_view piece;
  size_t count = 0;
  while (count < kRtttlFileMaxNotes && NextPiece(notes, kListSeparators, piece)) {
    ParseNote(tone, count, piece);
    ++count;
  }
  tone.noteCount = static_cast<uint16_t>(count);
}

}  // namespace

void ParseRtttlText(std::string_view text, Ringtone &tone) {
  ResetRingtoneForReading(tone);
  tone.tempo = 63;

  // A text file has no zero bytes; whatever follows one is not part of the tune.
  text = text.substr(0, std::min(text.find('\0'), text.size()));
  const size_t last = text.find_last_not_of(kTrailingJunk);
  text = last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);

  const bool unnamed = !text.empty() && text.front() == ':';
  std::string_view rest = text;
  std::string_view name, settings, notes;
  if (!unnamed) NextPiece(rest, ":", name);
  NextPiece(rest, ":", settings);
  NextPiece(rest, ":", notes);

  SetRingtoneName(tone, unnamed ? std::string_view{kUnnamedRingtoneName} : name);
  ParseSettings(settings, tone);
  ParseNotes(notes, tone);
}

int ReadRtttlFile(const char *path, Ringtone &tone) {
  if (path == nullptr) return kResultNotFound;
  std::FILE *file = std::fopen(path, "r");
  if (file == nullptr) return kResultNotFound;

  char text[kRtttlReadLimit];
  const size_t length = std::fread(text, 1, sizeof text, file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return kResultNotFound;  // e.g. a directory: nothing read is no tune

  ParseRtttlText(std::string_view(text, length), tone);
  return 0;
}

int WriteRtttlFile(const char *path, const Ringtone &tone) {
  if (path == nullptr) return kResultNotFound;
  std::FILE *file = std::fopen(path, "w");
  if (file == nullptr) return kResultNotFound;

  const auto durationForm = RtttlFormOfDuration(static_cast<uint16_t>(tone.defaultDuration & 0xFFFF));
  const auto nameLength = std::find(tone.name, tone.name + sizeof tone.name, '\0') - tone.name;
  bool ok = std::fprintf(file, "%.*s:d=%u,o=%lld,b=%u:", static_cast<int>(nameLength), tone.name, durationForm.number,
                         static_cast<long long>(tone.defaultScale) + 4, static_cast<unsigned>(tone.tempo)) > 0;

  const size_t count = std::min<size_t>(tone.noteCount, kRingtoneMaxNotes);
  char noteText[kNoteTextMax + 1];
  for (size_t i = 0; ok && i < count; ++i) {
    FormatNote(tone, i, noteText, sizeof noteText);
    if (i > 0 && std::fputc(',', file) == EOF) ok = false;
    if (ok && std::fputs(noteText, file) == EOF) ok = false;
  }
  if (std::fclose(file) != 0) ok = false;
  return ok ? 0 : -1;
}

}  // namespace pelkor
