#pragma once
#include <cstdint>

namespace pelkor {

// Synchronises the line and, on the cable, tells the phone to start talking. Runs from
// Initialise and from the keep-alive after a silence; a second call while one runs
// returns at once.
void InitLink();

// Sends the phone-status request (type 0x04). Returns 0.
int32_t RequestStatus();

}  // namespace pelkor
