// Phonebook entries (UTF-8 names, named memories, lists, vCard backups) and speed dials.
#include <pelkor16.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <set>

#include "atomic_file.h"
#include "command_table.h"
#include "commands.h"
#include "exit_status.h"
#include "input_file.h"
#include "json_objects.h"
#include "progress.h"
#include "sms_messages.h"
#include "validate.h"
#include "vcard.h"

namespace pelkor_tool {
namespace {

// What the pb and speeddial commands are given; each command has its own.
struct PhonebookOptions {
  int location = 1, group = 5, key = 2;
  std::string memory = "sim", name, number, range, file;
  bool replace = false;
  CLI::Option *memoryOption = nullptr;  // pb restore's --memory, to tell whether it was given
};

const char *kMemoryHelp = "memory: sim, phone, or a memory type number (0 phone, 1 SIM, ...)";
constexpr int kLastLocation = 255;  // locations go on the wire as one byte

// Memory type of a name or number; -1 when it is neither.
int MemoryType(const std::string &memory) {
  if (memory == "phone") return 0;
  if (memory == "sim") return 1;
  if (memory.empty() || memory.size() > 2 || !std::all_of(memory.begin(), memory.end(), ::isdigit)) return -1;
  return std::stoi(memory);
}

std::string MemoryName(int type) { return type == 0 ? "phone" : type == 1 ? "sim" : std::to_string(type); }

// Latin-1 is what the phone keeps: a name beyond it is refused before anything is sent.
std::string UnstorableCharacter(const std::string &utf8) {
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (lead >= 0xC4) return utf8.substr(i, length);  // U+0100 and above
    i += length;
  }
  return "";
}

// Checks a name and number for a write; an empty string when they can be stored.
std::string EntryProblem(const std::string &name, const std::string &number) {
  if (!IsUtf8(name)) return "the name is not UTF-8";
  const std::string bad = UnstorableCharacter(name);
  if (!bad.empty()) return "the phone cannot store \"" + bad + "\" in a name (Latin-1 characters only)";
  size_t characters = 0;
  for (unsigned char c : name) characters += (c & 0xC0) != 0x80;
  if (characters > 40) return "the name has " + std::to_string(characters) + " characters; the phone keeps 40";
  if (number.size() > 40) return "the number is longer than 40 characters";
  for (char c : number)
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '+' && c != '*' && c != '#' && c != 'p' && c != 'w')
      return "the number \"" + number + "\" holds other characters than digits, + * # p w";
  return "";
}

// "5" or "1-20"; false for anything else.
bool ParseRange(const std::string &text, int &first, int &last) {
  first = 1, last = kLastLocation;
  if (text.empty()) return true;
  const size_t dash = text.find('-');
  try {
    size_t used = 0;
    first = std::stoi(text.substr(0, dash), &used);
    if (used != (dash == std::string::npos ? text.size() : dash)) return false;
    last = dash == std::string::npos ? first : std::stoi(text.substr(dash + 1), &used);
    if (dash != std::string::npos && used != text.size() - dash - 1) return false;
  } catch (...) {
    return false;
  }
  return first >= 1 && last >= first && last <= kLastLocation;
}

struct Entry {
  int location;
  std::string name, number;
  int group;
};

// Reads locations first..last of a memory, stopping quietly at its end (22 past it);
// empty locations are left out. `size`, when given, receives the last location that
// answered. Returns 0 or the failure that stopped the reading.
int32_t ReadEntries(int memory, int first, int last, bool wholeMemory, std::vector<Entry> &out, int *size = nullptr) {
  if (size != nullptr) *size = first - 1;
  for (int location = first; location <= last; ++location) {
    char name[128], number[128];
    int32_t group = 0;
    const int32_t result =
        pelkor_getphonebookentry_utf8(location, memory, name, sizeof name, number, sizeof number, &group);
    if (result == PELKOR_ERR_REFUSED && (wholeMemory || location > first)) break;  // past the end
    if (result != PELKOR_OK) return result;
    if (size != nullptr) *size = location;
    if (name[0] != '\0' || number[0] != '\0') out.push_back({location, name, number, group});
  }
  return PELKOR_OK;
}

