#pragma once
// FBUS frames: start byte, destination, source, type, 16-bit length, payload, a pad
// byte to even length, then two XOR checksums over the even and the odd offsets.
#include <cstddef>
#include <cstdint>

namespace pelkor {

constexpr uint8_t kStartCable = 0x1E;
constexpr uint8_t kStartInfrared = 0x1C;
constexpr uint8_t kAddressPhone = 0x00;
constexpr uint8_t kAddressHost = 0x0C;
constexpr uint8_t kTypeAck = 0x7F;
constexpr uint8_t kFirstFrameBit = 0x40;
constexpr size_t kMaxBlock = 120;      // message bytes per frame the library sends
constexpr size_t kMaxFrameSize = 264;  // 6 header + 255 payload + pad + 2 checksums

constexpr size_t FrameSize(size_t payloadLength) { return 6 + payloadLength + (payloadLength % 2) + 2; }

// Builds a frame from the host to the phone into `out` (at least kMaxFrameSize bytes)
// and returns its length.
size_t BuildFrame(uint8_t startByte, uint8_t type, const uint8_t *payload, uint8_t length, uint8_t *out);

// XOR of the bytes at offsets first, first + 2, ... below `end`.
uint8_t AlternateXor(const uint8_t *bytes, size_t first, size_t end);

}  // namespace pelkor
