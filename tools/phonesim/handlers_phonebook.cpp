// Phonebook memories and speed dials on type 0x03.
//
// State, under "phonebook":
//   memories      keyed by the memory code in decimal ("2" the phone's own memory,
//                 "3" the SIM, ...): {"capacity": n, "entries": {"<location>":
//                 {"name": s, "number": s, "group": g}}}, texts in UTF-8 (the phone
//                 keeps them in Latin-1 on the wire). Used is the number of
//                 entries within the capacity, free the rest of it.
//   speed_dials   keyed by key: {"memory": code, "location": n}; keys 1..9 exist.
//   fail          one-shot faults, cleared when used: "memory_status", "read",
//                 "write", "speed_dial_read", "speed_dial_write". A number answers
//                 the next such request with that error byte; "silent" answers nothing.
#include <algorithm>
#include <string>

#include "dispatch.h"
#include "sms_pdu.h"

namespace phonesim {

namespace {

constexpr uint8_t kType = 0x03;
constexpr uint8_t kInvalidLocation = 0x7D;
constexpr uint8_t kInvalidMemory = 0x8D;
// Memory codes of this family: 0x01 (all) and 0x02 (the phone) to 0x09.
constexpr uint8_t kFirstMemoryCode = 0x01;
constexpr uint8_t kLastMemoryCode = 0x09;
constexpr int kFirstKey = 1;
constexpr int kLastKey = 9;

nlohmann::json &Phonebook(PhoneState &state) {
  nlohmann::json &root = state.Json();
  if (!root.is_object()) root = nlohmann::json::object();
  nlohmann::json &book = root["phonebook"];
  if (!book.is_object()) book = nlohmann::json::object();
  return book;
}

nlohmann::json &ObjectAt(nlohmann::json &parent, const std::string &key) {
  nlohmann::json &child = parent[key];
  if (!child.is_object()) child = nlohmann::json::object();
  return child;
}

enum class Fault { kNone, kError, kSilent };

// Takes the one-shot fault for `request`, if a test asked for one.
Fault TakeFault(PhoneState &state, const char *request, uint8_t &error) {
  nlohmann::json &fail = ObjectAt(Phonebook(state), "fail");
  if (!fail.contains(request)) return Fault::kNone;
  const nlohmann::json value = fail[request];
  fail.erase(request);
  if (value.is_number_integer()) {
    error = static_cast<uint8_t>(value.get<int>() & 0xFF);
    return Fault::kError;
  }
  return value == "silent" ? Fault::kSilent : Fault::kNone;
}

// The memory with this code, or nullptr when the phone has no such memory.
nlohmann::json *Memory(PhoneState &state, uint8_t code) {
  nlohmann::json &memories = ObjectAt(Phonebook(state), "memories");
  const std::string key = std::to_string(code);
  if (!memories.contains(key) || !memories[key].is_object()) return nullptr;
  return &memories[key];
}

int CapacityOf(const nlohmann::json &mem) {
  const auto it = mem.find("capacity");
  if (it == mem.end() || !it->is_number_integer()) return 0;
  return std::clamp(it->get<int>(), 0, 255);
}

int UsedIn(const nlohmann::json &mem) {
  const auto entries = mem.find("entries");
  if (entries == mem.end() || !entries->is_object()) return 0;
  const int capacity = CapacityOf(mem);
  int used = 0;
  for (const auto &[location, entry] : entries->items()) {
    int at = 0;
    try {
      at = std::stoi(location);
    } catch (const std::exception &) {
      continue;
    }
    if (at >= 1 && at <= capacity && entry.is_object()) ++used;
  }
  return used;
}

std::string TextOf(const nlohmann::json &entry, const char *field) {
  const auto it = entry.find(field);
  return it != entry.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// A length byte and at most 255 bytes of text.
void PutText(std::vector<uint8_t> &out, const std::string &text) {
  const size_t length = std::min<size_t>(text.size(), 255);
  out.push_back(static_cast<uint8_t>(length));
  out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
}

std::vector<uint8_t> Reply(uint8_t command, std::initializer_list<uint8_t> rest = {}) {
  std::vector<uint8_t> bytes = {0x01, 0x00, 0x00, command};
  bytes.insert(bytes.end(), rest);
  return bytes;
}

// 00 01 00 07 memory -> 08 memory free used, or 09 error (0x7D: no such memory here).
void MemoryStatus(const Request &request, PhoneState &state, Replies &replies) {
  uint8_t error = 0;
  const Fault fault = TakeFault(state, "memory_status", error);
  if (fault == Fault::kSilent) return;
  const uint8_t code = request.At(4);
  const nlohmann::json *mem = Memory(state, code);
  if (fault == Fault::kError || mem == nullptr) {
    // A memory of the family that this phone does not have is an invalid location; a
    // code that names no memory at all gets 0x8D.
    const bool familyCode = code >= kFirstMemoryCode && code <= kLastMemoryCode;
    const uint8_t missing = familyCode ? kInvalidLocation : kInvalidMemory;
    replies.Send(kType, Reply(0x09, {fault == Fault::kError ? error : missing}));
    return;
  }
  const int capacity = CapacityOf(*mem);
  const int used = std::min(UsedIn(*mem), capacity);
  replies.Send(kType, Reply(0x08, {code, static_cast<uint8_t>(capacity - used), static_cast<uint8_t>(used)}));
}

// 00 01 00 01 memory location 00 -> 02 00, name, number, group; or 03 error.
// An empty location answers with an empty name and number.
void ReadEntry(const Request &request, PhoneState &state, Replies &replies) {
  uint8_t error = 0;
  const Fault fault = TakeFault(state, "read", error);
  if (fault == Fault::kSilent) return;
  const uint8_t code = request.At(4);
  const int location = request.At(5);
  nlohmann::json *mem = Memory(state, code);
  if (fault == Fault::kNone && mem == nullptr)
    error = kInvalidMemory;
  else if (fault == Fault::kNone && (location < 1 || location > CapacityOf(*mem)))
    error = kInvalidLocation;
  if (fault == Fault::kError || error != 0) {
    replies.Send(kType, Reply(0x03, {error}));
    return;
  }
  const nlohmann::json &entries = ObjectAt(*mem, "entries");
  const auto it = entries.find(std::to_string(location));
  const nlohmann::json entry = it != entries.end() && it->is_object() ? *it : nlohmann::json::object();
  // Byte 4 is 0: the name and number that follow are plain 8-bit text (Latin-1).
  std::vector<uint8_t> bytes = Reply(0x02, {0x00});
  PutText(bytes, sms::Latin1Bytes(TextOf(entry, "name")));
  PutText(bytes, sms::Latin1Bytes(TextOf(entry, "number")));
  const auto group = entry.find("group");
  bytes.push_back(group != entry.end() && group->is_number_integer() ? static_cast<uint8_t>(group->get<int>() & 0xFF)
                                                                     : 0xFF);
  replies.Send(kType, std::move(bytes));
}

// 00 01 00 04 memory location L name N number group -> 05, or 06 error. Writing an
// empty name and number clears the location.
void WriteEntry(const Request &request, PhoneState &state, Replies &replies) {
  uint8_t error = 0;
  const Fault fault = TakeFault(state, "write", error);
  if (fault == Fault::kSilent) return;
  const uint8_t code = request.At(4);
  const int location = request.At(5);
  const size_t nameLength = request.At(6);
  const size_t numberAt = 7 + nameLength;
  const size_t numberLength = request.At(numberAt);
  const size_t groupAt = numberAt + 1 + numberLength;
  nlohmann::json *mem = Memory(state, code);
  if (fault == Fault::kNone) {
    if (mem == nullptr || request.bytes.size() <= groupAt)
      error = kInvalidMemory;
    else if (location < 1 || location > CapacityOf(*mem))
      error = kInvalidLocation;
  }
  if (fault == Fault::kError || error != 0) {
    replies.Send(kType, Reply(0x06, {error}));
    return;
  }
  const auto textFrom = [&](size_t at, size_t length) {
    return sms::Latin1Text(std::span(request.bytes).subspan(at, length));
  };
  nlohmann::json &entries = ObjectAt(*mem, "entries");
  const std::string name = textFrom(7, nameLength);
  const std::string number = textFrom(numberAt + 1, numberLength);
  if (name.empty() && number.empty()) {
    entries.erase(std::to_string(location));
  } else {
    entries[std::to_string(location)] = {{"name", name}, {"number", number}, {"group", request.At(groupAt)}};
  }
  replies.Send(kType, Reply(0x05));
}

// 00 01 00 16 key -> 17 memory location, or 18 error. A key never set points nowhere.
void ReadSpeedDial(const Request &request, PhoneState &state, Replies &replies) {
  uint8_t error = 0;
  const Fault fault = TakeFault(state, "speed_dial_read", error);
  if (fault == Fault::kSilent) return;
  const int key = request.At(4);
  if (fault == Fault::kError || key < kFirstKey || key > kLastKey) {
    replies.Send(kType, Reply(0x18, {fault == Fault::kError ? error : kInvalidLocation}));
    return;
  }
  const nlohmann::json &dials = ObjectAt(Phonebook(state), "speed_dials");
  const auto it = dials.find(std::to_string(key));
  uint8_t code = 0x02;
  uint8_t location = 0;
  if (it != dials.end() && it->is_object()) {
    code = static_cast<uint8_t>(it->value("memory", 2) & 0xFF);
    location = static_cast<uint8_t>(it->value("location", 0) & 0xFF);
  }
  replies.Send(kType, Reply(0x17, {code, location}));
}

// 00 01 00 19 key memory location -> 1A, or 1B error. Keys point into the phone's
// memory or the SIM only.
void WriteSpeedDial(const Request &request, PhoneState &state, Replies &replies) {
  uint8_t error = 0;
  const Fault fault = TakeFault(state, "speed_dial_write", error);
  if (fault == Fault::kSilent) return;
  const int key = request.At(4);
  const uint8_t code = request.At(5);
  const int location = request.At(6);
  if (fault == Fault::kNone &&
      (request.bytes.size() < 7 || key < kFirstKey || key > kLastKey || (code != 0x02 && code != 0x03))) {
    error = kInvalidLocation;
  }
  if (fault == Fault::kError || error != 0) {
    replies.Send(kType, Reply(0x1B, {error}));
    return;
  }
  ObjectAt(Phonebook(state), "speed_dials")[std::to_string(key)] = {{"memory", code}, {"location", location}};
  replies.Send(kType, Reply(0x1A));
}

// Handlers must not throw into the link layer: a state edited into odd shapes gives
// no answer rather than a dead phone.
Handler Guarded(void (*handler)(const Request &, PhoneState &, Replies &)) {
  return [handler](const Request &request, PhoneState &state, Replies &replies) {
    try {
      handler(request, state, replies);
    } catch (const std::exception &) {
    }
  };
}

}  // namespace

void RegisterPhonebookHandlers(HandlerTable &table) {
  table.AddDefaults(
      {{"phonebook",
        {{"memories",
          {{"2",
            {{"capacity", 100},
             {"entries",
              {{"1", {{"name", "Alice Archer"}, {"number", "+441632960001"}, {"group", 0}}},
               {"2", {{"name", "Bob Baker"}, {"number", "01632960002"}, {"group", 2}}},
               {"3", {{"name", ""}, {"number", "5550100"}, {"group", 255}}}}}}},
           {"3",
            {{"capacity", 150},
             {"entries", {{"1", {{"name", "Carol (SIM)"}, {"number", "+441632960003"}, {"group", 1}}}}}}},
           {"7", {{"capacity", 10}, {"entries", {{"1", {{"name", ""}, {"number", "112"}, {"group", 255}}}}}}}}},
         {"speed_dials", {{"2", {{"memory", 2}, {"location", 1}}}, {"3", {{"memory", 3}, {"location", 1}}}}},
         {"fail", nlohmann::json::object()}}}});

  table.On(kType, 0x07, Guarded(MemoryStatus));
  table.On(kType, 0x01, Guarded(ReadEntry));
  table.On(kType, 0x04, Guarded(WriteEntry));
  table.On(kType, 0x16, Guarded(ReadSpeedDial));
  table.On(kType, 0x19, Guarded(WriteSpeedDial));
}

}  // namespace phonesim
