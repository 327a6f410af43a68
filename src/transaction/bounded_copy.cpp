#include "transaction/bounded_copy.h"

#include <cstring>

namespace pelkor {
namespace {

bool IsUtf8Continuation(char byte) { return (static_cast<uint8_t>(byte) & 0xC0) == 0x80; }

}  // namespace

void CopyField(char *field, size_t capacity, const char *text, size_t maxChars) {
  if (field == nullptr || capacity == 0) return;
  std::memset(field, 0, capacity);
  if (text == nullptr) return;
  const size_t limit = maxChars < capacity - 1 ? maxChars : capacity - 1;
  for (size_t n = 0; n < limit && text[n] != '\0'; ++n) field[n] = text[n];
}

void CopyToCaller(char *buffer, int32_t size, std::string_view text, TextCut cut) {
  if (buffer == nullptr || size <= 0) return;
  const auto capacity = static_cast<size_t>(size);
  std::memset(buffer, 0, capacity);
  size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  // Back off continuation bytes so that the cut falls between two characters.
  if (cut == TextCut::kBetweenUtf8Characters && n < text.size())
    while (n > 0 && IsUtf8Continuation(text[n])) --n;
  if (n > 0) std::memcpy(buffer, text.data(), n);
}

}  // namespace pelkor
