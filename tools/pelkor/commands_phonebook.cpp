// Phonebook entries and speed dials.
#include <pelkor16.h>

#include "commands.h"

namespace pelkor_tool {
namespace {

struct PhonebookOptions {
  int location = 1, memory = 1, group = 5, key = 2;
  std::string name, number;
} pb;

const char *kMemoryHelp = "memory type number (0 the phone's own memory, 1 the SIM, ...)";

}  // namespace

void AddPhonebookCommands(CLI::App &app, GlobalOptions &options) {
  auto *group = app.add_subcommand("pb", "Phonebook entries");
  group->require_subcommand(1);
  auto *get = group->add_subcommand("get", "Read one entry");
  get->add_option("location", pb.location, "1 and up")->required();
  get->add_option("--memory", pb.memory, kMemoryHelp)->capture_default_str();
  get->footer("Example: pelkor pb get 1 --memory 1");
  get->callback([&] {
    WithPhone(options, [](Report &r) {
      char name[64], number[64];
      int32_t callerGroup = 0;
      const int32_t result =
          getphonebookentry(pb.location, pb.memory, name, sizeof name, number, sizeof number, &callerGroup);
      if (result != PELKOR_OK) return r.Fail(result, "reading entry " + std::to_string(pb.location), "0.5 s");
      r.Field("name", name);
      r.Field("number", number);
      r.Field("group", callerGroup);
      return r.Finish();
    });
  });
  auto *set = group->add_subcommand("set", "Write one entry");
  set->add_option("location", pb.location, "1 and up")->required();
  set->add_option("name", pb.name, "up to 40 characters")->required();
  set->add_option("number", pb.number, "up to 40 characters")->required();
  set->add_option("--memory", pb.memory, kMemoryHelp)->capture_default_str();
  set->add_option("--group", pb.group, "caller group 0-4, 5 for none")->capture_default_str();
  set->footer("Example: pelkor pb set 3 \"Ada\" +4912345678 --group 1");
  set->callback([&] {
    WithPhone(options, [](Report &r) {
      const int32_t result =
          setphonebookentry(pb.location, pb.memory, pb.name.c_str(), pb.number.c_str(), pb.group);
      if (result != PELKOR_OK) return r.Fail(result, "writing entry " + std::to_string(pb.location), "5 s");
      r.Field("stored", pb.location, "stored at");
      return r.Finish();
    });
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
  speedSet->add_option("--memory", pb.memory, kMemoryHelp)->capture_default_str();
  speedSet->footer("Example: pelkor speeddial set 2 5 --memory 0");
  speedSet->callback([&] {
    WithPhone(options, [](Report &r) {
      const int32_t result = setspeeddial(pb.key, pb.memory, pb.location);
      if (result != PELKOR_OK) return r.Fail(result, "setting speed dial " + std::to_string(pb.key), "2 s");
      r.Field("key", pb.key);
      r.Field("location", pb.location);
      return r.Finish();
    });
  });
}

}  // namespace pelkor_tool
