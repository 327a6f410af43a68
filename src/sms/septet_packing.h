#pragma once
// 7-bit packing of GSM text into octets, least significant bit first.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pelkor {

// Octets needed for `septets` septets after `fillBits` leading zero bits.
constexpr size_t PackedOctets(size_t septets, int fillBits) {
  return (7 * septets + static_cast<size_t>(fillBits) + 7) / 8;
}

// Converts each character with CharToGsm and packs the septets into out, the
// first septet starting at bit fillBits (0..7) of out[0]; the fill bits are zero.
// Only characters whose septet fits whole within outCapacity are packed.
// Returns the octets written; 0 for a bad fillBits or a null out.
size_t PackSeptets(std::string_view text, int fillBits, uint8_t *out, size_t outCapacity);

// Same for a zero-terminated text; a null text packs nothing.
size_t PackSeptets(const char *text, int fillBits, uint8_t *out, size_t outCapacity);

// The inverse: skips fillBits bits, then takes whole septets from the octetCount
// octets of in until they run out or maxSeptets codes are written to out.
// Returns the number of GSM codes written (not yet mapped to host characters).
size_t UnpackSeptets(const uint8_t *in, size_t octetCount, int fillBits, size_t maxSeptets, uint8_t *out);

}  // namespace pelkor
