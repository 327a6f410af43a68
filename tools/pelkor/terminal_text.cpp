#include "terminal_text.h"

#include <cstdint>
#include <cstdio>

namespace pelkor_tool {

namespace {

void AppendHex(std::string &out, const char *form, unsigned value) {
  char spelled[12];
  std::snprintf(spelled, sizeof spelled, form, value);
  out += spelled;
}

// The length of the well-formed UTF-8 sequence at `at` and its code point; 0 when the
// bytes there are not one.
size_t Sequence(const std::string &text, size_t at, uint32_t &point) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const size_t extra = lead < 0x80                   ? 0
                       : lead >= 0xC2 && lead < 0xE0 ? 1
                       : lead >= 0xE0 && lead < 0xF0 ? 2
                       : lead >= 0xF0 && lead < 0xF5 ? 3
                                                     : 4;
  if (extra == 4 || at + extra >= text.size()) return 0;
  point = extra == 0 ? lead : lead & (0x3Fu >> extra);
  for (size_t k = 1; k <= extra; ++k) {
    const auto next = static_cast<unsigned char>(text[at + k]);
    if ((next & 0xC0) != 0x80) return 0;
    point = point << 6 | (next & 0x3Fu);
  }
  const uint32_t least = extra == 1 ? 0x80 : extra == 2 ? 0x800 : extra == 3 ? 0x10000 : 0;
  if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
  return extra + 1;
}

bool ActsOnTerminal(uint32_t point) {
  return (point >= 0x80 && point <= 0x9F) || (point >= 0x202A && point <= 0x202E) ||
         (point >= 0x2066 && point <= 0x2069) || point == 0x2028 || point == 0x2029;
}

}  // namespace

std::string ForTerminal(const std::string &text) {
  std::string out;
  out.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      if (byte == '\n' || (byte >= 0x20 && byte < 0x7F))
        out += static_cast<char>(byte);
      else if (byte == '\t')
        out += "\\t";
      else if (byte == '\r')
        out += "\\r";
      else
        AppendHex(out, "\\x%02x", byte);
      ++at;
      continue;
    }
    uint32_t point = 0;
    const size_t length = Sequence(text, at, point);
    if (length == 0) {
      AppendHex(out, "\\x%02x", byte);
      ++at;
    } else {
      if (ActsOnTerminal(point))
        AppendHex(out, "\\u%04x", point);
      else
        out.append(text, at, length);
      at += length;
    }
  }
  return out;
}

}  // namespace pelkor_tool
