#pragma once
// The message centre of a send: one of the phone's centre sets by its index, or a
// number given on the command line. The library keeps such a choice for its session
// only and never writes it to the phone, so the tool takes it per send (--centre) and
// has no command that pretends to change the phone's centres.
#include <cstdint>
#include <string>

#include <CLI/CLI.hpp>

#include "phone_session.h"

namespace pelkor_tool {

struct CentreChoice {
  int32_t index = 1;   // the phone's centre set, 1 and up; 0 when `number` is given
  std::string number;  // the centre's own number, + and digits
};

// Reads "N" (a centre set, 1-99) or a number ("+491710760000"); an error in words
// for anything else, e.g. "12abc".
std::string ParseCentreChoice(const std::string &text, CentreChoice &choice);

// Hands a number to the library for this session's sends; returns the centre index
// to pass to the send call (0 for a number).
int32_t UseCentre(const CentreChoice &choice);

// `sms centre get [INDEX]`: reads the number of any of the phone's centre sets.
void AddCentreCommand(CLI::App &group, const GlobalOptions &options);

// `--centre N|NUMBER` on a send command, read into `choice`; checked as the command
// line is read. The send passes UseCentre(choice) once the phone is open: the library's
// choice of a number lasts for the session.
void AddCentreOption(CLI::App &send, CentreChoice &choice);

}  // namespace pelkor_tool
