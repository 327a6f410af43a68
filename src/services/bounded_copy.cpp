#include "services/bounded_copy.h"

#include <cstring>

namespace pelkor {

void CopyField(char *field, size_t capacity, const char *text, size_t maxChars) {
  if (field == nullptr || capacity == 0) return;
  std::memset(field, 0, capacity);
  if (text == nullptr) return;
  const size_t limit = maxChars < capacity - 1 ? maxChars : capacity - 1;
  for (size_t n = 0; n < limit && text[n] != '\0'; ++n) field[n] = text[n];
}

void CopyToCaller(char *buffer, int32_t size, const char *text) {
  if (buffer != nullptr && size > 0) CopyField(buffer, static_cast<size_t>(size), text);
}

}  // namespace pelkor
