#include "ringtone/smart_ringtone.h"

#include <algorithm>
#include <iterator>

namespace pelkor {
namespace {

constexpr uint8_t kCommandPartLength = 0x02;
constexpr uint8_t kCommandRingingToneProgramming = 0x25;  // 0100101
constexpr uint8_t kCommandSound = 0x1D;                   // 0011101
constexpr uint8_t kSongTypeBasic = 0x1;                   // 001
constexpr uint8_t kOnePattern = 0x01;
constexpr uint8_t kPatternHeaderId = 0x0;
constexpr uint8_t kPatternIdA = 0x0;
constexpr uint8_t kNoLoop = 0x0;
constexpr uint8_t kStyleInstructionId = 0x3;  // 011
constexpr uint8_t kStyleContinuous = 0x1;     // 01
constexpr uint8_t kTempoInstructionId = 0x4;  // 100
constexpr uint8_t kScaleInstructionId = 0x2;  // 010
constexpr uint8_t kNoteInstructionId = 0x1;   // 001
constexpr uint8_t kCommandEnd = 0x00;

constexpr unsigned kTempoTable[32] = {25,  28,  31,  35,  40,  45,  50,  56,  63,  70,  80,  90,  100, 112, 125, 140,
                                      160, 180, 200, 225, 250, 285, 320, 355, 400, 450, 500, 565, 635, 715, 800, 900};

// Note values by step (pitch modulo 14); the unused steps 5 and 13 sound as a pause.
constexpr uint8_t kNoteValueOfStep[kStepsPerScale] = {1, 2, 3, 4, 5, 0, 6, 7, 8, 9, 10, 11, 12, 0};

// A pause has a scale value of its own (written as 11), so that a tone in scale 3 after a
// pause still gets its scale instruction.
constexpr unsigned kPauseScaleValue = 4;

unsigned ScaleValueOf(const RingtoneNote &note) {
  return note.pitch == kPausePitch ? kPauseScaleValue : (note.pitch / kStepsPerScale) % 4u;
}

uint8_t ScaleBitsOf(unsigned scaleValue) {
  return static_cast<uint8_t>(scaleValue == kPauseScaleValue ? 3 : scaleValue);
}

uint8_t NoteValueOf(const RingtoneNote &note) {
  return note.pitch == kPausePitch ? 0 : kNoteValueOfStep[note.pitch % kStepsPerScale];
}

// Writes a field given by its value (right-aligned) in width bits.
size_t PutField(std::span<uint8_t> out, size_t bitPos, unsigned value, unsigned width) {
  return PutBits(out, bitPos, static_cast<uint8_t>(value << (8 - width)), width);
}

unsigned CountInstructions(const Ringtone &tone, size_t noteCount) {
  unsigned count = 2;  // style and tempo
  unsigned previousScale = kPauseScaleValue;
  for (size_t i = 0; i < noteCount; ++i) {
    const unsigned scale = ScaleValueOf(tone.notes[i]);
    if (scale != previousScale) ++count;
    previousScale = scale;
    ++count;
  }
  return count;
}

size_t PutNote(std::span<uint8_t> out, size_t bitPos, const RingtoneNote &note) {
  // A length outside the table plays as a plain whole note.
  DurationTablePlace place{0, 0};
  FindDurationInTable(note.duration, place);
  bitPos = PutField(out, bitPos, kNoteInstructionId, 3);
  bitPos = PutField(out, bitPos, NoteValueOf(note), 4);
  bitPos = PutField(out, bitPos, place.row, 3);
  return PutField(out, bitPos, place.column, 2);
}

}  // namespace

size_t PutBits(std::span<uint8_t> buffer, size_t bitPos, uint8_t value, unsigned n) {
  n = std::min(n, 8u);
  for (unsigned i = 0; i < n; ++i, ++bitPos) {
    const size_t byte = bitPos / 8;
    if (byte >= buffer.size()) continue;
    const auto mask = static_cast<uint8_t>(0x80u >> (bitPos % 8));
    if (value & (0x80u >> i)) {
      buffer[byte] = static_cast<uint8_t>(buffer[byte] | mask);
    } else {
      buffer[byte] = static_cast<uint8_t>(buffer[byte] & ~mask);
    }
  }
  return bitPos;
}

size_t PadToByte(std::span<uint8_t> buffer, size_t bitPos) {
  const unsigned fill = static_cast<unsigned>((8 - bitPos % 8) % 8);
  return fill == 0 ? bitPos : PutBits(buffer, bitPos, 0, fill);
}

unsigned SmartTempoIndex(unsigned bpm) {
  for (unsigned index = 0; index < std::size(kTempoTable); ++index) {
    if (kTempoTable[index] >= bpm) return index;
  }
  return std::size(kTempoTable) - 1;
}

SmartRingtoneEncoding EncodeSmartRingtone(const Ringtone &tone, std::span<uint8_t> out) {
  const size_t noteCount = std::min<size_t>(tone.noteCount, kRingtoneMaxNotes);
  const unsigned instructionCount = CountInstructions(tone, noteCount);
  const auto nameLength = static_cast<unsigned>(
      std::min<size_t>(std::find(tone.name, tone.name + sizeof tone.name, '\0') - tone.name, kSmartRingtoneNameMax));

  size_t pos = 0;
  pos = PutField(out, pos, kCommandPartLength, 8);
  pos = PutField(out, pos, kCommandRingingToneProgramming, 7);
  pos = PadToByte(out, pos);
  pos = PutField(out, pos, kCommandSound, 7);
  pos = PutField(out, pos, kSongTypeBasic, 3);
  pos = PutField(out, pos, nameLength, 4);
  for (unsigned i = 0; i < nameLength; ++i) {
    pos = PutBits(out, pos, static_cast<uint8_t>(tone.name[i]), 8);
  }
  pos = PutField(out, pos, kOnePattern, 8);
  pos = PutField(out, pos, kPatternHeaderId, 3);
  pos = PutField(out, pos, kPatternIdA, 2);
  pos = PutField(out, pos, kNoLoop, 4);
  pos = PutField(out, pos, instructionCount & 0xFFu, 8);
  pos = PutField(out, pos, kStyleInstructionId, 3);
  pos = PutField(out, pos, kStyleContinuous, 2);
  pos = PutField(out, pos, kTempoInstructionId, 3);
  pos = PutField(out, pos, SmartTempoIndex(tone.tempo), 5);

  unsigned previousScale = kPauseScaleValue;
  for (size_t i = 0; i < noteCount; ++i) {
    const RingtoneNote &note = tone.notes[i];
    const unsigned scale = ScaleValueOf(note);
    if (scale != previousScale) {
      pos = PutField(out, pos, kScaleInstructionId, 3);
      pos = PutField(out, pos, ScaleBitsOf(scale), 2);
    }
    previousScale = scale;
    pos = PutNote(out, pos, note);
  }
  pos = PadToByte(out, pos);
  pos = PutField(out, pos, kCommandEnd, 8);

  SmartRingtoneEncoding result{SmartRingtoneStatus::kOk, pos / 8, instructionCount};
  if (instructionCount > kSmartRingtoneMaxInstructions) {
    result.status = SmartRingtoneStatus::kTooManyInstructions;
  } else if (result.length > out.size()) {
    result.status = SmartRingtoneStatus::kDoesNotFit;
  }
  return result;
}

}  // namespace pelkor
