// The ringing-tone bit stream and the messages that carry it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "ringtone/ringtone_messages.h"
#include "ringtone/ringtone_model.h"
#include "ringtone/smart_ringtone.h"

namespace {

using pelkor::EncodeSmartRingtone;
using pelkor::Ringtone;
using pelkor::RingtoneNote;
using pelkor::SmartRingtoneStatus;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kPause = 255;

Ringtone MakeTone(const char *name, std::uint16_t tempo, std::initializer_list<RingtoneNote> notes) {
  Ringtone tone{};
  std::strncpy(tone.name, name, sizeof tone.name - 1);
  tone.tempo = tempo;
  for (const RingtoneNote &note : notes) tone.notes[tone.noteCount++] = note;
  return tone;
}

// A tone of count notes, all c in scale 1 (one scale instruction in all).
Ringtone SameScaleTone(const char *name, std::size_t count) {
  Ringtone tone = MakeTone(name, 100, {});
  for (std::size_t i = 0; i < count; ++i) tone.notes[i] = {32, 14};
  tone.noteCount = static_cast<std::uint16_t>(count);
  return tone;
}

Bytes Encode(const Ringtone &tone) {
  std::array<std::uint8_t, pelkor::kSmartRingtoneMaxBytes> out{};
  const auto encoding = EncodeSmartRingtone(tone, out);
  EXPECT_EQ(encoding.status, SmartRingtoneStatus::kOk);
  return Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(encoding.length));
}

// Reads fields back the way a receiving phone does; written here from the format, not
// from the encoder.
class BitReader {
 public:
  explicit BitReader(const Bytes &bytes) : bytes_(bytes) {}
  unsigned Read(unsigned n) {
    unsigned value = 0;
    for (unsigned i = 0; i < n; ++i, ++pos_) {
      const unsigned bit = pos_ / 8 < bytes_.size() ? (bytes_[pos_ / 8] >> (7 - pos_ % 8)) & 1u : 0u;
      value = value << 1 | bit;
    }
    return value;
  }
  void SkipToByte() { pos_ = (pos_ + 7) / 8 * 8; }
  std::size_t Position() const { return pos_; }

 private:
  const Bytes &bytes_;
  std::size_t pos_ = 0;
};

struct DecodedTone {
  std::string name;
  unsigned instructionCount = 0;
  unsigned scaleInstructions = 0;
  std::vector<std::array<unsigned, 4>> notes;  // scale, value, duration code, specifier
  bool endsCleanly = false;
};

DecodedTone Decode(const Bytes &bytes) {
  DecodedTone tone;
  BitReader in(bytes);
  EXPECT_EQ(in.Read(8), 2u);
  EXPECT_EQ(in.Read(7), 0x25u);
  in.SkipToByte();
  EXPECT_EQ(in.Read(7), 0x1Du);
  EXPECT_EQ(in.Read(3), 1u);
  const unsigned nameLength = in.Read(4);
  for (unsigned i = 0; i < nameLength; ++i) tone.name += static_cast<char>(in.Read(8));
  EXPECT_EQ(in.Read(8), 1u);
  in.Read(3 + 2 + 4);
  tone.instructionCount = in.Read(8);
  unsigned scale = 0;
  for (unsigned i = 0; i < tone.instructionCount; ++i) {
    switch (in.Read(3)) {
      case 3:
        in.Read(2);
        break;
      case 4:
        in.Read(5);
        break;
      case 2:
        scale = in.Read(2);
        ++tone.scaleInstructions;
        break;
      case 1: {
        const unsigned value = in.Read(4);
        const unsigned code = in.Read(3);
        tone.notes.push_back({scale, value, code, in.Read(2)});
        break;
      }
      default:
        ADD_FAILURE() << "unknown instruction " << i;
        return tone;
    }
  }
  const std::size_t padStart = in.Position();
  in.SkipToByte();
  const unsigned padBits = static_cast<unsigned>(in.Position() - padStart);
  BitReader pad(bytes);
  pad.Read(static_cast<unsigned>(padStart));
  tone.endsCleanly = pad.Read(padBits) == 0 && in.Read(8) == 0 && in.Position() == bytes.size() * 8;
  return tone;
}

