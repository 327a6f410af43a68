#include "sms/gsm_alphabet.h"

#include <array>

namespace pelkor {

namespace {

constexpr uint8_t kQuestionMark = 0x3F;

// Reverse lookup built at compile time: the lowest code holding a character wins,
// and '?' maps to its own code 0x3F rather than to the first placeholder (0x10).
constexpr std::array<uint8_t, 256> BuildReverse() {
  std::array<uint8_t, 256> reverse{};
  for (auto &code : reverse) code = kQuestionMark;
  for (int k = 127; k >= 0; --k) reverse[gsmAlphabet[k]] = static_cast<uint8_t>(k);
  reverse[kQuestionMark] = kQuestionMark;
  return reverse;
}

constexpr std::array<uint8_t, 256> kHostToGsm = BuildReverse();

}  // namespace

uint8_t CharToGsm(char ch) { return kHostToGsm[static_cast<unsigned char>(ch)]; }

char GsmToChar(uint8_t code) { return static_cast<char>(gsmAlphabet[code & 0x7F]); }

}  // namespace pelkor
