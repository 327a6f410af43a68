#pragma once
// Storing a message at a location of the phone's message store (message type 0x14,
// command 0x04): the request carries the message laid out as the phone's read reply
// gives it back, so that a backup read from the store can be written to it again.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelkor {

constexpr uint8_t kSmsStoreType = 0x14;

// What one stored message holds. time: year (two or four digits), month, day, hour,
// minute, second; kept for received messages only.
struct StoredSms {
  int32_t location = 0;
  int32_t kindCode = 13;    // 13 received, 11 stored outgoing
  bool read = true;         // read (received) or sent (outgoing)
  const char *number = "";  // sender or recipient: digits, or a name (alphanumeric)
  const char *text = "";    // UTF-8, one message's worth
  int32_t time[6] = {};
};

// The request; 0, 21 for text that needs more than one message, 22 for a location
// outside 1-255, a kind that cannot be stored, text that is not UTF-8 or a number
// that is neither digits nor a name of at most 11 GSM characters.
int32_t BuildSaveRequest(const StoredSms &message, std::vector<uint8_t> &out);

// Sends it and waits up to 5 s: 0 stored, 22 refused by the phone (or locally), 21, 4.
int32_t SaveSms(const StoredSms &message);

// pelkor_savesms_utf8: SaveSms of a message given field by field. A null number or text
// is empty; a null time leaves the time zero. read: non-zero for read (or sent).
int32_t SaveSmsMessage(int32_t location, int32_t kindCode, int32_t read, const char *number, const char *text,
                       const int32_t *time);

}  // namespace pelkor