std::string PastTheEnd(int memory, int location) {
  return "location " + std::to_string(location) + " is past the end of the " + MemoryName(memory) + " memory";
}

// A location given on the command line: 1 to 255, checked before anything is sent.
std::string LocationProblem(int location) {
  if (location < 1) return "locations start at 1, not " + std::to_string(location);
  if (location > kLastLocation)
    return "location " + std::to_string(location) + " is past " + std::to_string(kLastLocation) +
           ", the last any memory has";
  return "";
}

int ListEntries(Report &r, PhonebookOptions &pb) {
  const int memory = MemoryType(pb.memory);
  int first, last;
  if (!ParseRange(pb.range, first, last))
    return FailAs(r, kExitUsage, "locations are N or FIRST-LAST within 1-255, not \"" + pb.range + "\"");
  std::vector<Entry> entries;
  int32_t result;
  {
    Progress progress("reading the " + MemoryName(memory) + " phonebook");
    result = ReadEntries(memory, first, last, pb.range.empty(), entries);
  }
  if (result != PELKOR_OK) return r.Fail(result, "reading the " + MemoryName(memory) + " phonebook", "0.5 s per entry");
  nlohmann::json list = nlohmann::json::array();
  for (const Entry &e : entries) {
    list.push_back(EntryJson(MemoryName(memory), e.location, e.name, e.number, e.group));
    r.Line(std::to_string(e.location) + "  " + e.name + "  " + e.number +
           (e.group == 5 || e.group == 255 ? "" : "  (group " + std::to_string(e.group) + ")"));
  }
  if (entries.empty()) r.Line("no entries in the " + MemoryName(memory) + " phonebook");
  r.Json()["memory"] = MemoryName(memory);
  r.Json()["entries"] = list;
  return r.Finish();
}

int Backup(Report &r, PhonebookOptions &pb) {
  const int memory = MemoryType(pb.memory);
  std::vector<Entry> entries;
  int32_t result;
  {
    Progress progress("reading the " + MemoryName(memory) + " phonebook");
    result = ReadEntries(memory, 1, kLastLocation, true, entries);
  }
  if (result != PELKOR_OK) return r.Fail(result, "reading the " + MemoryName(memory) + " phonebook", "0.5 s per entry");
  std::vector<Card> cards;
  for (const Entry &e : entries)
    cards.push_back({e.name, e.number, MemoryName(memory), e.location, e.group == 255 ? 5 : e.group});
  std::string error;
  if (!WriteFileAtomically(pb.file, WriteCards(cards), error))
    return FailAs(r, kExitCannotWrite, "cannot write " + pb.file + ": " + error + "; any earlier file is as it was");
  r.Field("file", pb.file, "written");
  r.Field("count", cards.size(), "entries");
  r.Json()["memory"] = MemoryName(memory);
  return r.Finish();
}

// What a memory holds before a restore writes to it.
struct MemoryContents {
  int size = 0;
  std::map<int, Entry> entries;  // by location; empty locations are absent
};

std::string CardText(const std::string &name, const std::string &number) { return "\"" + name + "\" " + number; }

// A restore, worked out before anything is written: the cards, each with its memory and
// location, and what the memories they go to hold now.
struct RestorePlan {
  std::vector<Card> cards;
  std::set<int> memories;
  std::map<int, MemoryContents> contents;         // by memory
  std::map<std::pair<int, int>, size_t> claimed;  // (memory, location) -> card
  std::map<int, int> highest;                     // the highest location a card gives, by memory
};

std::string CardName(const RestorePlan &plan, size_t i) {
  return "card " + std::to_string(i + 1) + " (\"" + plan.cards[i].name + "\")";
}

int ReadCardFile(Report &r, const std::string &file, RestorePlan &plan) {
  std::string text, problem;
  if (!ReadInputFile(file, text, problem)) return FailAs(r, kExitBadInput, "cannot read " + file + ": " + problem);
  std::string error;
  plan.cards = ReadCards(text, error);
  if (plan.cards.empty()) return FailAs(r, kExitBadInput, file + ": " + error);
  return kExitOk;
}

