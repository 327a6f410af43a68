#include "frame_codec.h"

#include <algorithm>
#include <cctype>

namespace phonesim {

std::pair<uint8_t, uint8_t> FrameChecksums(std::span<const uint8_t> bytes) {
  uint8_t even = 0;
  uint8_t odd = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i % 2 == 0) {
      even ^= bytes[i];
    } else {
      odd ^= bytes[i];
    }
  }
  return {even, odd};
}

std::vector<uint8_t> BuildPhoneFrame(uint8_t start, uint8_t type, std::span<const uint8_t> payload) {
  const size_t length = std::min<size_t>(payload.size(), 255);
  std::vector<uint8_t> frame;
  frame.reserve(kFrameHeaderSize + length + 3);
  frame.insert(frame.end(), {start, kComputerAddress, kPhoneAddress, type, 0x00, static_cast<uint8_t>(length)});
  frame.insert(frame.end(), payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(length));
  if (length % 2 != 0) frame.push_back(0x00);
  const auto [first, second] = FrameChecksums(frame);
  frame.push_back(first);
  frame.push_back(second);
  return frame;
}

FrameReader::Candidate FrameReader::Examine(size_t at, size_t &frameSize) const {
  const size_t available = buffer_.size() - at;
  auto byte = [&](size_t offset) { return buffer_[at + offset]; };
  // Check the header as far as it has arrived; any mismatch rules the position out.
  if (byte(0) != kCableStart && byte(0) != kInfraredStart) return Candidate::kNone;
  if (available > 1 && byte(1) != kPhoneAddress) return Candidate::kNone;
  if (available > 2 && byte(2) != kComputerAddress) return Candidate::kNone;
  if (available > 4 && byte(4) != 0x00) return Candidate::kNone;
  if (available < kFrameHeaderSize) return Candidate::kIncomplete;
  const size_t length = byte(5);
  frameSize = kFrameHeaderSize + length + (length % 2) + 2;
  if (available < frameSize) return Candidate::kIncomplete;
  const auto body = std::span<const uint8_t>(buffer_).subspan(at, frameSize - 2);
  const auto [first, second] = FrameChecksums(body);
  if (byte(frameSize - 2) != first || byte(frameSize - 1) != second) return Candidate::kNone;
  return Candidate::kComplete;
}

std::vector<Frame> FrameReader::Feed(std::span<const uint8_t> bytes) {
  std::vector<Frame> found;
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  for (;;) {
    size_t firstIncomplete = buffer_.size();
    bool complete = false;
    for (size_t at = 0; at < buffer_.size(); ++at) {
      size_t frameSize = 0;
      const Candidate candidate = Examine(at, frameSize);
      if (candidate == Candidate::kIncomplete && firstIncomplete == buffer_.size()) {
        firstIncomplete = at;
      } else if (candidate == Candidate::kComplete) {
        Frame frame;
        frame.start = buffer_[at];
        frame.type = buffer_[at + 3];
        const size_t length = buffer_[at + 5];
        const auto payloadBegin = buffer_.begin() + static_cast<std::ptrdiff_t>(at + kFrameHeaderSize);
        frame.payload.assign(payloadBegin, payloadBegin + static_cast<std::ptrdiff_t>(length));
        found.push_back(std::move(frame));
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(at + frameSize));
        complete = true;
        break;
      }
    }
    if (!complete) {
      // Nothing before the first possible frame start can ever become part of a frame.
      buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(firstIncomplete));
      return found;
    }
  }
}

std::string ToHex(std::span<const uint8_t> bytes) {
  static const char *digits = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) text.push_back(' ');
    text.push_back(digits[bytes[i] >> 4]);
    text.push_back(digits[bytes[i] & 0x0F]);
  }
  return text;
}

bool ParseHex(const std::string &text, std::vector<uint8_t> &out) {
  out.clear();
  int high = -1;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::isspace(c) || c == ',') {
      if (high >= 0) return false;  // a lone digit
      continue;
    }
    if (c == '0' && high < 0 && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
      ++i;
      continue;
    }
    if (!std::isxdigit(c)) return false;
    const int value = std::isdigit(c) ? c - '0' : std::toupper(c) - 'A' + 10;
    if (high < 0) {
      high = value;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | value));
      high = -1;
    }
  }
  return high < 0;
}

}  // namespace phonesim
