#pragma once
// What the soak knows of the simulated phone: the state it starts from, how its state
// document reads, and how the phone lays out its SMS store, logos and memories.
#include <cstdint>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace pelkor_soak {

constexpr int kStoreCapacity = 10;                                   // SMS locations, as in kInitialState
constexpr int kPhoneMemory = 0, kSimMemory = 1, kMissingMemory = 6;  // host memory types
constexpr int kCapacityPhone = 100, kCapacitySim = 150;

// Characters that the GSM default alphabet carries one for one.
inline constexpr char kGsmSafe[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,:;!?()+-*/=<>%&'\"#";

// The phone's state when the soak begins.
extern const char *const kInitialState;

// Seconds since the epoch of a calendar time taken as UTC.
std::time_t SecondsOf(int year, int month, int day, int hour, int minute, int second);

std::vector<uint8_t> ParseHex(const std::string &text);
std::string Hex(const std::vector<uint8_t> &bytes);

// The value at a JSON pointer, or nullptr; its text or number, or the fallback.
const nlohmann::json *At(const nlohmann::json &root, const std::string &pointer);
std::string TextAt(const nlohmann::json &root, const std::string &pointer);
int IntAt(const nlohmann::json &root, const std::string &pointer, int fallback);

// ---- the SMS store ----

struct StoredMessage {
  int location = 0;
  std::string kind, coding, text, party;
  int status = 0;
};

// The store's messages in location order.
std::vector<StoredMessage> StoreOf(const nlohmann::json &state);
// The library's list code of a kind of message (11 sent, 12 report, 13 received).
int KindCode(const std::string &kind);
// The text the library gives for a status report of this status.
std::string ReportText(int status);

// ---- logos ----

int Width(int kind);
int Height(int kind);
// Where a pixel's bit lives, as the phone keeps the bitmap.
std::pair<size_t, int> BitOf(int kind, int x, int y);
// The state's path of the logo of this kind (of this caller group).
std::string LogoSlot(int kind, int group);

// ---- the phonebook ----

// The phone's code of a host memory type, and its number of locations.
int MemoryCode(int type);
int CapacityOf(int type);

}  // namespace pelkor_soak
