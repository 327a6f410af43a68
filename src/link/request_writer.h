#pragma once
// The head almost every request to the phone starts with, 00 01 00 command, written in
// one place: as a whole request known in advance (CommandRequest), or at the start of
// one built byte by byte (RequestWriter::Command).
#include <array>
#include <cstddef>
#include <cstdint>

namespace pelkor {

// 00 01 00 `command`, then `bytes`.
template <typename... Bytes>
constexpr std::array<uint8_t, 4 + sizeof...(Bytes)> CommandRequest(uint8_t command, Bytes... bytes) {
  return {0x00, 0x01, 0x00, command, static_cast<uint8_t>(bytes)...};
}

// Appends to a request in a fixed buffer and keeps its length. Each buffer covers the
// longest request of its kind, so the bound only guards against fields that break their
// own limits: what does not fit is dropped.
class RequestWriter {
 public:
  RequestWriter(uint8_t *bytes, size_t capacity, size_t &length) : bytes_(bytes), capacity_(capacity), length_(length) {
    length_ = 0;
  }
  template <size_t N>
  RequestWriter(uint8_t (&bytes)[N], size_t &length) : RequestWriter(bytes, N, length) {}

  void Command(uint8_t command) {
    for (const uint8_t byte : CommandRequest(command)) Put(byte);
  }
  void Put(uint8_t byte) {
    if (length_ < capacity_) bytes_[length_++] = byte;
  }
  void Put(const void *bytes, size_t count) {
    const auto *source = static_cast<const uint8_t *>(bytes);
    for (size_t i = 0; i < count; ++i) Put(source[i]);
  }
  void PutLow(int32_t value) { Put(static_cast<uint8_t>(value & 0xFF)); }
  // A length byte, then the text's bytes.
  void PutCountedText(const char *text, size_t length) {
    Put(static_cast<uint8_t>(length));
    Put(text, length);
  }

 private:
  uint8_t *bytes_;
  size_t capacity_;
  size_t &length_;
};

}  // namespace pelkor