// Every card is checked before the first entry is written; each gets its memory.
int CheckCards(Report &r, const PhonebookOptions &pb, RestorePlan &plan) {
  const bool memoryGiven = pb.memoryOption != nullptr && pb.memoryOption->count() > 0;
  for (size_t i = 0; i < plan.cards.size(); ++i) {
    Card &c = plan.cards[i];
    const std::string which = CardName(plan, i);
    if (memoryGiven || c.memory.empty()) c.memory = pb.memory;
    if (MemoryType(c.memory) < 0) return FailAs(r, kExitBadInput, which + ": no memory \"" + c.memory + "\"");
    c.memory = MemoryName(MemoryType(c.memory));
    c.number = NormaliseNumber(c.number);
    const std::string entryProblem = EntryProblem(c.name, c.number);
    if (!entryProblem.empty()) return FailAs(r, kExitBadInput, which + ": " + entryProblem + "; nothing was written");
    if (c.group < 0 || c.group > 5)
      return FailAs(r, kExitBadInput,
                    which + ": caller group " + std::to_string(c.group) + " is not 0-4 or 5 for none");
    if (c.location > kLastLocation) return FailAs(r, kExitBadInput, which + ": location over 255");
    plan.memories.insert(MemoryType(c.memory));
  }
  return kExitOk;
}

// What the memories hold now: a restore takes free locations and overwrites an entry
// only with --replace.
int ReadMemories(Report &r, RestorePlan &plan) {
  for (int memory : plan.memories) {
    std::vector<Entry> entries;
    MemoryContents &held = plan.contents[memory];
    int32_t result;
    {
      Progress progress("reading the " + MemoryName(memory) + " phonebook");
      result = ReadEntries(memory, 1, kLastLocation, true, entries, &held.size);
    }
    if (result != PELKOR_OK)
      return r.Fail(result, "reading the " + MemoryName(memory) + " phonebook; nothing was written", "0.5 s per entry");
    for (const Entry &e : entries) held.entries[e.location] = e;
  }
  return kExitOk;
}

int RefuseConflicts(Report &r, const std::vector<std::string> &conflicts) {
  nlohmann::json list = nlohmann::json::array();
  for (const std::string &conflict : conflicts) list.push_back(conflict);
  r.Json()["conflicts"] = list;
  std::string message =
      std::to_string(conflicts.size()) +
      (conflicts.size() == 1 ? " card would overwrite a different entry" : " cards would overwrite different entries") +
      "; nothing was written (--replace overwrites them):";
  for (const std::string &conflict : conflicts) message += "\n  " + conflict;
  return FailAs(r, kExitUsage, message);
}

// Cards with a location: within the memory, one card a location, and no other entry there.
int ClaimGivenLocations(Report &r, const PhonebookOptions &pb, RestorePlan &plan) {
  std::vector<std::string> conflicts;
  for (size_t i = 0; i < plan.cards.size(); ++i) {
    const Card &c = plan.cards[i];
    if (c.location == 0) continue;
    const int memory = MemoryType(c.memory);
    const MemoryContents &held = plan.contents[memory];
    const std::string which = CardName(plan, i);
    if (c.location > held.size)
      return FailAs(r, kExitBadInput,
                    which + ": " + PastTheEnd(memory, c.location) + " (it has " + std::to_string(held.size) +
                        "); nothing was written");
    const auto [at, fresh] = plan.claimed.emplace(std::make_pair(memory, c.location), i);
    if (!fresh)
      return FailAs(r, kExitBadInput,
                    which + " and card " + std::to_string(at->second + 1) + " both go to " + c.memory + " " +
                        std::to_string(c.location) + "; nothing was written");
    plan.highest[memory] = std::max(plan.highest[memory], c.location);
    const auto there = held.entries.find(c.location);
    if (there == held.entries.end()) continue;
    const Entry &e = there->second;
    const int heldGroup = e.group == 255 ? 5 : e.group;
    if (e.name == c.name && e.number == c.number && heldGroup == c.group) continue;  // the same entry
    conflicts.push_back(c.memory + " " + std::to_string(c.location) + " holds " + CardText(e.name, e.number) +
                        ", the card has " + CardText(c.name, c.number));
  }
  if (!conflicts.empty() && !pb.replace) return RefuseConflicts(r, conflicts);
  return kExitOk;
}