TEST(SmartRingtoneTest, EncodesTheReferenceTonesByteForByte) {
  EXPECT_EQ(Encode(MakeTone("A", 100, {{32, 14}})),
            (Bytes{0x02, 0x4A, 0x3A, 0x45, 0x04, 0x04, 0x00, 0x08, 0xD8, 0xC4, 0x91, 0x40, 0x00}));
  EXPECT_EQ(
      Encode(MakeTone("A", 100, {{32, 14}, {32, kPause}, {16, 28}})),
      (Bytes{0x02, 0x4A, 0x3A, 0x45, 0x04, 0x04, 0x00, 0x10, 0xD8, 0xC4, 0x91, 0x42, 0xC8, 0x21, 0x44, 0x58, 0x00}));
  EXPECT_EQ(Encode(MakeTone("", 63, {})), (Bytes{0x02, 0x4A, 0x3A, 0x40, 0x04, 0x00, 0x04, 0xD8, 0x80, 0x00}));
}

TEST(SmartRingtoneTest, TempoIsRoundedUpToTheTable) {
  EXPECT_EQ(pelkor::SmartTempoIndex(64), 9u);
  EXPECT_EQ(pelkor::SmartTempoIndex(63), 8u);
  EXPECT_EQ(pelkor::SmartTempoIndex(0), 0u);
  EXPECT_EQ(pelkor::SmartTempoIndex(25), 0u);
  EXPECT_EQ(pelkor::SmartTempoIndex(26), 1u);
  EXPECT_EQ(pelkor::SmartTempoIndex(900), 31u);
  EXPECT_EQ(pelkor::SmartTempoIndex(1000), 31u);
  EXPECT_EQ(pelkor::SmartTempoIndex(65535), 31u);
}

TEST(SmartRingtoneTest, InstructionCountMatchesWhatIsWritten) {
  // Three notes in one scale share one scale instruction: 2 + 1 + 3.
  const Ringtone shared = MakeTone("Same", 120, {{32, 14}, {16, 16}, {8, 18}});
  const DecodedTone decoded = Decode(Encode(shared));
  EXPECT_EQ(decoded.instructionCount, 6u);
  EXPECT_EQ(decoded.scaleInstructions, 1u);
  EXPECT_EQ(decoded.notes.size(), 3u);
  EXPECT_TRUE(decoded.endsCleanly);

  // A scale-3 tone after a pause still gets its scale, though both are written 11;
  // a leading pause gets none.
  const Ringtone pauses = MakeTone("P", 120, {{32, kPause}, {32, 42}, {32, kPause}, {32, kPause}});
  const DecodedTone withPauses = Decode(Encode(pauses));
  EXPECT_EQ(withPauses.scaleInstructions, 2u);
  EXPECT_EQ(withPauses.instructionCount, 8u);
  EXPECT_TRUE(withPauses.endsCleanly);
}

TEST(SmartRingtoneTest, NotesCarryValueScaleAndLength) {
  const Ringtone tone = MakeTone("N", 120,
                                 {{192, 55 - 12},  // c# scale 3, dotted whole
                                  {144, 12},       // b scale 0, double-dotted half
                                  {21, 25},        // a# scale 1, two-thirds quarter
                                  {9, 5},          // unused step: sounds as a pause
                                  {100, 14},       // length not in the table
                                  {2, 13 + 14}});  // unused step 13
  const DecodedTone decoded = Decode(Encode(tone));
  ASSERT_EQ(decoded.notes.size(), 6u);
  EXPECT_EQ(decoded.notes[0], (std::array<unsigned, 4>{3, 2, 0, 1}));
  EXPECT_EQ(decoded.notes[1], (std::array<unsigned, 4>{0, 12, 1, 2}));
  EXPECT_EQ(decoded.notes[2], (std::array<unsigned, 4>{1, 11, 2, 3}));
  EXPECT_EQ(decoded.notes[3], (std::array<unsigned, 4>{0, 0, 5, 2}));
  // Outside the table: a plain whole note, not the previous note's specifier.
  EXPECT_EQ(decoded.notes[4], (std::array<unsigned, 4>{1, 1, 0, 0}));
  EXPECT_EQ(decoded.notes[5], (std::array<unsigned, 4>{1, 0, 5, 3}));
  EXPECT_TRUE(decoded.endsCleanly);
}

TEST(SmartRingtoneTest, LongNamesAreCutToFifteenCharacters) {
  Ringtone tone = MakeTone("NineteenCharacters!", 100, {{32, 14}});
  const DecodedTone decoded = Decode(Encode(tone));
  EXPECT_EQ(decoded.name, "NineteenCharact");
  EXPECT_TRUE(decoded.endsCleanly);
}

