// Decoders for the payloads of SMS addressed to 16-bit application ports (ringing
// tones, logos ...), registered by the family that understands them and called by the
// SMS family for every message that carries a port header.
//
// Kept in this header (inline, one registry per process) so that it builds with the
// handler families without a build-file change.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <utility>

#include <nlohmann/json.hpp>

namespace phonesim {

using SmsPortDecoder = std::function<nlohmann::json(std::span<const uint8_t>)>;

namespace detail {

struct SmsPortRegistry {
  std::mutex mutex;
  std::map<uint16_t, SmsPortDecoder> decoders;
};

inline SmsPortRegistry &PortRegistry() {
  static SmsPortRegistry registry;
  return registry;
}

}  // namespace detail

// Sets the decoder for payloads sent to `port`; a later registration replaces it.
inline void RegisterSmsPortDecoder(uint16_t port, SmsPortDecoder decoder) {
  auto &registry = detail::PortRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.decoders[port] = std::move(decoder);
}

// What the decoder of `port` makes of `payload` (the user data after the header), or a
// null json when no decoder knows the port.
inline nlohmann::json DecodeSmsPortPayload(uint16_t port, std::span<const uint8_t> payload) {
  SmsPortDecoder decoder;
  {
    auto &registry = detail::PortRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const auto found = registry.decoders.find(port);
    if (found == registry.decoders.end() || !found->second) return nullptr;
    decoder = found->second;  // called outside the lock: a decoder may take its time
  }
  return decoder(payload);
}

}  // namespace phonesim
