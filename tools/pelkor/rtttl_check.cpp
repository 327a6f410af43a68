#include "rtttl_check.h"

#include <algorithm>
#include <cctype>

namespace pelkor_tool {
namespace {

// What the library reads of a file, and what the phone plays.
constexpr size_t kBytesRead = 2000;
constexpr size_t kNotesRead = 200;
constexpr long kSlowestTempo = 25, kFastestTempo = 900;
constexpr int kLowestOctave = 4, kHighestOctave = 7;
const char *const kSeparators = ", \t\r\n";

bool IsLength(long n) { return n == 1 || n == 2 || n == 4 || n == 8 || n == 16 || n == 32; }

std::string Quoted(const std::string &text) { return "\"" + text + "\""; }

std::vector<std::string> Pieces(const std::string &text) {
  std::vector<std::string> pieces;
  size_t pos = 0;
  while ((pos = text.find_first_not_of(kSeparators, pos)) != std::string::npos) {
    const size_t end = std::min(text.find_first_of(kSeparators, pos), text.size());
    pieces.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return pieces;
}

// Digits from `pos`, at most 7 of them; -1 when there is none.
long Number(const std::string &text, size_t &pos) {
  long value = -1;
  for (int n = 0; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && n < 7; ++pos, ++n)
    value = (value < 0 ? 0 : value * 10) + (text[pos] - '0');
  return value;
}

std::string CheckSetting(const std::string &piece, RtttlProblems &out) {
  const std::string where = "setting " + Quoted(piece);
  if (piece.size() < 3 || piece[1] != '=') return where + " is not of the form d=4, o=5 or b=120";
  const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(piece[0])));
  size_t pos = 2;
  const long value = Number(piece, pos);
  if (value < 0 || pos != piece.size()) return where + ": " + Quoted(piece.substr(2)) + " is not a number";
  switch (key) {
    case 'd':
      if (!IsLength(value)) return where + ": the default length is 1, 2, 4, 8, 16 or 32";
      break;
    case 'o':
      if (value < kLowestOctave || value > kHighestOctave) return where + ": the phone's octaves are 4 to 7";
      break;
    case 'b':
      if (value == 0) return where + ": the tempo is beats a minute, 1 and up";
      if (value < kSlowestTempo || value > kFastestTempo)
        out.warnings.push_back(where + ": a phone plays 25 to 900 beats a minute; on the phone the tone goes at " +
                               (value < kSlowestTempo ? "25" : "900"));
      break;
    default:
      out.warnings.push_back(where + " is not one of d, o and b; it is left out");
  }
  return "";
}

// A note is [length] letter [#] [.] [octave] [.]; a pause's letter is p.
std::string CheckNote(size_t number, const std::string &piece) {
  const std::string where = "note " + std::to_string(number) + ": " + Quoted(piece);
  size_t pos = 0;
  const long length = Number(piece, pos);
  if (pos >= piece.size()) return where + " is not a note (no note letter)";
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(piece[pos++])));
  if ((letter < 'a' || letter > 'h') && letter != 'p') return where + " is not a note";
  if (length >= 0 && !IsLength(length))
    return where + ": " + std::to_string(length) + " is not a note length (1, 2, 4, 8, 16 or 32)";
  if (pos < piece.size() && piece[pos] == '#') ++pos;
  if (pos < piece.size() && piece[pos] == '.') ++pos;
  if (pos < piece.size() && std::isdigit(static_cast<unsigned char>(piece[pos]))) {
    const size_t start = pos;
    const long octave = Number(piece, pos);
    if (pos - start > 1 || octave < kLowestOctave || octave > kHighestOctave)
      return where + ": octave " + piece.substr(start, pos - start) + " is not one of the phone's octaves 4 to 7";
  }
  if (pos < piece.size() && piece[pos] == '.') ++pos;
  if (pos != piece.size()) return where + " is not a note";
  return "";
}

}  // namespace

RtttlProblems CheckRtttl(const std::string &file) {
  RtttlProblems out;
  std::string text = file;
  if (text.size() > kBytesRead) {
    out.warnings.push_back("the file has " + std::to_string(text.size()) +
                           " bytes; only the first 2000 are read, the rest is left out");
    text.resize(kBytesRead);
  }
  text = text.substr(0, text.find('\0'));
  const size_t first = text.find(':');
  const size_t second = first == std::string::npos ? std::string::npos : text.find(':', first + 1);
  if (second == std::string::npos) return out;  // no notes: said by the caller
  for (const std::string &piece : Pieces(text.substr(first + 1, second - first - 1)))
    if (out.error = CheckSetting(piece, out); !out.error.empty()) return out;
  const std::vector<std::string> notes = Pieces(text.substr(second + 1));
  for (size_t i = 0; i < notes.size() && i < kNotesRead; ++i)
    if (out.error = CheckNote(i + 1, notes[i]); !out.error.empty()) return out;
  if (notes.size() > kNotesRead)
    out.warnings.push_back("the tone has " + std::to_string(notes.size()) +
                           " notes; only the first 200 are read, the rest is left out");
  return out;
}

}  // namespace pelkor_tool
