#pragma once
// The object kinds of the tool's JSON, each built in one place so that every command
// shows it the same way (docs/json.md; messages come from StoredMessage::ToJson).
#include <string>

#include <nlohmann/json.hpp>

namespace pelkor_tool {

// A phonebook entry: memory, location, name, number and group (0-4; 5 is none, as the
// phone's 255 is).
nlohmann::json EntryJson(const std::string &memory, int location, const std::string &name, const std::string &number,
                         int group);

// The library's current logo: kind (startup, operator or caller), width, height and rows ('#' dark, '.' light), with
// the network code of an operator logo and the group number and name of a caller logo.
nlohmann::json LogoJson();

// The library's current ringtone: name, tempo (beats a minute), notes as written in
// RTTTL, and milliseconds, its playing time.
nlohmann::json ToneJson();

}  // namespace pelkor_tool
