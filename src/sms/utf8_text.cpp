#include "sms/utf8_text.h"

#include "sms/gsm_alphabet.h"
#include "text/utf8.h"

namespace pelkor {

namespace {

bool IsSurrogate(char32_t point) { return point >= 0xD800 && point <= 0xDFFF; }

// UTF-16 units a code point takes.
size_t Ucs2Units(char32_t point) { return point >= 0x10000 ? 2 : 1; }

}  // namespace

char32_t GsmDefaultCharacter(uint8_t code) { return kGsmDefaultAlphabet[code & 0x7F]; }

char32_t GsmExtensionCharacter(uint8_t code) {
  for (const GsmExtension &e : kGsmExtensionTable)
    if (e.code == (code & 0x7F)) return e.point;
  return 0;
}

size_t GsmSeptetsFor(char32_t point, uint8_t septets[2]) {
  for (uint8_t k = 0; k < 128; ++k) {
    if (k != kGsmEscape && kGsmDefaultAlphabet[k] == point) {
      septets[0] = k;
      return 1;
    }
  }
  for (const GsmExtension &e : kGsmExtensionTable) {
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
      AppendUtf8(out, kGsmDefaultAlphabet[code]);
      continue;
    }
    if (i + 1 >= count) break;  // an escape with nothing after it
    const uint8_t next = septets[++i] & 0x7F;
    const char32_t extended = GsmExtensionCharacter(next);
    if (extended != 0)
      AppendUtf8(out, extended);
    else if (next != kGsmEscape)
      AppendUtf8(out, kGsmDefaultAlphabet[next]);
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

}  // namespace pelkor
