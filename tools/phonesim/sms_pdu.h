// SMS PDU pieces as a phone sees them: the GSM 03.38 default alphabet, septet packing,
// semi-octet address fields, time stamps and data coding schemes. Header-only, shared
// by the SMS handler families; written from the GSM format descriptions and kept
// apart from the library under test.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace phonesim::sms {

// GSM default alphabet, code -> Unicode code point.
inline constexpr char32_t kGsmToUnicode[128] = {
    U'@', U'£',  U'$', U'¥', U'è', U'é', U'ù', U'ì', U'ò', U'Ç', U'\n', U'Ø', U'ø', U'\r', U'Å', U'å', U'Δ', U'_', U'Φ',
    U'Γ', U'Λ',  U'Ω', U'Π', U'Ψ', U'Σ', U'Θ', U'Ξ', 0x1B, U'Æ', U'æ',  U'ß', U'É', U' ',  U'!', U'"', U'#', U'¤', U'%',
    U'&', U'\'', U'(', U')', U'*', U'+', U',', U'-', U'.', U'/', U'0',  U'1', U'2', U'3',  U'4', U'5', U'6', U'7', U'8',
    U'9', U':',  U';', U'<', U'=', U'>', U'?', U'¡', U'A', U'B', U'C',  U'D', U'E', U'F',  U'G', U'H', U'I', U'J', U'K',
    U'L', U'M',  U'N', U'O', U'P', U'Q', U'R', U'S', U'T', U'U', U'V',  U'W', U'X', U'Y',  U'Z', U'Ä', U'Ö', U'Ñ', U'Ü',
    U'§', U'¿',  U'a', U'b', U'c', U'd', U'e', U'f', U'g', U'h', U'i',  U'j', U'k', U'l',  U'm', U'n', U'o', U'p', U'q',
    U'r', U's',  U't', U'u', U'v', U'w', U'x', U'y', U'z', U'ä', U'ö',  U'ñ', U'ü', U'à',
};

inline void AppendUtf8(std::string &out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Code points of a UTF-8 text; a malformed sequence yields U+FFFD for its first byte.
inline std::vector<char32_t> Utf8CodePoints(const std::string &text) {
  std::vector<char32_t> points;
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    const size_t extra = lead < 0x80             ? 0
                         : (lead & 0xE0) == 0xC0 ? 1
                         : (lead & 0xF0) == 0xE0 ? 2
                         : (lead & 0xF8) == 0xF0 ? 3
                                                 : 4;
    bool ok = extra < 4 && i + extra < text.size();
    char32_t c = extra == 0 ? lead : static_cast<char32_t>(lead & (0x3F >> extra));
    for (size_t k = 1; ok && k <= extra; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      ok = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3F);
    }
    points.push_back(ok ? c : 0xFFFD);
    i += ok ? extra + 1 : 1;
  }
  return points;
}

// The extension table behind the escape code 0x1B: code -> Unicode code point.
struct GsmExtension {
  uint8_t code;
  char32_t point;
};
inline constexpr GsmExtension kGsmExtension[] = {
    {0x0A, U'\f'}, {0x14, U'^'}, {0x28, U'{'}, {0x29, U'}'}, {0x2F, U'\\'},
    {0x3C, U'['},  {0x3D, U'~'}, {0x3E, U']'}, {0x40, U'|'}, {0x65, U'€'},
};

// GSM codes for a UTF-8 text, extension characters as the escape and their code;
// characters the alphabet lacks become '?'.
inline std::vector<uint8_t> GsmCodes(const std::string &text) {
  std::vector<uint8_t> codes;
  for (char32_t c : Utf8CodePoints(text)) {
    int code = -1;
    for (uint8_t k = 0; k < 128 && code < 0; ++k)
      if (k != 0x1B && kGsmToUnicode[k] == c) code = k;
    if (code < 0) {
      for (const GsmExtension &e : kGsmExtension) {
        if (e.point == c) {
          codes.push_back(0x1B);
          code = e.code;
          break;
        }
      }
    }
    codes.push_back(static_cast<uint8_t>(code < 0 ? 0x3F : code));
  }
  return codes;
}

