// FBUS framing as the phone sees it: frames we build carry the phone's addresses
// (destination 0x0C = the computer, source 0x00 = the phone); frames we accept must be
// addressed the other way round (destination 0x00, source 0x0C).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace phonesim {

inline constexpr uint8_t kCableStart = 0x1E;
inline constexpr uint8_t kInfraredStart = 0x1C;
inline constexpr uint8_t kComputerAddress = 0x0C;
inline constexpr uint8_t kPhoneAddress = 0x00;
inline constexpr uint8_t kAckType = 0x7F;
inline constexpr size_t kFrameHeaderSize = 6;
// Header + 255 payload bytes + pad + two checksums.
inline constexpr size_t kMaxFrameSize = kFrameHeaderSize + 255 + 1 + 2;

// One frame as it sat on the wire, checksums verified.
struct Frame {
  uint8_t start = kCableStart;
  uint8_t type = 0;
  std::vector<uint8_t> payload;  // L bytes; for data frames the trailer is included
};

// Whole frame from the phone to the computer. Payload is cut at 255 bytes, the most
// the one-byte length can say.
std::vector<uint8_t> BuildPhoneFrame(uint8_t start, uint8_t type, std::span<const uint8_t> payload);

// The two XOR checksums over bytes [0, size): first over even offsets, second over odd.
std::pair<uint8_t, uint8_t> FrameChecksums(std::span<const uint8_t> bytes);

// Finds the computer's frames in a byte stream that may hold noise, sync bytes
// (0x55, 0xC1), wake-up bursts, torn or corrupt frames. The earliest complete frame
// with good checksums wins; bytes before it are passed over. A possible frame that is
// still incomplete keeps its bytes until a later complete frame proves it wrong.
class FrameReader {
 public:
  // Appends bytes and returns every frame they complete, in order.
  std::vector<Frame> Feed(std::span<const uint8_t> bytes);
  // Bytes held back as the possible start of a frame.
  size_t Pending() const { return buffer_.size(); }
  void Reset() { buffer_.clear(); }

 private:
  enum class Candidate { kNone, kIncomplete, kComplete };
  Candidate Examine(size_t at, size_t &frameSize) const;

  std::vector<uint8_t> buffer_;
};

std::string ToHex(std::span<const uint8_t> bytes);  // "1E 00 0C"
// Parses hex pairs, spaces and commas ignored, optional 0x prefixes; false on junk.
bool ParseHex(const std::string &text, std::vector<uint8_t> &out);

}  // namespace phonesim
