#include "text/utf8.h"

namespace pelkor {

namespace {

bool IsSurrogate(char32_t point) { return point >= 0xD800 && point <= 0xDFFF; }

}  // namespace

bool DecodeUtf8(std::string_view text, std::vector<char32_t> &points) {
  points.clear();
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    size_t extra = 0;
    char32_t point = 0;
    char32_t least = 0;  // the smallest value that needs this many bytes
    if (lead < 0x80) {
      point = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, point = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, point = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, point = lead & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (extra > 0 && i + extra >= text.size()) return false;  // cut short
    for (size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = (point << 6) | (next & 0x3F);
    }
    if (point < least || point > 0x10FFFF || IsSurrogate(point)) return false;
    points.push_back(point);
    i += extra + 1;
  }
  return true;
}

void AppendUtf8(std::string &out, char32_t point) {
  if (point > 0x10FFFF || IsSurrogate(point)) point = kReplacementCharacter;
  if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x800) {
    out += static_cast<char>(0xC0 | (point >> 6));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    out += static_cast<char>(0xE0 | (point >> 12));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (point >> 18));
    out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

std::string DecodeLatin1(const uint8_t *bytes, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) AppendUtf8(out, bytes[i]);
  return out;
}

bool EncodeLatin1(std::string_view utf8, std::string &latin1) {
  latin1.clear();
  std::vector<char32_t> points;
  if (!DecodeUtf8(utf8, points)) return false;
  for (char32_t point : points) {
    if (point > 0xFF) return false;
    latin1 += static_cast<char>(point);
  }
  return true;
}

}  // namespace pelkor
