#pragma once
#include <cstdint>

namespace pelkor {

// Per-byte callback of the watch thread: slides the byte into the receive window and
// dispatches a message when the byte completes one.
void OnByte(uint8_t byte);

// Slides the byte into the window and looks for a frame ending with it: FindFrame's
// result. OnByte is this and the dispatch of a completed message.
int32_t ReceiveByte(uint8_t byte);

// Recognises a frame ending at the newest byte of the window, acknowledges it and
// collects its payload; returns 1 when a complete message is in the message buffer.
int32_t FindFrame();

// Empties the window and any half-collected message (before the watch thread starts).
void ResetReceiver();

}  // namespace pelkor