TEST(SmartRingtoneTest, InstructionCountThatWouldWrapIsReported) {
  std::array<std::uint8_t, pelkor::kSmartRingtoneMaxBytes> out{};

  // Alternating tones and pauses need a scale instruction each: 2 + 2 * 127 = 256.
  Ringtone alternating = MakeTone("Alt", 100, {});
  for (std::size_t i = 0; i < 127; ++i) alternating.notes[i] = {16, i % 2 ? kPause : std::uint16_t{14}};
  alternating.noteCount = 127;
  auto encoding = EncodeSmartRingtone(alternating, out);
  EXPECT_EQ(encoding.status, SmartRingtoneStatus::kTooManyInstructions);
  EXPECT_EQ(encoding.instructionCount, 256u);
  alternating.noteCount = 126;
  EXPECT_EQ(EncodeSmartRingtone(alternating, out).status, SmartRingtoneStatus::kOk);

  // The largest tone that still counts: 253 pauses and a full name fit the buffer size.
  Ringtone pauses = MakeTone("FifteenLetters!", 100, {});
  for (std::size_t i = 0; i < 253; ++i) pauses.notes[i] = {32, kPause};
  pauses.noteCount = 253;
  encoding = EncodeSmartRingtone(pauses, out);
  EXPECT_EQ(encoding.status, SmartRingtoneStatus::kOk);
  EXPECT_EQ(encoding.instructionCount, 255u);
  EXPECT_EQ(Decode(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(encoding.length))).notes.size(), 253u);
  pauses.noteCount = 254;
  EXPECT_EQ(EncodeSmartRingtone(pauses, out).status, SmartRingtoneStatus::kTooManyInstructions);
}

TEST(SmartRingtoneTest, ShortBuffersAreNeverOverrun) {
  const Ringtone tone = MakeTone("A", 100, {{32, 14}});
  std::array<std::uint8_t, 16> guarded{};
  guarded.fill(0xEE);
  const auto encoding = EncodeSmartRingtone(tone, std::span<std::uint8_t>(guarded.data(), 12));
  EXPECT_EQ(encoding.status, SmartRingtoneStatus::kDoesNotFit);
  EXPECT_EQ(encoding.length, 13u);
  for (std::size_t i = 12; i < guarded.size(); ++i) EXPECT_EQ(guarded[i], 0xEE) << i;
}

TEST(BitWriterTest, PutBitsAndPadToByteWriteOnlyTheirBits) {
  std::array<std::uint8_t, 3> buffer{0xFF, 0xFF, 0xFF};
  std::size_t pos = pelkor::PutBits(buffer, 0, 0x40, 3);  // 010
  EXPECT_EQ(pos, 3u);
  pos = pelkor::PutBits(buffer, pos, 0xA5, 8);  // crosses into byte 1
  EXPECT_EQ(pos, 11u);
  EXPECT_EQ(buffer[0], 0x54);  // 010 10100
  EXPECT_EQ(buffer[1], 0xBF);  // 101 then untouched 11111
  pos = pelkor::PadToByte(buffer, pos);
  EXPECT_EQ(pos, 16u);
  EXPECT_EQ(buffer[1], 0xA0);
  EXPECT_EQ(pelkor::PadToByte(buffer, pos), 16u);  // already on a boundary
  EXPECT_EQ(buffer[2], 0xFF);

  // Past the end nothing is written, but the position still advances.
  std::array<std::uint8_t, 2> outer{0x00, 0x77};
  EXPECT_EQ(pelkor::PutBits(std::span<std::uint8_t>(outer.data(), 1), 4, 0xFF, 8), 12u);
  EXPECT_EQ(outer[0], 0x0F);
  EXPECT_EQ(outer[1], 0x77);
}