// Cards without a location: the free locations after the highest given, in order.
int PlaceTheOthers(Report &r, RestorePlan &plan) {
  std::map<int, int> next;
  for (int memory : plan.memories) next[memory] = plan.highest[memory] + 1;
  for (size_t i = 0; i < plan.cards.size(); ++i) {
    Card &c = plan.cards[i];
    if (c.location != 0) continue;
    const int memory = MemoryType(c.memory);
    const MemoryContents &held = plan.contents[memory];
    int &location = next[memory];
    while (location <= held.size &&
           (held.entries.count(location) > 0 || plan.claimed.count(std::make_pair(memory, location)) > 0))
      ++location;
    if (location > held.size) {
      int unplaced = 0;
      for (size_t k = i; k < plan.cards.size(); ++k)
        unplaced += plan.cards[k].location == 0 && plan.cards[k].memory == c.memory;
      return FailAs(r, kExitRefused,
                    "the " + c.memory + " memory has no room for " + std::to_string(unplaced) +
                        " of the cards without " + "a location (free locations after " +
                        std::to_string(plan.highest[memory]) + " run out at " + std::to_string(held.size) +
                        "); nothing was written");
    }
    c.location = location;
    plan.claimed.emplace(std::make_pair(memory, location), i);
  }
  return kExitOk;
}

int WriteEntries(Report &r, const std::vector<Card> &cards) {
  nlohmann::json written = nlohmann::json::array();
  for (const Card &c : cards) {
    const int32_t result =
        pelkor_setphonebookentry_utf8(c.location, MemoryType(c.memory), c.name.c_str(), c.number.c_str(), c.group);
    if (result != PELKOR_OK) {
      r.Json()["stored"] = written;
      return r.Fail(result,
                    "writing \"" + c.name + "\" at " + c.memory + " " + std::to_string(c.location) + " (" +
                        std::to_string(written.size()) + " written before)",
                    "5 s");
    }
    written.push_back(EntryJson(c.memory, c.location, c.name, c.number, c.group));
    r.Line("stored " + c.name + " at " + c.memory + " " + std::to_string(c.location));
  }
  r.Json()["stored"] = written;
  return r.Finish();
}

int Restore(Report &r, PhonebookOptions &pb) {
  RestorePlan plan;
  int status = ReadCardFile(r, pb.file, plan);
  if (status == kExitOk) status = CheckCards(r, pb, plan);
  if (status == kExitOk) status = ReadMemories(r, plan);
  if (status == kExitOk) status = ClaimGivenLocations(r, pb, plan);
  if (status == kExitOk) status = PlaceTheOthers(r, plan);
  return status == kExitOk ? WriteEntries(r, plan.cards) : status;
}

// A CLI11 check for memory names.
std::string CheckMemory(const std::string &memory) {
  return MemoryType(memory) < 0 ? "memory must be sim, phone or a memory type number" : "";
}

int CheckGetLocation(Report &r, PhonebookOptions &pb) { return FailIf(r, kExitUsage, LocationProblem(pb.location)); }

int GetEntry(Report &r, PhonebookOptions &pb) {
  char name[128], number[128];
  int32_t callerGroup = 0;
  const int memory = MemoryType(pb.memory);
  const int32_t result =
      pelkor_getphonebookentry_utf8(pb.location, memory, name, sizeof name, number, sizeof number, &callerGroup);
  if (result == PELKOR_ERR_REFUSED) return FailAs(r, kExitNotFound, PastTheEnd(memory, pb.location));
  if (result != PELKOR_OK)
    return r.Fail(result, "reading " + MemoryName(memory) + " entry " + std::to_string(pb.location), "0.5 s");
  if (name[0] == '\0' && number[0] == '\0')
    return FailAs(r, kExitNotFound, MemoryName(memory) + " location " + std::to_string(pb.location) + " is empty");
  r.Json()["entry"] = EntryJson(MemoryName(memory), pb.location, name, number, callerGroup);
  r.Show("memory", MemoryName(memory));
  r.Show("location", pb.location);
  r.Show("name", name);
  r.Show("number", number);
  r.Show("group", callerGroup);
  return r.Finish();
}