// UTF-8 of GSM codes. An escape before a code the extension table lacks shows that
// code's default character; a lone escape at the end shows nothing.
inline std::string GsmText(std::span<const uint8_t> codes) {
  std::string out;
  for (size_t i = 0; i < codes.size(); ++i) {
    const uint8_t code = codes[i] & 0x7F;
    if (code != 0x1B) {
      AppendUtf8(out, kGsmToUnicode[code]);
      continue;
    }
    if (i + 1 == codes.size()) break;
    const uint8_t next = codes[++i] & 0x7F;
    char32_t point = next == 0x1B ? U' ' : kGsmToUnicode[next];
    for (const GsmExtension &e : kGsmExtension)
      if (e.code == next) point = e.point;
    AppendUtf8(out, point);
  }
  return out;
}

// UTF-8 of Latin-1 bytes.
inline std::string Latin1Text(std::span<const uint8_t> bytes) {
  std::string out;
  for (uint8_t b : bytes) AppendUtf8(out, b);
  return out;
}

// Latin-1 bytes of a UTF-8 text; characters beyond U+00FF become '?'.
inline std::string Latin1Bytes(const std::string &text) {
  std::string out;
  for (char32_t c : Utf8CodePoints(text)) out += static_cast<char>(c <= 0xFF ? c : U'?');
  return out;
}

// Septets packed from bit `firstBit` of a zeroed octet stream, low bits first.
inline void PackSeptetsAt(std::vector<uint8_t> &octets, size_t firstBit, std::span<const uint8_t> codes) {
  const size_t endBit = firstBit + 7 * codes.size();
  octets.resize(std::max(octets.size(), (endBit + 7) / 8), 0);
  for (size_t n = 0; n < codes.size(); ++n) {
    for (size_t b = 0; b < 7; ++b) {
      if (codes[n] & (1u << b)) {
        const size_t bit = firstBit + 7 * n + b;
        octets[bit / 8] = static_cast<uint8_t>(octets[bit / 8] | (1u << (bit % 8)));
      }
    }
  }
}

// `count` septets read from the start of the octets (whole septets only).
inline std::vector<uint8_t> UnpackSeptets(std::span<const uint8_t> octets, size_t count) {
  std::vector<uint8_t> codes;
  for (size_t n = 0; n < count && 7 * (n + 1) <= 8 * octets.size(); ++n) {
    uint8_t code = 0;
    for (size_t b = 0; b < 7; ++b) {
      const size_t bit = 7 * n + b;
      if (octets[bit / 8] & (1u << (bit % 8))) code = static_cast<uint8_t>(code | (1u << b));
    }
    codes.push_back(code);
  }
  return codes;
}

// Septets a user data header of `headerOctets` octets (length byte included) takes,
// fill bits included.
inline size_t HeaderSeptets(size_t headerOctets) { return (8 * headerOctets + 6) / 7; }

// ---- address fields -------------------------------------------------------------

struct Address {
  uint8_t length = 0;  // as the field's length byte counts (digits or octets)
  uint8_t type = 0x81;
  std::vector<uint8_t> digits;  // semi-octet bytes (or packed name)
};

inline bool IsPhoneNumber(const std::string &text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!(c >= '0' && c <= '9') && !(c == '+' && i == 0)) return false;
  }
  return true;
}

// Semi-octets of a number; a text that is not a number becomes an alphanumeric
// address (type 0xD0, the name packed as septets). The length counts semi-octets.
inline Address EncodeAddress(const std::string &text) {
  Address address;
  if (!IsPhoneNumber(text)) {
    address.type = 0xD0;
    const auto codes = GsmCodes(text);
    PackSeptetsAt(address.digits, 0, codes);
    if (address.digits.size() > 10) address.digits.resize(10);
    size_t usedBits = std::min<size_t>(7 * codes.size(), 80);
    address.length = static_cast<uint8_t>((usedBits + 3) / 4);
    return address;
  }
  std::string digits = text;
  if (!digits.empty() && digits[0] == '+') {
    address.type = 0x91;
    digits.erase(0, 1);
  }
  if (digits.size() > 20) digits.resize(20);
  address.length = static_cast<uint8_t>(digits.size());
  for (size_t i = 0; i < digits.size(); i += 2) {
    const uint8_t low = static_cast<uint8_t>(digits[i] - '0');
    const uint8_t high = i + 1 < digits.size() ? static_cast<uint8_t>(digits[i + 1] - '0') : 0x0F;
    address.digits.push_back(static_cast<uint8_t>(low | (high << 4)));
  }
  return address;
}