TEST(RingtoneMessagesTest, UploadMessagesWrapTheTone) {
  const Ringtone tone = MakeTone("A", 100, {{32, 14}});
  const Bytes encoded = Encode(tone);

  pelkor::RingtoneUploadMessage message{};
  ASSERT_EQ(pelkor::BuildRingtoneUploadMessage(tone, 0, message), 0);
  EXPECT_EQ(message.messageType, 0x12);
  Bytes expected{0x0C, 0x01, 0x06, 0x05, 0x04, 0x15, 0x81, 0x15, 0x81};
  expected.insert(expected.end(), encoded.begin(), encoded.end());
  expected.push_back(0x01);
  EXPECT_EQ(Bytes(message.bytes.begin(), message.bytes.begin() + static_cast<std::ptrdiff_t>(message.length)),
            expected);
  EXPECT_EQ(message.length, 23u);

  ASSERT_EQ(pelkor::BuildRingtoneUploadMessage(tone, 7, message), 0);
  EXPECT_EQ(message.messageType, 0x05);
  expected = {0x00, 0x01, 0x00, 0x36, 0x00, 0x00, 0x0D};
  expected.insert(expected.end(), encoded.begin(), encoded.end());
  expected.push_back(0x01);
  EXPECT_EQ(Bytes(message.bytes.begin(), message.bytes.begin() + static_cast<std::ptrdiff_t>(message.length)),
            expected);
  EXPECT_EQ(message.length, 21u);
}

TEST(RingtoneMessagesTest, SmsPayloadIsTheToneBehindAPortHeader) {
  const Ringtone tone = MakeTone("A", 100, {{32, 14}});
  pelkor::RingtoneSmsPayload payload{};
  ASSERT_EQ(pelkor::BuildRingtoneSmsPayload(tone, payload), 0);
  EXPECT_EQ(Bytes(payload.tone.begin(), payload.tone.begin() + static_cast<std::ptrdiff_t>(payload.length)),
            Encode(tone));
  EXPECT_EQ(Bytes(pelkor::kRingtoneSmsHeader.begin(), pelkor::kRingtoneSmsHeader.end()),
            (Bytes{0x06, 0x05, 0x04, 0x15, 0x81, 0x15, 0x81}));
  EXPECT_EQ(payload.length + pelkor::kRingtoneSmsHeader.size(), 20u);
}

// Tones whose encoding is exactly at and just past each limit.
TEST(RingtoneMessagesTest, TonesTooLongForTheirMessageAreRefused) {
  const Ringtone upload245 = SameScaleTone("", 156);
  const Ringtone upload246 = SameScaleTone("A", 156);
  const Ringtone upload247 = SameScaleTone("A", 157);
  const Ringtone upload248 = SameScaleTone("AB", 157);
  ASSERT_EQ(Encode(upload245).size(), 245u);
  ASSERT_EQ(Encode(upload246).size(), 246u);
  ASSERT_EQ(Encode(upload247).size(), 247u);
  ASSERT_EQ(Encode(upload248).size(), 248u);

  pelkor::RingtoneUploadMessage message{};
  EXPECT_EQ(pelkor::BuildRingtoneUploadMessage(upload245, 0, message), 0);
  EXPECT_EQ(message.length, 255u);
  EXPECT_EQ(pelkor::BuildRingtoneUploadMessage(upload246, 0, message), 22);
  EXPECT_EQ(message.length, 0u);
  EXPECT_EQ(pelkor::BuildRingtoneUploadMessage(upload247, 1, message), 0);
  EXPECT_EQ(message.length, 255u);
  EXPECT_EQ(message.bytes[6], 247);
  EXPECT_EQ(pelkor::BuildRingtoneUploadMessage(upload248, 1, message), 22);
  EXPECT_EQ(message.length, 0u);

  const Ringtone sms133 = SameScaleTone("A", 81);
  const Ringtone sms134 = SameScaleTone("AB", 81);
  ASSERT_EQ(Encode(sms133).size(), 133u);
  ASSERT_EQ(Encode(sms134).size(), 134u);
  pelkor::RingtoneSmsPayload payload{};
  EXPECT_EQ(pelkor::BuildRingtoneSmsPayload(sms133, payload), 0);
  EXPECT_EQ(payload.length, 133u);
  EXPECT_EQ(pelkor::BuildRingtoneSmsPayload(sms134, payload), 22);
  EXPECT_EQ(payload.length, 0u);

  // A count that would wrap is refused even where the bytes would fit.
  Ringtone alternating = MakeTone("", 100, {});
  for (std::size_t i = 0; i < 128; ++i) alternating.notes[i] = {16, i % 2 ? kPause : std::uint16_t{14}};
  alternating.noteCount = 128;
  EXPECT_EQ(pelkor::BuildRingtoneUploadMessage(alternating, 0, message), 22);
}

}  // namespace
