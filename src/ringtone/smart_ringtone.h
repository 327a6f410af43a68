// The ringing-tone bit stream that phones take by FBUS upload or by Smart Messaging SMS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ringtone/ringtone_model.h"

namespace pelkor {

inline constexpr size_t kSmartRingtoneNameMax = 15;             // the name length field has 4 bits
inline constexpr unsigned kSmartRingtoneMaxInstructions = 255;  // the count field has 8 bits
// Room for the longest tone whose instruction count fits its field (253 notes, one scale).
inline constexpr size_t kSmartRingtoneMaxBytes = 405;

// Writes the n (1..8) most significant bits of value at bit position bitPos, most
// significant bit first, and returns bitPos + n. Bits beyond the buffer are dropped, so a
// caller detects overflow by comparing the returned position with the buffer size.
size_t PutBits(std::span<uint8_t> buffer, size_t bitPos, uint8_t value, unsigned n);

// Clears the bits up to the next byte boundary and returns that boundary.
size_t PadToByte(std::span<uint8_t> buffer, size_t bitPos);

// Index into the tempo table: the slowest entry at least as fast as bpm; 31 above 900.
unsigned SmartTempoIndex(unsigned bpm);

enum class SmartRingtoneStatus {
  kOk,
  kDoesNotFit,           // the encoding is longer than the output buffer
  kTooManyInstructions,  // more than 255 instructions: the count field would wrap
};

struct SmartRingtoneEncoding {
  SmartRingtoneStatus status;
  size_t length;              // bytes of the complete encoding (also when it did not fit)
  unsigned instructionCount;  // style, tempo, scale and note instructions written
};

// Encodes tone into out. Only an Ok result leaves a usable encoding in out[0, length).
SmartRingtoneEncoding EncodeSmartRingtone(const Ringtone &tone, std::span<uint8_t> out);

}  // namespace pelkor
