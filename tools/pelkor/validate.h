#pragma once
// Checks of what people type, made before anything is sent to the phone. Each check
// returns an empty string when the text is acceptable, else what is wrong, in words.
#include <string>

namespace pelkor_tool {

struct CalendarTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS" (a "T" may stand for the space); a real
// date of the years 1980-2099.
std::string ParseCalendarTime(const std::string &text, CalendarTime &out);
// "HH:MM", 00:00 to 23:59.
std::string ParseClockTime(const std::string &text, int &hour, int &minute);
// A phone number as people write it, without the separators: spaces, dashes, dots,
// slashes and brackets go ("+49 (0)170 123-45.67" is "+491701234567": a "(0)" after an
// international prefix is the trunk digit, dropped). Letters and other characters stay,
// for the checks to refuse.
std::string NormaliseNumber(const std::string &typed);

// The checks taking a modifiable string first normalise it in place (NormaliseNumber),
// so that the command goes on with the number as the phone takes it; those taking a
// constant one check the text exactly as given.
std::string CheckDialNumber(std::string &number);
std::string CheckSmsNumber(std::string &number);

// A number to dial: an optional leading "+", then digits, "*" and "#", at most 49 characters.
std::string CheckDialNumber(const std::string &number);
// An SMS destination: an optional leading "+" and 1 to 20 digits.
std::string CheckSmsNumber(const std::string &number);
// DTMF: 1 to 58 of 0-9, A-D, "*" and "#".
std::string CheckDtmf(const std::string &digits);
// `value` between `low` and `high` inclusive; `what` names it ("the frequency"), `unit` follows values.
std::string CheckRange(const std::string &what, long long value, long long low, long long high,
                       const std::string &unit = "");
// A network code as "MCC MNC": three digits, then two; "26201", "262 01" and "262-01" are
// all taken and come back as "262 01".
std::string ParseNetworkCode(const std::string &text, std::string &normalised);
// A net monitor screen: next, field, devel, off, reset or a number 0-255.
std::string CheckMonitorScreen(const std::string &text);

}  // namespace pelkor_tool
