#include "link/frame_format.h"

#include <cstring>

namespace pelkor {

uint8_t AlternateXor(const uint8_t *bytes, size_t first, size_t end) {
  uint8_t x = 0;
  for (size_t i = first; i < end; i += 2) x ^= bytes[i];
  return x;
}

size_t BuildFrame(uint8_t startByte, uint8_t type, const uint8_t *payload, uint8_t length, uint8_t *out) {
  size_t n = 0;
  out[n++] = startByte;
  out[n++] = kAddressPhone;
  out[n++] = kAddressHost;
  out[n++] = type;
  out[n++] = 0x00;
  out[n++] = length;
  if (length > 0) std::memcpy(out + n, payload, length);
  n += length;
  if (length % 2 != 0) out[n++] = 0x00;
  const size_t body = n;
  out[n++] = AlternateXor(out, 0, body);
  out[n++] = AlternateXor(out, 1, body);
  return n;
}

}  // namespace pelkor
