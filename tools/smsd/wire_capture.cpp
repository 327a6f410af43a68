#include "wire_capture.h"

#include <pelkor16.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace smsd {
namespace {

constexpr uint8_t kStoreType = 0x14;
constexpr uint8_t kComputer = 0x0C;
constexpr size_t kTrailer = 2;  // frames left, sequence

// Offsets in the read answer of a received message.
constexpr size_t kLocationByte = 5;
constexpr size_t kMessageTypeByte = 7;
constexpr size_t kCentreByte = 8;
constexpr size_t kFirstOctetByte = 20;
constexpr size_t kCodingByte = 22;
constexpr size_t kUserDataByte = 43;
constexpr uint8_t kHeaderIndicator = 0x40;

std::string CodingName(uint8_t dcs) {
  // General group 00xx, and the message-class group 1111 (7-bit or 8-bit only).
  if ((dcs & 0xC0) == 0x00) {
    const uint8_t alphabet = dcs & 0x0C;
    return alphabet == 0x08 ? "ucs2" : alphabet == 0x04 ? "8bit" : "gsm";
  }
  if ((dcs & 0xF0) == 0xF0) return (dcs & 0x04) ? "8bit" : "gsm";
  if ((dcs & 0xF0) == 0xE0) return "ucs2";  // message waiting group, UCS-2
  return "gsm";
}

std::optional<int> ClassOf(uint8_t dcs) {
  if ((dcs & 0xC0) == 0x00 && (dcs & 0x10)) return dcs & 0x03;
  if ((dcs & 0xF0) == 0xF0) return dcs & 0x03;
  return std::nullopt;
}

}  // namespace

std::optional<ReceivedDetails> DecodeReadAnswer(const std::vector<uint8_t> &m) {
  if (m.size() < kUserDataByte + kTrailer || m[3] != 0x08 || m[kMessageTypeByte] != 0x00) return std::nullopt;
  ReceivedDetails d;
  const uint8_t dcs = m[kCodingByte];
  d.coding = CodingName(dcs);
  d.messageClass = ClassOf(dcs);
  const size_t end = m.size() - kTrailer;
  d.pdu.assign(m.begin() + kCentreByte, m.begin() + static_cast<long>(end));
  if (m[kFirstOctetByte] & kHeaderIndicator) {
    const size_t headerEnd = kUserDataByte + 1 + m[kUserDataByte];
    // Information elements: identifier, length, data. Concatenation with an 8-bit
    // reference (00) or a 16-bit one (08).
    for (size_t i = kUserDataByte + 1; i + 1 < headerEnd && headerEnd <= end;) {
      const uint8_t id = m[i], length = m[i + 1];
      if (i + 2 + length > headerEnd) break;
      const uint8_t *data = &m[i + 2];
      if (id == 0x00 && length == 3 && data[1] > 0 && data[2] >= 1 && data[2] <= data[1]) {
        d.concatReference = data[0];
        d.concatTotal = data[1];
        d.concatPart = data[2];
      } else if (id == 0x08 && length == 4 && data[2] > 0 && data[3] >= 1 && data[3] <= data[2]) {
        d.concatReference = data[0] << 8 | data[1];
        d.concatTotal = data[2];
        d.concatPart = data[3];
      }
      i += 2 + length;
    }
  }
  return d;
}

bool WireCapture::Start(const std::string &directory) {
  path_ = directory + "/wire-" + std::to_string(::getpid()) + ".trace";
  if (pelkor_settrace(path_.c_str()) != PELKOR_OK) {
    path_.clear();
    return false;
  }
  return true;
}

void WireCapture::Stop() {
  if (path_.empty()) return;
  pelkor_settrace(nullptr);
  ::unlink(path_.c_str());
  path_.clear();
}

void WireCapture::Clear() {
  // The trace appends: cut the file and the next line starts it afresh.
  if (!path_.empty()) {
    const int result = ::truncate(path_.c_str(), 0);
    (void)result;
  }
}

std::map<int, ReceivedDetails> WireCapture::ReadAnswers() const {
  std::map<int, ReceivedDetails> found;
  if (path_.empty()) return found;
  std::ifstream in(path_);
  std::string line;
  std::vector<uint8_t> message;  // the message of type 0x14 being reassembled
  std::vector<uint8_t> previous;
  while (std::getline(in, line)) {
    // "hh:mm:ss.mmm rx  NN: 1E 0C 00 14 ..."
    const size_t colon = line.find(": ");
    if (line.find(" rx ") == std::string::npos || colon == std::string::npos) continue;
    std::istringstream hex(line.substr(colon + 1));
    std::vector<uint8_t> frame;
    unsigned value = 0;
    while (hex >> std::hex >> value) frame.push_back(static_cast<uint8_t>(value));
    if (frame.size() < 8 || frame[1] != kComputer || frame[3] != kStoreType) continue;
    const size_t length = static_cast<size_t>(frame[4]) << 8 | frame[5];
    if (length < kTrailer || 6 + length > frame.size()) continue;
    // A frame the phone sent again (its acknowledgement was late) is taken once.
    if (frame == previous) continue;
    previous = frame;
    const uint8_t framesLeft = frame[6 + length - kTrailer];
    // A message of several frames: each frame's data without its trailer, the last
    // frame's trailer kept at the end.
    message.insert(message.end(), frame.begin() + 6, frame.begin() + 6 + static_cast<long>(length - kTrailer));
    if (framesLeft > 1) continue;
    message.insert(message.end(), frame.begin() + 6 + static_cast<long>(length - kTrailer),
                   frame.begin() + 6 + static_cast<long>(length));
    if (message.size() > kLocationByte)
      if (auto details = DecodeReadAnswer(message)) found[message[kLocationByte]] = std::move(*details);
    message.clear();
  }
  return found;
}

}  // namespace smsd
