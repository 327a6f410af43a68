#include "validate.h"

#include <cctype>

namespace pelkor_tool {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads exactly `width` digits at `pos`; false when they are not there.
bool Digits(const std::string &text, size_t &pos, size_t width, int &value) {
  if (pos + width > text.size()) return false;
  value = 0;
  for (size_t i = 0; i < width; ++i) {
    if (!IsDigit(text[pos + i])) return false;
    value = value * 10 + (text[pos + i] - '0');
  }
  pos += width;
  return true;
}

// One or two digits at `pos` (hours and minutes may come without a leading zero).
bool ShortNumber(const std::string &text, size_t &pos, int &value) {
  if (pos >= text.size() || !IsDigit(text[pos])) return false;
  value = text[pos++] - '0';
  if (pos < text.size() && IsDigit(text[pos])) value = value * 10 + (text[pos++] - '0');
  return true;
}

bool Expect(const std::string &text, size_t &pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

std::string Quoted(const std::string &text) { return "\"" + text + "\""; }

}  // namespace

std::string ParseCalendarTime(const std::string &text, CalendarTime &out) {
  const std::string form = "give the time as \"YYYY-MM-DD HH:MM\" (or now), not " + Quoted(text);
  CalendarTime t;
  size_t pos = 0;
  if (!Digits(text, pos, 4, t.year)) {
    size_t end = 0;
    while (end < text.size() && IsDigit(text[end])) ++end;
    if (end > 0 && end < 4 && end < text.size() && text[end] == '-')
      return "give the year in four digits (" + Quoted(text) + ")";
    return form;
  }
  if (!Expect(text, pos, '-') || !ShortNumber(text, pos, t.month) || !Expect(text, pos, '-') ||
      !ShortNumber(text, pos, t.day))
    return form;
  if (pos >= text.size() || (text[pos] != ' ' && text[pos] != 'T')) return form;
  ++pos;
  if (!ShortNumber(text, pos, t.hour) || !Expect(text, pos, ':') || !ShortNumber(text, pos, t.minute)) return form;
  if (pos < text.size() && (!Expect(text, pos, ':') || !ShortNumber(text, pos, t.second))) return form;
  if (pos != text.size()) return form;
  if (t.year < 1980 || t.year > 2099) return "the year " + std::to_string(t.year) + " is outside 1980-2099";
  if (t.month < 1 || t.month > 12) return "there is no month " + std::to_string(t.month);
  if (t.day < 1 || t.day > DaysInMonth(t.year, t.month))
    return std::to_string(t.year) + "-" + (t.month < 10 ? "0" : "") + std::to_string(t.month) + " has no day " +
           std::to_string(t.day);
  if (t.hour > 23 || t.minute > 59 || t.second > 59)
    return "there is no time of day " + std::to_string(t.hour) + ":" + (t.minute < 10 ? "0" : "") +
           std::to_string(t.minute) + " (00:00 to 23:59)";
  out = t;
  return "";
}

std::string ParseClockTime(const std::string &text, int &hour, int &minute) {
  size_t pos = 0;
  int h = 0, m = 0;
  if (!ShortNumber(text, pos, h) || !Expect(text, pos, ':') || !Digits(text, pos, 2, m) || pos != text.size())
    return "give the time as HH:MM, e.g. 07:30, not " + Quoted(text);
  if (h > 23 || m > 59) return "there is no time of day " + text + " (HH:MM runs from 00:00 to 23:59)";
  hour = h;
  minute = m;
  return "";
}

std::string NormaliseNumber(const std::string &typed) {
  std::string text = typed;
  if (!text.empty() && text[0] == '+') {
    const size_t trunk = text.find("(0)");
    if (trunk != std::string::npos) text.erase(trunk, 3);
  }
  std::string out;
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '-' && c != '.' && c != '/' && c != '(' && c != ')' && c != '[' && c != ']')
      out += c;
  return out;
}

std::string CheckDialNumber(std::string &number) {
  number = NormaliseNumber(number);
  return CheckDialNumber(static_cast<const std::string &>(number));
}

std::string CheckSmsNumber(std::string &number) {
  number = NormaliseNumber(number);
  return CheckSmsNumber(static_cast<const std::string &>(number));
}

std::string CheckDialNumber(const std::string &number) {
  if (number.empty()) return "the number to dial is empty";
  if (number.size() > 49) return "the number has " + std::to_string(number.size()) + " characters; at most 49 fit";
  for (size_t i = 0; i < number.size(); ++i) {
    const char c = number[i];
    if (c == '+' && i == 0) continue;
    if (!IsDigit(c) && c != '*' && c != '#')
      return Quoted(number) + " is not a number to dial: use digits, * and #, with + only at the start";
  }
  if (number == "+") return "the number to dial has no digit";
  return "";
}

std::string CheckSmsNumber(const std::string &number) {
  const size_t start = !number.empty() && number[0] == '+' ? 1 : 0;
  const size_t digits = number.size() - start;
  for (size_t i = start; i < number.size(); ++i)
    if (!IsDigit(number[i]))
      return Quoted(number) + " is not a phone number: use digits only, with + only at the start";
  if (digits == 0) return "the destination number has no digit";
  if (digits > 20) return "the destination has " + std::to_string(digits) + " digits; at most 20 fit";
  return "";
}

std::string CheckDtmf(const std::string &digits) {
  if (digits.empty()) return "no DTMF digits given";
  if (digits.size() > 58) return std::to_string(digits.size()) + " DTMF digits; at most 58 go at once";
  for (char c : digits) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!IsDigit(c) && c != '*' && c != '#' && (upper < 'A' || upper > 'D'))
      return std::string("'") + c + "' is not a DTMF digit: use 0-9, A-D, * and #";
  }
  return "";
}

std::string CheckRange(const std::string &what, long long value, long long low, long long high,
                       const std::string &unit) {
  if (value >= low && value <= high) return "";
  const std::string tail = unit.empty() ? "" : " " + unit;
  return what + " " + std::to_string(value) + tail + " is outside " + std::to_string(low) + "-" + std::to_string(high) +
         tail;
}

std::string ParseNetworkCode(const std::string &text, std::string &normalised) {
  std::string digits;
  bool separated = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsDigit(text[i])) {
      digits += text[i];
    } else if ((text[i] == ' ' || text[i] == '-') && digits.size() == 3 && !separated) {
      separated = true;
    } else {
      digits.clear();
      break;
    }
  }
  if (digits.size() != 5)
    return "give the network code as three country digits and two network digits, e.g. \"262 01\", not " + Quoted(text);
  normalised = digits.substr(0, 3) + " " + digits.substr(3);
  return "";
}

std::string CheckMonitorScreen(const std::string &text) {
  for (const char *word : {"next", "field", "devel", "off", "reset"})
    if (text == word) return "";
  bool number = !text.empty() && text.size() <= 3;
  for (char c : text) number = number && IsDigit(c);
  if (number && std::stoi(text) <= 255) return "";
  return "the screen is a number 0-255 or one of next, field, devel, off and reset, not " + Quoted(text);
}

}  // namespace pelkor_tool