int CheckSetEntry(Report &r, PhonebookOptions &pb) {
  pb.number = NormaliseNumber(pb.number);
  std::string problem = LocationProblem(pb.location);
  if (problem.empty()) problem = EntryProblem(pb.name, pb.number);
  return problem.empty() ? kExitOk : FailAs(r, kExitUsage, problem + "; nothing was written");
}

int SetEntry(Report &r, PhonebookOptions &pb) {
  const int memory = MemoryType(pb.memory);
  // A location past the memory's end is found by reading it: the phone's answer to
  // a write there says only that it was not stored.
  char name[128], number[128];
  if (pelkor_getphonebookentry_utf8(pb.location, memory, name, sizeof name, number, sizeof number, nullptr) ==
      PELKOR_ERR_REFUSED)
    return FailAs(r, kExitUsage, PastTheEnd(memory, pb.location) + "; nothing was written");
  const int32_t result =
      pelkor_setphonebookentry_utf8(pb.location, memory, pb.name.c_str(), pb.number.c_str(), pb.group);
  if (result == PELKOR_ERR_REFUSED)
    return FailAs(r, kExitUsage, PastTheEnd(memory, pb.location) + "; nothing was written");
  if (result != PELKOR_OK) return r.Fail(result, "writing entry " + std::to_string(pb.location), "5 s");
  r.Json()["entry"] = EntryJson(MemoryName(memory), pb.location, pb.name, pb.number, pb.group);
  r.Show("memory", MemoryName(memory));
  r.Show("stored at", pb.location);
  return r.Finish();
}

int CheckRestoreFile(Report &r, PhonebookOptions &pb) {
  const std::string problem = InputFileProblem(pb.file);
  return problem.empty() ? kExitOk : FailAs(r, kExitBadInput, "cannot read " + pb.file + ": " + problem);
}

int GetSpeedDial(Report &r, PhonebookOptions &pb) {
  int32_t memory = 0, location = 0;
  const int32_t result = getspeeddial(pb.key, &memory, &location);
  if (result != PELKOR_OK) return r.Fail(result, "reading speed dial " + std::to_string(pb.key), "2 s");
  r.Json()["key"] = pb.key;
  r.Field("memory", MemoryName(memory), "memory");
  r.Field("location", location);
  return r.Finish();
}

int SetSpeedDial(Report &r, PhonebookOptions &pb) {
  const int32_t result = setspeeddial(pb.key, MemoryType(pb.memory), pb.location);
  if (result != PELKOR_OK) return r.Fail(result, "setting speed dial " + std::to_string(pb.key), "2 s");
  r.Field("key", pb.key);
  r.Json()["memory"] = MemoryName(MemoryType(pb.memory));
  r.Field("location", pb.location);
  return r.Finish();
}

// --memory, with the default shown.
void DeclareMemory(CLI::App &c, PhonebookOptions &pb) {
  c.add_option("--memory", pb.memory, kMemoryHelp)->check(CheckMemory)->capture_default_str();
}

