#include "sms/utf8_text.h"

#include <cstring>

namespace pelkor {

namespace {

// GSM 03.38 default alphabet as code points; the escape code holds none.
constexpr char32_t kGsmDefault[128] = {
    0x0040, 0x00A3, 0x0024, 0x00A5, 0x00E8, 0x00E9, 0x00F9, 0x00EC,  // @ £ $ ¥ è é ù ì
    0x00F2, 0x00C7, 0x000A, 0x00D8, 0x00F8, 0x000D, 0x00C5, 0x00E5,  // ò Ç LF Ø ø CR Å å
    0x0394, 0x005F, 0x03A6, 0x0393, 0x039B, 0x03A9, 0x03A0, 0x03A8,  // Δ _ Φ Γ Λ Ω Π Ψ
    0x03A3, 0x0398, 0x039E, 0x0000, 0x00C6, 0x00E6, 0x00DF, 0x00C9,  // Σ Θ Ξ ESC Æ æ ß É
    0x0020, 0x0021, 0x0022, 0x0023, 0x00A4, 0x0025, 0x0026, 0x0027,  //   ! " # ¤ % & '
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,  // ( ) * + , - . /
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,  // 0 - 7
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,  // 8 9 : ; < = > ?
    0x00A1, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,  // ¡ A - G
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,  // H - O
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,  // P - W
    0x0058, 0x0059, 0x005A, 0x00C4, 0x00D6, 0x00D1, 0x00DC, 0x00A7,  // X Y Z Ä Ö Ñ Ü §
    0x00BF, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,  // ¿ a - g
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,  // h - o
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,  // p - w
    0x0078, 0x0079, 0x007A, 0x00E4, 0x00F6, 0x00F1, 0x00FC, 0x00E0,  // x y z ä ö ñ ü à
};

// The extension table behind the escape code.
struct Extension {
  uint8_t code;
  char32_t point;
};
constexpr Extension kGsmExtension[] = {
    {0x0A, 0x000C},  // form feed (page break)
    {0x14, U'^'},   {0x28, U'{'}, {0x29, U'}'}, {0x2F, U'\\'},  {0x3C, U'['},
    {0x3D, U'~'},   {0x3E, U']'}, {0x40, U'|'}, {0x65, 0x20AC},  // euro sign
};

bool IsSurrogate(char32_t point) { return point >= 0xD800 && point <= 0xDFFF; }

// UTF-16 units a code point takes.
size_t Ucs2Units(char32_t point) { return point >= 0x10000 ? 2 : 1; }

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

char32_t GsmDefaultCharacter(uint8_t code) { return kGsmDefault[code & 0x7F]; }

char32_t GsmExtensionCharacter(uint8_t code) {
  for (const Extension &e : kGsmExtension)
    if (e.code == (code & 0x7F)) return e.point;
  return 0;
}

size_t GsmSeptetsFor(char32_t point, uint8_t septets[2]) {
  for (uint8_t k = 0; k < 128; ++k) {
    if (k != kGsmEscape && kGsmDefault[k] == point) {
      septets[0] = k;
      return 1;
    }
  }
  for (const Extension &e : kGsmExtension) {
    if (e.point == point) {
      septets[0] = kGsmEscape;
      septets[1] = e.code;
      return 2;
    }
  }
  return 0;
}

bool EncodeGsmSeptets(const std::vector<char32_t> &points, std::vector<uint8_t> &septets) {
  septets.clear();
  for (char32_t point : points) {
    uint8_t codes[2];
    const size_t n = GsmSeptetsFor(point, codes);
    if (n == 0) return false;
    septets.insert(septets.end(), codes, codes + n);
  }
  return true;
}

std::string DecodeGsmSeptets(const uint8_t *septets, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t code = septets[i] & 0x7F;
    if (code != kGsmEscape) {
      AppendUtf8(out, kGsmDefault[code]);
      continue;
    }
    if (i + 1 >= count) break;  // an escape with nothing after it
    const uint8_t next = septets[++i] & 0x7F;
    const char32_t extended = GsmExtensionCharacter(next);
    if (extended != 0)
      AppendUtf8(out, extended);
    else if (next != kGsmEscape)
      AppendUtf8(out, kGsmDefault[next]);
    else
      AppendUtf8(out, U' ');  // a second escape: an extension this table lacks
  }
  return out;
}

void EncodeUcs2(const std::vector<char32_t> &points, std::vector<uint8_t> &bytes) {
  bytes.clear();
  const auto put = [&bytes](char32_t unit) {
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
  };
  for (char32_t point : points) {
    if (point >= 0x10000) {
      const char32_t v = point - 0x10000;
      put(0xD800 + (v >> 10));
      put(0xDC00 + (v & 0x3FF));
    } else {
      put(point);
    }
  }
}

std::string DecodeUcs2(const uint8_t *bytes, size_t count) {
  std::string out;
  for (size_t i = 0; i + 1 < count; i += 2) {
    const char32_t unit = static_cast<char32_t>(bytes[i] << 8 | bytes[i + 1]);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < count) {
      const char32_t low = static_cast<char32_t>(bytes[i + 2] << 8 | bytes[i + 3]);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(out, IsSurrogate(unit) ? kReplacementCharacter : unit);
  }
  return out;
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

bool SplitSmsText(std::string_view utf8, SmsTextParts &out) {
  out = SmsTextParts{};
  std::vector<char32_t> points;
  if (!DecodeUtf8(utf8, points)) return false;

  std::vector<uint8_t> septets;
  if (EncodeGsmSeptets(points, septets)) {
    if (septets.size() <= kSingleSeptets) {
      out.parts.push_back(septets);
      return true;
    }
    std::vector<uint8_t> part;
    for (size_t i = 0; i < septets.size(); ++i) {
      const size_t width = septets[i] == kGsmEscape && i + 1 < septets.size() ? 2 : 1;
      if (part.size() + width > kPartSeptets) {
        out.parts.push_back(part);
        part.clear();
      }
      part.insert(part.end(), septets.begin() + static_cast<std::ptrdiff_t>(i),
                  septets.begin() + static_cast<std::ptrdiff_t>(i + width));
      i += width - 1;
    }
    if (!part.empty()) out.parts.push_back(part);
    return true;
  }

  out.ucs2 = true;
  size_t units = 0;
  for (char32_t point : points) units += Ucs2Units(point);
  const size_t perPart = units <= kSingleUcs2Units ? kSingleUcs2Units : kPartUcs2Units;
  std::vector<char32_t> chunk;
  size_t chunkUnits = 0;
  std::vector<uint8_t> bytes;
  for (char32_t point : points) {
    if (chunkUnits + Ucs2Units(point) > perPart) {
      EncodeUcs2(chunk, bytes);
      out.parts.push_back(bytes);
      chunk.clear();
      chunkUnits = 0;
    }
    chunk.push_back(point);
    chunkUnits += Ucs2Units(point);
  }
  EncodeUcs2(chunk, bytes);
  out.parts.push_back(bytes);
  return true;
}

void CopyUtf8(char *buffer, size_t size, std::string_view text) {
  if (buffer == nullptr || size == 0) return;
  std::memset(buffer, 0, size);
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  // Back off continuation bytes so that the cut falls between two characters.
  if (n < text.size())
    while (n > 0 && (static_cast<uint8_t>(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(buffer, text.data(), n);
}

}  // namespace pelkor
