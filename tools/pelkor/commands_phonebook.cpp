// Phonebook entries (UTF-8 names, named memories, lists, vCard backups) and speed dials.
#include <pelkor16.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

#include "commands.h"
#include "atomic_file.h"
#include "exit_status.h"
#include "progress.h"
#include "sms_messages.h"
#include "vcard.h"

namespace pelkor_tool {
namespace {

struct PhonebookOptions {
  int location = 1, group = 5, key = 2;
  std::string memory = "sim", name, number, range, file;
} pb;

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
// empty locations are left out. Returns 0 or the failure that stopped the reading.
int32_t ReadEntries(int memory, int first, int last, bool wholeMemory, std::vector<Entry> &out) {
  for (int location = first; location <= last; ++location) {
    char name[128], number[128];
    int32_t group = 0;
    const int32_t result =
        pelkor_getphonebookentry_utf8(location, memory, name, sizeof name, number, sizeof number, &group);
    if (result == PELKOR_ERR_REFUSED && (wholeMemory || location > first)) break;  // past the end
    if (result != PELKOR_OK) return result;
    if (name[0] != '\0' || number[0] != '\0') out.push_back({location, name, number, group});
  }
  return PELKOR_OK;
}

int ListEntries(Report &r) {
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
    list.push_back({{"location", e.location}, {"name", e.name}, {"number", e.number}, {"group", e.group}});
    r.Line(std::to_string(e.location) + "  " + e.name + "  " + e.number +
           (e.group == 5 || e.group == 255 ? "" : "  (group " + std::to_string(e.group) + ")"));
  }
  if (entries.empty()) r.Line("no entries in the " + MemoryName(memory) + " phonebook");
  r.Json()["memory"] = MemoryName(memory);
  r.Json()["entries"] = list;
  return r.Finish();
}

int Backup(Report &r) {
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
  r.Field("entries", cards.size(), "entries");
  r.Json()["memory"] = MemoryName(memory);
  return r.Finish();
}

int Restore(Report &r, bool memoryGiven) {
  std::ifstream in(pb.file, std::ios::binary);
  if (!in) return FailAs(r, kExitBadInput, "cannot read " + pb.file + ": no such file");
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  std::string error;
  std::vector<Card> cards = ReadCards(text, error);
  if (cards.empty()) return FailAs(r, kExitBadInput, pb.file + ": " + error);
  // Everything is checked before the first entry is written.
  int next = 1;
  for (const Card &c : cards) next = std::max(next, c.location + 1);
  for (size_t i = 0; i < cards.size(); ++i) {
    Card &c = cards[i];
    const std::string which = "card " + std::to_string(i + 1) + " (\"" + c.name + "\")";
    if (memoryGiven || c.memory.empty()) c.memory = pb.memory;
    if (MemoryType(c.memory) < 0) return FailAs(r, kExitBadInput, which + ": no memory \"" + c.memory + "\"");
    const std::string problem = EntryProblem(c.name, c.number);
    if (!problem.empty()) return FailAs(r, kExitBadInput, which + ": " + problem + "; nothing was written");
    if (c.group < 0 || c.group > 5)
      return FailAs(r, kExitBadInput,
                    which + ": caller group " + std::to_string(c.group) + " is not 0-4 or 5 for none");
    if (c.location == 0) c.location = next++;
    if (c.location > kLastLocation) return FailAs(r, kExitBadInput, which + ": location over 255");
  }
  nlohmann::json written = nlohmann::json::array();
  for (const Card &c : cards) {
    const int32_t result =
        pelkor_setphonebookentry_utf8(c.location, MemoryType(c.memory), c.name.c_str(), c.number.c_str(), c.group);
    if (result != PELKOR_OK) {
      r.Json()["written"] = written;
      return r.Fail(result,
                    "writing \"" + c.name + "\" at " + c.memory + " " + std::to_string(c.location) + " (" +
                        std::to_string(written.size()) + " written before)",
                    "5 s");
    }
    written.push_back({{"location", c.location}, {"memory", MemoryName(MemoryType(c.memory))}, {"name", c.name}});
    r.Line("stored " + c.name + " at " + MemoryName(MemoryType(c.memory)) + " " + std::to_string(c.location));
  }
  r.Json()["written"] = written;
  return r.Finish();
}

// A CLI11 check for memory names.
std::string CheckMemory(const std::string &memory) {
  return MemoryType(memory) < 0 ? "memory must be sim, phone or a memory type number" : "";
}

}  // namespace

