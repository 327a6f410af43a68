// Phonebook and speed-dial actions: writes must be stored exactly, refusals not at all,
// and reads must give what the phone holds.
#include <algorithm>

#include "soak.h"

namespace pelkor_soak {

using nlohmann::json;
using namespace std::chrono_literals;
namespace L = limits;

// ---- phonebook ----------------------------------------------------------------------------------

void Soak::PhonebookWrite() {
  const int memory = Chance(0.5) ? kPhoneMemory : kSimMemory;
  const bool beyond = Chance(0.1);
  const int location = beyond ? CapacityOf(memory) + Uniform(1, 5) : Uniform(20, CapacityOf(memory));
  std::string name = Chance(0.05) ? "" : "Soak " + RandomText(static_cast<size_t>(Uniform(0, 40)));
  std::string number = Chance(0.05) ? "" : "+44" + RandomDigits(static_cast<size_t>(Uniform(1, 17)));
  const int group = Uniform(0, 5);
  const int32_t result = Call("setphonebookentry", L::kEntryWrite, L::Only({0, 4, 15, 22}),
                              std::to_string(location) + "," + std::to_string(memory) + ",'" + name + "','" + number +
                                  "'," + std::to_string(group),
                              [&] { return setphonebookentry(location, memory, name.c_str(), number.c_str(), group); });
  entryWrites_[{memory, location}] = Clock::now();
  name.resize(std::min<size_t>(name.size(), 40));
  const json state = State();
  const std::string at =
      "/phonebook/memories/" + std::to_string(MemoryCode(memory)) + "/entries/" + std::to_string(location);
  const json *entry = At(state, at);
  if (result == PELKOR_OK) {
    ++writes_.entriesWritten;
    const bool cleared = name.empty() && number.empty();
    const bool exact = cleared ? entry == nullptr
                               : entry != nullptr && entry->value("name", "") == name &&
                                     entry->value("number", "") == number &&
                                     entry->value("group", -1) == (group == 5 ? 255 : group);
    if (exact)
      ++writes_.entriesStored;
    else
      Fail("stored altered",
           "setphonebookentry " + at + " gave 0, the phone holds " + (entry ? entry->dump() : "nothing"));
  } else if (result == PELKOR_ERR_PHONEBOOK_WRITE || result == PELKOR_ERR_REFUSED) {
    ++writes_.entriesRefused;
    if (entry != nullptr && entry->value("name", "") == name && entry->value("number", "") == number && !name.empty())
      Fail("refused yet stored", "setphonebookentry " + at + " gave " + std::to_string(result) + " but was stored");
  }
}

void Soak::PhonebookRead() {
  const int memory = Chance(0.45) ? kPhoneMemory : Chance(0.9) ? kSimMemory : kMissingMemory;
  const int capacity = std::max(CapacityOf(memory), 10);
  const int location = Uniform(1, capacity + 3);
  char name[48], number[48];
  int32_t group = -7;
  const int32_t result =
      Call("getphonebookentry", L::kEntryReadWithStatus, L::Only({0, 4, 6, 10, 22}),
           std::to_string(location) + "," + std::to_string(memory),
           [&] { return getphonebookentry(location, memory, name, sizeof name, number, sizeof number, &group); });
  if (result != PELKOR_OK) return;
  const auto written = entryWrites_.find({memory, location});
  if (written != entryWrites_.end() && MsSince(written->second) < 1000) return;  // a cached read may be older
  const json state = State();
  const std::string at =
      "/phonebook/memories/" + std::to_string(MemoryCode(memory)) + "/entries/" + std::to_string(location);
  const json *entry = At(state, at);
  std::string wantName = entry ? entry->value("name", "") : "";
  const std::string wantNumber = entry ? entry->value("number", "") : "";
  const int wantGroup = entry ? entry->value("group", 255) : 255;
  if (wantName.empty()) wantName = wantNumber;
  wantName.resize(std::min<size_t>(wantName.size(), 40));
  if (wantName != name || wantNumber != number || wantGroup != group)
    Fail("wrong answer", "getphonebookentry " + at + " gave '" + name + "' '" + number + "' " + std::to_string(group) +
                             ", the phone holds " + (entry ? entry->dump() : "nothing"));
}

void Soak::SpeedDialWrite() {
  const int key = Chance(0.1) ? (Chance(0.5) ? 0 : 10) : Uniform(1, 9);
  const int memory = Chance(0.5) ? kPhoneMemory : kSimMemory;
  const int location = Uniform(1, 100);
  const int32_t result = Call("setspeeddial", L::kSpeedDial, L::Only({0, 4, 11}),
                              std::to_string(key) + "," + std::to_string(memory) + "," + std::to_string(location),
                              [&] { return setspeeddial(key, memory, location); });
  speedDialWrites_[key] = Clock::now();
  if (result != PELKOR_OK) return;
  ++writes_.dialsWritten;
  const json state = State();
  const json *dial = At(state, "/phonebook/speed_dials/" + std::to_string(key));
  if (dial != nullptr && dial->value("memory", -1) == MemoryCode(memory) && dial->value("location", -1) == location)
    ++writes_.dialsStored;
  else
    Fail("stored altered",
         "setspeeddial " + std::to_string(key) + " gave 0, the phone holds " + (dial ? dial->dump() : "nothing"));
}

void Soak::SpeedDialRead() {
  const int key = Chance(0.1) ? 0 : Uniform(1, 9);
  int32_t memory = -7, location = -7;
  const int32_t result = Call("getspeeddial", L::kSpeedDial, L::Only({0, 4, 11}), std::to_string(key),
                              [&] { return getspeeddial(key, &memory, &location); });
  if (result != PELKOR_OK) {
    if (memory != 255 || location != 0)
      Fail("wrong answer", "getspeeddial(" + std::to_string(key) + ") failed with " + std::to_string(result) +
                               " but reported memory " + std::to_string(memory) + " location " +
                               std::to_string(location));
    return;
  }
  const auto written = speedDialWrites_.find(key);
  if (written != speedDialWrites_.end() && MsSince(written->second) < 1000) return;
  const json state = State();
  const json *dial = At(state, "/phonebook/speed_dials/" + std::to_string(key));
  const int code = dial ? dial->value("memory", 2) : 2;
  const int wantLocation = dial ? dial->value("location", 0) : 0;
  if (memory != (code == 2 ? 0 : 1) || location != wantLocation)
    Fail("wrong answer", "getspeeddial(" + std::to_string(key) + ") gave memory " + std::to_string(memory) +
                             " location " + std::to_string(location) + ", the phone holds " +
                             (dial ? dial->dump() : "nothing"));
}

}  // namespace pelkor_soak
