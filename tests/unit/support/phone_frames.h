#pragma once
// Frames as the phone sends them, for tests that feed the receiver.
#include <cstdint>
#include <vector>

#include "link/frame_format.h"

namespace pelkor::testing {

// A frame as the phone sends it: destination 0x0C, source 0x00.
inline std::vector<uint8_t> PhoneFrame(uint8_t type, const std::vector<uint8_t> &payload, uint8_t start = kStartCable) {
  std::vector<uint8_t> f = {start, kAddressHost, kAddressPhone, type, 0x00, static_cast<uint8_t>(payload.size())};
  f.insert(f.end(), payload.begin(), payload.end());
  if (payload.size() % 2) f.push_back(0x00);
  const size_t body = f.size();
  f.push_back(AlternateXor(f.data(), 0, body));
  f.push_back(AlternateXor(f.data(), 1, body));
  return f;
}

// A message's bytes followed by its frames-left and sequence bytes.
inline std::vector<uint8_t> DataPayload(std::vector<uint8_t> message, uint8_t framesLeft, uint8_t sequence) {
  message.push_back(framesLeft);
  message.push_back(sequence);
  return message;
}

}  // namespace pelkor::testing
