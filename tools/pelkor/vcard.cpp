#include "vcard.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace pelkor_tool {

namespace {

std::string Escape(const std::string &value) {
  std::string out;
  for (char c : value) {
    if (c == '\\' || c == ',' || c == ';')
      out += '\\', out += c;
    else if (c == '\n')
      out += "\\n";
    else if (c != '\r')
      out += c;
  }
  return out;
}

std::string Unescape(const std::string &value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    const char next = value[++i];
    out += next == 'n' || next == 'N' ? '\n' : next;
  }
  return out;
}

// Folds a content line: at most 75 octets a line, never inside a UTF-8 character.
void PutLine(std::string &out, const std::string &line) {
  size_t start = 0;
  size_t limit = 75;
  while (line.size() - start > limit) {
    size_t cut = start + limit;
    while (cut > start && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    out += line.substr(start, cut - start) + "\r\n ";
    start = cut;
    limit = 74;  // the leading space of a continuation counts
  }
  out += line.substr(start) + "\r\n";
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// The value of a structured N: its components joined by spaces, given name first.
std::string NameFromN(const std::string &value) {
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i <= value.size(); ++i) {
    if (i == value.size() || (value[i] == ';' && (i == 0 || value[i - 1] != '\\'))) {
      parts.push_back(Unescape(part));
      part.clear();
    } else {
      part += value[i];
    }
  }
  std::string name;
  const size_t order[] = {1, 2, 0};  // given, additional, family
  for (size_t index : order) {
    if (index < parts.size() && !parts[index].empty()) name += (name.empty() ? "" : " ") + parts[index];
  }
  return name;
}

int Number(const std::string &text, int fallback) {
  try {
    size_t used = 0;
    const int value = std::stoi(text, &used);
    return used == text.size() ? value : fallback;
  } catch (...) {
    return fallback;
  }
}

}  // namespace

std::string WriteCards(const std::vector<Card> &cards) {
  std::string out;
  for (const Card &card : cards) {
    PutLine(out, "BEGIN:VCARD");
    PutLine(out, "VERSION:3.0");
    PutLine(out, "FN:" + Escape(card.name));
    PutLine(out, "N:;" + Escape(card.name) + ";;;");
    if (!card.number.empty()) PutLine(out, "TEL;TYPE=VOICE:" + Escape(card.number));
    if (card.location > 0) PutLine(out, "X-PELKOR-LOCATION:" + std::to_string(card.location));
    if (!card.memory.empty()) PutLine(out, "X-PELKOR-MEMORY:" + card.memory);
    if (card.group != 5) PutLine(out, "X-PELKOR-GROUP:" + std::to_string(card.group));
    PutLine(out, "END:VCARD");
  }
  return out;
}

std::vector<Card> ReadCards(const std::string &text, std::string &error) {
  // Unfold: a line that starts with a space or a tab continues the one before.
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty())
      lines.back() += line.substr(1);
    else
      lines.push_back(line);
  }

  std::vector<Card> cards;
  bool inCard = false, haveName = false, haveNumber = false;
  Card card;
  std::string nameFromN;
  for (size_t n = 0; n < lines.size(); ++n) {
    const std::string &l = lines[n];
    const size_t colon = l.find(':');
    if (colon == std::string::npos) continue;
    std::string key = Upper(l.substr(0, colon));
    const std::string value = l.substr(colon + 1);
    const size_t semicolon = key.find(';');
    if (semicolon != std::string::npos) key.resize(semicolon);
    if (const size_t dot = key.find('.'); dot != std::string::npos) key.erase(0, dot + 1);  // group prefix
    if (key == "BEGIN" && Upper(value) == "VCARD") {
      if (inCard) break;
      inCard = true, haveName = false, haveNumber = false;
      card = Card{};
      nameFromN.clear();
    } else if (!inCard) {
      continue;
    } else if (key == "END" && Upper(value) == "VCARD") {
      if (!haveName) card.name = nameFromN;
      cards.push_back(card);
      inCard = false;
    } else if (key == "FN") {
      card.name = Unescape(value), haveName = true;
    } else if (key == "N") {
      nameFromN = NameFromN(value);
    } else if (key == "TEL" && !haveNumber) {
      card.number = Unescape(value), haveNumber = true;
    } else if (key == "X-PELKOR-LOCATION") {
      card.location = std::max(0, Number(value, 0));
    } else if (key == "X-PELKOR-MEMORY") {
      card.memory = value;
    } else if (key == "X-PELKOR-GROUP") {
      card.group = Number(value, 5);
    }
  }
  if (inCard) {
    error = "a vCard has no END:VCARD";
    return {};
  }
  if (cards.empty()) error = "no vCard (BEGIN:VCARD ... END:VCARD) in the file";
  return cards;
}

}  // namespace pelkor_tool
