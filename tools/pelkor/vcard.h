#pragma once
// Phonebook entries as vCard 3.0 (RFC 2426), UTF-8: what `pb backup` writes and
// `pb restore` reads. The phone's location, memory and caller group travel in
// X-PELKOR-LOCATION, X-PELKOR-MEMORY and X-PELKOR-GROUP.
#include <string>
#include <vector>

namespace pelkor_tool {

struct Card {
  std::string name, number, memory;  // memory: "sim", "phone" or a number; may be empty
  int location = 0;                  // 0: not given
  int group = 5;                     // 5: no caller group
};

// One vCard per entry, lines ending CRLF and folded at 75 octets between characters.
std::string WriteCards(const std::vector<Card> &cards);

// Every BEGIN:VCARD ... END:VCARD block of text; the name from FN (else N), the first
// TEL. Folded lines are unfolded and escapes undone. `error` says what is wrong with a
// text that holds no card or an unfinished one (and the result is then empty).
std::vector<Card> ReadCards(const std::string &text, std::string &error);

}  // namespace pelkor_tool