// get, set and list.
void AddEntryCommands(CLI::App &group, const GlobalOptions &options) {
  AddCommands(
      group, options,
      Command<PhonebookOptions>{.name = "get",
                                .help = "Read one entry",
                                .footer = "Example: pelkor pb get 1 --memory sim",
                                .declare =
                                    [](CLI::App &c, PhonebookOptions &pb) {
                                      c.add_option("location", pb.location, "1 and up")->required();
                                      DeclareMemory(c, pb);
                                    },
                                .check = CheckGetLocation,
                                .run = GetEntry},
      Command<PhonebookOptions>{
          .name = "set",
          .help = "Write one entry",
          .footer = "Example: pelkor pb set 3 \"Jürgen Müller\" +4912345678 --group 1 --memory phone",
          .declare =
              [](CLI::App &c, PhonebookOptions &pb) {
                c.add_option("location", pb.location, "1 and up")->required();
                c.add_option("name", pb.name, "up to 40 characters (Latin-1 letters: the phone keeps no others)")
                    ->required();
                c.add_option("number", pb.number, "up to 40 characters")->required();
                DeclareMemory(c, pb);
                c.add_option("--group", pb.group, "caller group 0-4, 5 for none")
                    ->check(CLI::Range(0, 5))
                    ->capture_default_str();
              },
          .check = CheckSetEntry,
          .run = SetEntry},
      Command<PhonebookOptions>{.name = "list",
                                .help = "List the entries of a memory, or of a range of it",
                                .footer = "Example: pelkor pb list 1-20 --memory phone",
                                .declare =
                                    [](CLI::App &c, PhonebookOptions &pb) {
                                      c.add_option("range", pb.range, "N or FIRST-LAST (default: the whole memory)");
                                      DeclareMemory(c, pb);
                                    },
                                .run = ListEntries});
}

void AddBackupCommands(CLI::App &group, const GlobalOptions &options) {
  AddCommands(
      group, options,
      Command<PhonebookOptions>{.name = "backup",
                                .help = "Save a memory's entries as vCard 3.0 (UTF-8)",
                                .footer = "Example: pelkor pb backup sim.vcf --memory sim",
                                .declare =
                                    [](CLI::App &c, PhonebookOptions &pb) {
                                      c.add_option("file", pb.file, "the .vcf file to write")->required();
                                      DeclareMemory(c, pb);
                                    },
                                .run = Backup},
      Command<PhonebookOptions>{
          .name = "restore",
          .help = "Write the entries of a vCard file back to the phone",
          .footer = "Cards keep their X-PELKOR-LOCATION; a location holding a different entry is\n"
                    "overwritten only with --replace. Cards without a location go to the free\n"
                    "locations after the highest given; without room for all, nothing is written.\n"
                    "Example: pelkor pb restore sim.vcf",
          .declare =
              [](CLI::App &c, PhonebookOptions &pb) {
                c.add_option("file", pb.file, "a .vcf file (vCard 3.0, UTF-8)")->required();
                pb.memoryOption = c.add_option("--memory", pb.memory,
                                               "memory for every card (default: each card's X-PELKOR-MEMORY, else sim)")
                                      ->check(CheckMemory);
                c.add_flag("--replace", pb.replace, "overwrite entries that differ from the cards for their locations");
              },
          .check = CheckRestoreFile,
          .run = Restore});
}

void AddSpeedDialCommands(CLI::App &app, const GlobalOptions &options) {
  AddCommands(AddGroup(app, "speeddial", "Speed-dial keys"), options,
              Command<PhonebookOptions>{
                  .name = "get",
                  .help = "Show what a key dials",
                  .footer = "Example: pelkor speeddial get 2",
                  .declare = [](CLI::App &c, PhonebookOptions &pb) { c.add_option("key", pb.key, "2-9")->required(); },
                  .run = GetSpeedDial},
              Command<PhonebookOptions>{.name = "set",
                                        .help = "Point a key at a phonebook location",
                                        .footer = "Example: pelkor speeddial set 2 5 --memory phone",
                                        .declare =
                                            [](CLI::App &c, PhonebookOptions &pb) {
                                              c.add_option("key", pb.key, "2-9")->required();
                                              c.add_option("location", pb.location, "phonebook location")->required();
                                              DeclareMemory(c, pb);
                                            },
                                        .run = SetSpeedDial});
}

}  // namespace

void AddPhonebookCommands(CLI::App &app, GlobalOptions &options) {
  CLI::App &group = AddGroup(app, "pb", "Phonebook entries (names in UTF-8)");
  AddEntryCommands(group, options);
  AddBackupCommands(group, options);
  AddSpeedDialCommands(app, options);
}

}  // namespace pelkor_tool
