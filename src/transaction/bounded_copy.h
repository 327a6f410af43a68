#pragma once
// How text goes into a fixed field of the library's records and into a buffer a host
// passed: zero-filled, cut to fit, always terminated. Every export that hands text to
// its host copies it through CopyToCaller (the identity texts from a snapshot that
// SharedText::CopyTo takes under the text's lock).
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pelkor {

// Where a text too long for the buffer is cut. The 8-bit exports hand over Latin-1 or
// raw bytes, one byte per character, and cut at any byte; the UTF-8 exports cut between
// two characters, never inside one.
enum class TextCut { kAtByte, kBetweenUtf8Characters };

// Copies at most `maxChars` characters of `text` (and never more than capacity - 1) into
// `field`, which is zeroed first; a zero byte ends the text. A null text leaves the
// field empty.
void CopyField(char *field, size_t capacity, const char *text, size_t maxChars = SIZE_MAX);

// Copies `text` into a buffer the host passed with its size: the buffer is zeroed, then
// takes at most size - 1 bytes of the text (zero bytes inside it included), cut as `cut`
// says. Nothing happens when the buffer is null or the size is not positive.
void CopyToCaller(char *buffer, int32_t size, std::string_view text, TextCut cut = TextCut::kAtByte);

// The same for a fixed field of a record: its text ends at its first zero byte, and no
// later than its last byte but one, so a field without a terminator is never read past.
template <size_t N>
void CopyToCaller(char *buffer, int32_t size, const char (&field)[N]) {
  size_t length = 0;
  while (length + 1 < N && field[length] != '\0') ++length;
  CopyToCaller(buffer, size, std::string_view(field, length));
}

}  // namespace pelkor
