#pragma once
// The GSM 7-bit default alphabet (03.38): one table of code points, with the extension
// table and the Latin-1 view made from it.

#include <array>
#include <cstddef>
#include <cstdint>

namespace pelkor {

// The GSM 7-bit default alphabet as code points, entry k for code k; the escape code
// (0x1B) holds none. Every other view of the alphabet is made from this table.
inline constexpr char32_t kGsmDefaultAlphabet[128] = {
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
struct GsmExtension {
  uint8_t code;
  char32_t point;
};
inline constexpr GsmExtension kGsmExtensionTable[] = {
    {0x0A, 0x000C},  // form feed (page break)
    {0x14, U'^'},   {0x28, U'{'}, {0x29, U'}'}, {0x2F, U'\\'},  {0x3C, U'['},
    {0x3D, U'~'},   {0x3E, U']'}, {0x40, U'|'}, {0x65, 0x20AC},  // euro sign
};

// The alphabet as Latin-1 host characters: a code whose character Latin-1 lacks (most
// Greek capitals) and the escape code become '?'; the extension table is left out.
constexpr std::array<uint8_t, 128> LatinOfGsm() {
  std::array<uint8_t, 128> latin{};
  for (size_t k = 0; k < latin.size(); ++k) {
    const char32_t point = kGsmDefaultAlphabet[k];
    latin[k] = point != 0 && point <= 0xFF ? static_cast<uint8_t>(point) : static_cast<uint8_t>('?');
  }
  return latin;
}
inline constexpr std::array<uint8_t, 128> gsmAlphabet = LatinOfGsm();

// GSM code 0..127 for a host character; characters the alphabet lacks become '?'.
uint8_t CharToGsm(char ch);

// Host character for a GSM code; only the low 7 bits of code are used.
char GsmToChar(uint8_t code);

}  // namespace pelkor
