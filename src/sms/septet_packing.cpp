#include "sms/septet_packing.h"

#include <cstring>

#include "sms/gsm_alphabet.h"

namespace pelkor {

namespace {

bool ValidFill(int fillBits) { return fillBits >= 0 && fillBits <= 7; }

}  // namespace

size_t PackSeptets(std::string_view text, int fillBits, uint8_t *out, size_t outCapacity) {
  if (out == nullptr || !ValidFill(fillBits)) return 0;

  size_t septets = text.size();
  while (septets > 0 && PackedOctets(septets, fillBits) > outCapacity) --septets;
  const size_t octets = PackedOctets(septets, fillBits);
  std::memset(out, 0, octets);

  size_t bit = static_cast<size_t>(fillBits);
  for (size_t n = 0; n < septets; ++n, bit += 7) {
    const unsigned septet = CharToGsm(text[n]);
    const size_t byte = bit / 8;
    const unsigned shift = bit % 8;
    out[byte] = static_cast<uint8_t>(out[byte] | (septet << shift));
    // A septet starting above bit 1 spills into the next octet.
    if (shift > 1) out[byte + 1] = static_cast<uint8_t>(septet >> (8 - shift));
  }
  return octets;
}

size_t PackSeptets(const char *text, int fillBits, uint8_t *out, size_t outCapacity) {
  return PackSeptets(text == nullptr ? std::string_view{} : std::string_view{text}, fillBits, out, outCapacity);
}

size_t UnpackSeptets(const uint8_t *in, size_t octetCount, int fillBits, size_t maxSeptets, uint8_t *out) {
  if (in == nullptr || out == nullptr || !ValidFill(fillBits)) return 0;

  const size_t totalBits = octetCount * 8;
  size_t bit = static_cast<size_t>(fillBits);
  size_t written = 0;
  while (written < maxSeptets && bit + 7 <= totalBits) {
    const size_t byte = bit / 8;
    const unsigned shift = bit % 8;
    unsigned value = static_cast<unsigned>(in[byte]) >> shift;
    if (shift > 1) value |= static_cast<unsigned>(in[byte + 1]) << (8 - shift);
    out[written++] = static_cast<uint8_t>(value & 0x7F);
    bit += 7;
  }
  return written;
}

}  // namespace pelkor