// Number text of a field's type byte and digit bytes.
inline std::string DecodeDigits(uint8_t type, std::span<const uint8_t> digits, size_t digitCount) {
  std::string out = type == 0x91 ? "+" : "";
  for (size_t i = 0; i < digitCount && i / 2 < digits.size(); ++i) {
    const uint8_t nibble = (i % 2 == 0) ? (digits[i / 2] & 0x0F) : (digits[i / 2] >> 4);
    if (nibble < 10)
      out += static_cast<char>('0' + nibble);
    else if (nibble != 0x0F)
      out += '?';
  }
  return out;
}

// The 12-byte form of the phone's SMS messages: length, type, 10 digit bytes.
inline std::vector<uint8_t> AddressField(const Address &address, uint8_t lengthByte) {
  std::vector<uint8_t> field = {lengthByte, address.type};
  field.insert(field.end(), address.digits.begin(), address.digits.end());
  field.resize(12, 0x00);
  return field;
}

// ---- time stamps ----------------------------------------------------------------

inline uint8_t SwappedBcd(int value) {
  value = ((value % 100) + 100) % 100;
  return static_cast<uint8_t>((value / 10) | ((value % 10) << 4));
}

// ---- data coding scheme ---------------------------------------------------------

enum class Coding { kGsm, kEightBit, kUcs2 };

struct CodingScheme {
  Coding coding = Coding::kGsm;
  std::optional<int> messageClass;
  bool compressed = false;
};

inline CodingScheme DecodeCoding(uint8_t dcs) {
  CodingScheme scheme;
  if ((dcs & 0xF0) == 0xF0) {  // data coding / message class group
    scheme.coding = (dcs & 0x04) ? Coding::kEightBit : Coding::kGsm;
    scheme.messageClass = dcs & 0x03;
  } else if ((dcs & 0xC0) == 0x00) {  // general data coding
    scheme.compressed = (dcs & 0x20) != 0;
    switch ((dcs >> 2) & 0x03) {
      case 1:
        scheme.coding = Coding::kEightBit;
        break;
      case 2:
        scheme.coding = Coding::kUcs2;
        break;
      default:
        scheme.coding = Coding::kGsm;
        break;
    }
    if (dcs & 0x10) scheme.messageClass = dcs & 0x03;
  } else if ((dcs & 0xF0) == 0xE0) {  // message waiting, UCS-2 text
    scheme.coding = Coding::kUcs2;
  }
  return scheme;
}

inline uint8_t EncodeCoding(Coding coding, std::optional<int> messageClass) {
  const uint8_t alphabet = coding == Coding::kUcs2 ? 0x08 : coding == Coding::kEightBit ? 0x04 : 0x00;
  if (!messageClass) return alphabet;
  return static_cast<uint8_t>(0x10 | alphabet | (*messageClass & 0x03));
}

inline std::string CodingName(Coding coding) {
  return coding == Coding::kUcs2 ? "ucs2" : coding == Coding::kEightBit ? "8bit" : "gsm";
}

// UTF-16 big-endian bytes <-> UTF-8 (characters beyond the BMP as surrogate pairs).
inline std::vector<uint8_t> Ucs2Bytes(const std::string &text) {
  std::vector<uint8_t> out;
  auto put = [&out](char32_t unit) {
    out.push_back(static_cast<uint8_t>(unit >> 8));
    out.push_back(static_cast<uint8_t>(unit & 0xFF));
  };
  for (char32_t c : Utf8CodePoints(text)) {
    if (c >= 0x10000) {
      c -= 0x10000;
      put(0xD800 + (c >> 10));
      put(0xDC00 + (c & 0x3FF));
    } else {
      put(c);
    }
  }
  return out;
}

inline std::string Ucs2Text(std::span<const uint8_t> bytes) {
  std::string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char32_t unit = static_cast<char32_t>(bytes[i] << 8 | bytes[i + 1]);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
      const char32_t low = static_cast<char32_t>(bytes[i + 2] << 8 | bytes[i + 3]);
      if (low >= 0xDC00 && low < 0xE000) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    AppendUtf8(out, unit);
  }
  return out;
}

// Minutes of a relative validity period byte.
inline int ValidityMinutes(uint8_t vp) {
  if (vp <= 143) return (vp + 1) * 5;
  if (vp <= 167) return 720 + (vp - 143) * 30;
  if (vp <= 196) return (vp - 166) * 1440;
  return (vp - 192) * 10080;
}

}  // namespace phonesim::sms