void AddPhonebookCommands(CLI::App &app, GlobalOptions &options) {
  auto *group = app.add_subcommand("pb", "Phonebook entries (names in UTF-8)");
  group->require_subcommand(1);
  auto *get = group->add_subcommand("get", "Read one entry");
  get->add_option("location", pb.location, "1 and up")->required();
  get->add_option("--memory", pb.memory, kMemoryHelp)->check(CheckMemory)->capture_default_str();
  get->footer("Example: pelkor pb get 1 --memory sim");
  get->callback([&] {
    WithPhone(options, [](Report &r) {
      char name[128], number[128];
      int32_t callerGroup = 0;
      const int memory = MemoryType(pb.memory);
      const int32_t result =
          pelkor_getphonebookentry_utf8(pb.location, memory, name, sizeof name, number, sizeof number, &callerGroup);
      if (result != PELKOR_OK)
        return r.Fail(result, "reading " + MemoryName(memory) + " entry " + std::to_string(pb.location), "0.5 s");
      r.Field("memory", MemoryName(memory));
      r.Field("location", pb.location);
      r.Field("name", name);
      r.Field("number", number);
      r.Field("group", callerGroup);
      return r.Finish();
    });
  });
  auto *set = group->add_subcommand("set", "Write one entry");
  set->add_option("location", pb.location, "1 and up")->required();
  set->add_option("name", pb.name, "up to 40 characters (Latin-1 letters: the phone keeps no others)")->required();
  set->add_option("number", pb.number, "up to 40 characters")->required();
  set->add_option("--memory", pb.memory, kMemoryHelp)->check(CheckMemory)->capture_default_str();
  set->add_option("--group", pb.group, "caller group 0-4, 5 for none")->check(CLI::Range(0, 5))->capture_default_str();
  set->footer("Example: pelkor pb set 3 \"Jürgen Müller\" +4912345678 --group 1 --memory phone");
  set->callback([&] {
    WithPhone(options, [](Report &r) {
      const std::string problem = EntryProblem(pb.name, pb.number);
      if (!problem.empty()) return FailAs(r, kExitUsage, problem + "; nothing was written");
      const int memory = MemoryType(pb.memory);
      const int32_t result =
          pelkor_setphonebookentry_utf8(pb.location, memory, pb.name.c_str(), pb.number.c_str(), pb.group);
      if (result != PELKOR_OK) return r.Fail(result, "writing entry " + std::to_string(pb.location), "5 s");
      r.Field("memory", MemoryName(memory));
      r.Field("stored", pb.location, "stored at");
      return r.Finish();
    });
  });
  auto *list = group->add_subcommand("list", "List the entries of a memory, or of a range of it");
  list->add_option("range", pb.range, "N or FIRST-LAST (default: the whole memory)");
  list->add_option("--memory", pb.memory, kMemoryHelp)->check(CheckMemory)->capture_default_str();
  list->footer("Example: pelkor pb list 1-20 --memory phone");
  list->callback([&] { WithPhone(options, ListEntries); });

  auto *backup = group->add_subcommand("backup", "Save a memory's entries as vCard 3.0 (UTF-8)");
  backup->add_option("file", pb.file, "the .vcf file to write")->required();
  backup->add_option("--memory", pb.memory, kMemoryHelp)->check(CheckMemory)->capture_default_str();
  backup->footer("Example: pelkor pb backup sim.vcf --memory sim");
  backup->callback([&] { WithPhone(options, Backup); });

  auto *restore = group->add_subcommand("restore", "Write the entries of a vCard file back to the phone");
  restore->add_option("file", pb.file, "a .vcf file (vCard 3.0, UTF-8)")->required();
  auto *restoreMemory =
      restore
          ->add_option("--memory", pb.memory, "memory for every card (default: each card's X-PELKOR-MEMORY, else sim)")
          ->check(CheckMemory);
  restore->footer(
      "Cards keep their X-PELKOR-LOCATION; cards without one go after the highest given.\n"
      "Example: pelkor pb restore sim.vcf");
  restore->callback([&options, restoreMemory] {
    const bool memoryGiven = restoreMemory->count() > 0;
    WithPhone(options, [memoryGiven](Report &r) { return Restore(r, memoryGiven); });
  });

  auto *speed = app.add_subcommand("speeddial", "Speed-dial keys");
  speed->require_subcommand(1);
  auto *speedGet = speed->add_subcommand("get", "Show what a key dials");
  speedGet->add_option("key", pb.key, "2-9")->required();
  speedGet->footer("Example: pelkor speeddial get 2");
  speedGet->callback([&] {
    WithPhone(options, [](Report &r) {
      int32_t memory = 0, location = 0;
      const int32_t result = getspeeddial(pb.key, &memory, &location);
      if (result != PELKOR_OK) return r.Fail(result, "reading speed dial " + std::to_string(pb.key), "2 s");
      r.Field("memory", memory == 0 ? "phone" : "other", "memory");
      r.Field("location", location);
      return r.Finish();
    });
  });
  auto *speedSet = speed->add_subcommand("set", "Point a key at a phonebook location");
  speedSet->add_option("key", pb.key, "2-9")->required();
  speedSet->add_option("location", pb.location, "phonebook location")->required();
  speedSet->add_option("--memory", pb.memory, kMemoryHelp)->check(CheckMemory)->capture_default_str();
  speedSet->footer("Example: pelkor speeddial set 2 5 --memory phone");
  speedSet->callback([&] {
    WithPhone(options, [](Report &r) {
      const int32_t result = setspeeddial(pb.key, MemoryType(pb.memory), pb.location);
      if (result != PELKOR_OK) return r.Fail(result, "setting speed dial " + std::to_string(pb.key), "2 s");
      r.Field("key", pb.key);
      r.Field("location", pb.location);
      return r.Finish();
    });
  });
}

}  // namespace pelkor_tool
