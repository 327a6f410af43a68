#pragma once
#include <cstddef>
#include <cstdint>

namespace pelkor {

// Splits one message into frames of at most 120 message bytes, numbers and writes
// them. Returns 1 whatever the writes did, except that a message needing more than
// 255 frames cannot be numbered and is refused (0) with nothing written.
int32_t Send(size_t length, uint8_t type, const uint8_t *bytes);

// Writes one frame; 1 when it went out whole. Counts data frames in framesSent.
int32_t WriteFrame(uint8_t length, uint8_t type, const uint8_t *payload);

// Acknowledges a received frame unless it repeats the last acknowledgement.
int32_t SendAck(uint8_t type, uint8_t number);

}  // namespace pelkor
