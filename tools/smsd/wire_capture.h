// What the library's message list does not carry about a received message (its user data
// header, coding byte and raw bytes), taken from the library's own wire trace of the
// store's read answers.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace smsd {

struct ReceivedDetails {
  std::string coding;  // gsm, 8bit or ucs2
  std::optional<int> messageClass, concatReference, concatPart, concatTotal;
  std::vector<uint8_t> pdu;  // the read answer from the centre field on
};

// The read answer of the store (message type 0x14, command 0x08) for a received
// message, reassembled; nothing for any other message.
std::optional<ReceivedDetails> DecodeReadAnswer(const std::vector<uint8_t> &message);

class WireCapture {
 public:
  // Turns the library's trace on into a file of its own under `directory`. False when
  // the file cannot be opened; the daemon then works without the details.
  bool Start(const std::string &directory);
  void Stop();
  // Forgets what was traced so far: called before each read of the store.
  void Clear();
  // The details of every received message read since Clear(), by location.
  std::map<int, ReceivedDetails> ReadAnswers() const;

 private:
  std::string path_;
};

}  // namespace smsd
