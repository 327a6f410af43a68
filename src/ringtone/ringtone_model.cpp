#include "ringtone/ringtone_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace pelkor {
namespace {

Ringtone *bound = nullptr;  // set while the process is still single-threaded

constexpr int kNoStep = -1;  // a letter that is no note: the note is a pause

// Octaves beyond 9 make no sense for a phone; capping the scale keeps every pitch well
// below the pause value 255, so junk octaves can never turn a note into a pause.
constexpr unsigned kHighestOctave = 9;
constexpr int32_t kHighestScale = 5;

// Numbers in a note or setting saturate here instead of overflowing.
constexpr unsigned kNumberLimit = 1000000;

int StepOfLetter(char letter) {
  switch (letter) {
    case 'c':
    case 'C':
      return 0;
    case 'd':
    case 'D':
      return 2;
    case 'e':
    case 'E':
      return 4;
    case 'f':
    case 'F':
      return 6;
    case 'g':
    case 'G':
      return 8;
    case 'a':
    case 'A':
      return 10;
    case 'b':
    case 'B':
    case 'h':
    case 'H':
      return 12;
    default:
      return kNoStep;
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

uint16_t AddDot(uint16_t duration) {
  const unsigned longer = duration + duration / 2u;
  return static_cast<uint16_t>(std::min(longer, 0xFFFFu));
}

constexpr unsigned kRtttlNumberOfRow[] = {1, 2, 4, 8, 16, 32};

// Lengths by row (whole .. thirty-second) and column (plain, dotted, double dotted,
// two thirds); 0 marks the one length that does not exist.
constexpr uint16_t kDurationTable[6][4] = {
    {128, 192, 0, 85}, {64, 96, 144, 42}, {32, 48, 72, 21}, {16, 24, 36, 10}, {8, 12, 18, 5}, {4, 6, 9, 2},
};

const char *const kNoteNames[kStepsPerScale] = {"c",  "c#", "d",  "d#", "e",  "p", "f",
                                                "f#", "g",  "g#", "a",  "a#", "h", "p"};

}  // namespace

Ringtone &CurrentRingtone() { return *bound; }

void BindCurrentRingtone(Ringtone &tone) { bound = &tone; }

void ResetRingtoneForReading(Ringtone &tone) {
  tone = Ringtone{};
  tone.defaultScale = 2;
  tone.defaultDuration = 32;
}

size_t ReadDecimal(std::string_view text, unsigned limit, unsigned &value) {
  value = 0;
  size_t pos = 0;
  while (pos < text.size() && IsDigit(text[pos])) {
    const unsigned digit = static_cast<unsigned>(text[pos] - '0');
    value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    ++pos;
  }
  return pos;
}

uint16_t DurationOfRtttlNumber(unsigned number) {
  for (unsigned row = 0; row < std::size(kRtttlNumberOfRow); ++row) {
    if (kRtttlNumberOfRow[row] == number) return kDurationTable[row][0];
  }
  return 0;
}

bool FindDurationInTable(uint16_t duration, DurationTablePlace &place) {
  if (duration == 0) return false;
  for (unsigned row = 0; row < std::size(kDurationTable); ++row) {
    for (unsigned column = 0; column < std::size(kDurationTable[row]); ++column) {
      if (kDurationTable[row][column] == duration) {
        place = {row, column};
        return true;
      }
    }
  }
  return false;
}

int32_t ScaleOfRtttlOctave(unsigned octave) {
  octave = std::min(octave, kHighestOctave);
  if (octave <= 3) return static_cast<int32_t>(octave);
  if (octave == 4) return 0;
  return static_cast<int32_t>(octave) - 4;
}

RtttlDurationForm RtttlFormOfDuration(uint16_t duration) {
  static const char *const kDotsOfColumn[] = {"", ".", "..", ""};  // two thirds: no dots
  DurationTablePlace place{};
  if (!FindDurationInTable(duration, place)) return {0, ""};
  return {kRtttlNumberOfRow[place.row], kDotsOfColumn[place.column]};
}

void ParseNote(Ringtone &tone, size_t index, std::string_view text) {
  if (index >= kRingtoneMaxNotes) return;

  unsigned number = 0;
  size_t pos = ReadDecimal(text, kNumberLimit, number);
  uint16_t duration = DurationOfRtttlNumber(number);
  if (duration == 0) duration = static_cast<uint16_t>(tone.defaultDuration & 0xFFFF);

  int step = kNoStep;
  if (pos < text.size()) {
    step = StepOfLetter(text[pos]);
    ++pos;  // whatever the character was
  }
  const bool isPause = step == kNoStep;

  if (pos < text.size() && text[pos] == '#') {
    // e# is f and b# the c of the next scale; a sharp pause stays a pause.
    if (!isPause) {
      ++step;
      if (step == 5 || step == 13) ++step;
    }
    ++pos;
  }

  for (int dots = 0; dots < 2 && pos < text.size() && text[pos] == '.'; ++dots, ++pos) {
    duration = AddDot(duration);
  }

  uint16_t pitch = kPausePitch;
  if (!isPause) {
    int32_t scale = tone.defaultScale;
    if (pos < text.size() && IsDigit(text[pos])) {
      scale = ScaleOfRtttlOctave(static_cast<unsigned>(text[pos] - '0'));
      ++pos;  // one character only: octaves are single digits
    }
    scale = std::clamp<int32_t>(scale, 0, kHighestScale);
    pitch = static_cast<uint16_t>(step + kStepsPerScale * scale);
  }

  if (pos < text.size() && text[pos] == '.') duration = AddDot(duration);

  tone.notes[index] = RingtoneNote{duration, pitch};
}

size_t FormatNote(const Ringtone &tone, size_t index, char *out, size_t outSize) {
  if (out == nullptr || outSize == 0) return 0;
  out[0] = '\0';
  if (index >= kRingtoneMaxNotes) return 0;

  const RingtoneNote &note = tone.notes[index];
  const RtttlDurationForm form = RtttlFormOfDuration(note.duration);
  const bool isPause = note.pitch == kPausePitch;
  const char *name = isPause ? "p" : kNoteNames[note.pitch % kStepsPerScale];

  int written = 0;
  if (isPause || name[0] == 'p') {
    written = std::snprintf(out, outSize, "%u%s%s", form.number, name, form.dots);
  } else {
    const unsigned octave = (note.pitch / kStepsPerScale) % 4u + 4u;
    written = std::snprintf(out, outSize, "%u%s%s%u", form.number, name, form.dots, octave);
  }
  if (written < 0) {
    out[0] = '\0';
    return 0;
  }
  return std::min(static_cast<size_t>(written), outSize - 1);
}

void SetRingtoneName(Ringtone &tone, std::string_view name) {
  std::memset(tone.name, 0, sizeof tone.name);
  const size_t length = std::min(name.size(), kRingtoneNameSize - 1);
  if (length > 0) std::memcpy(tone.name, name.data(), length);
}

}  // namespace pelkor
