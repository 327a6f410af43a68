#pragma once
// Message types and the one-time preparatory request shared by the phone services.
#include <cstdint>

namespace pelkor {

constexpr uint8_t kTypeCall = 0x01;
constexpr uint8_t kTypeStatus = 0x04;
constexpr uint8_t kTypeNetwork = 0x0A;
constexpr uint8_t kTypeDisplay = 0x0D;
constexpr uint8_t kTypeClock = 0x11;
constexpr uint8_t kTypeService = 0x40;
constexpr uint8_t kTypeVersion = 0xD1;

// Sends the preparatory request (type 0x40, 00 01 64 01) and sleeps 5 ms.
void SendPreparatoryRequest();
// The same, only the first time in a session. Returns true when it was sent.
bool SendPreparatoryRequestOnce();
// Whether the next SendPreparatoryRequestOnce sends: set as each session starts.
void SetPreparatoryRequestPending(bool pending);

}  // namespace pelkor
