#pragma once
#include <cstdint>

namespace pelkor {

// The phone's beep: on = the preparatory request, 10 ms, then the tone-on request
// (2500 Hz); off = the tone-off request. Nothing is awaited.
void SendBeep(bool on);

}  // namespace pelkor
