#pragma once
// The one way text goes into a fixed field or a caller's buffer: zero-filled, cut to fit,
// always terminated.
#include <cstddef>
#include <cstdint>

namespace pelkor {

// Copies at most `maxChars` characters of `text` (and never more than capacity - 1) into
// `field`, which is zeroed first. A null text leaves the field empty.
void CopyField(char *field, size_t capacity, const char *text, size_t maxChars = SIZE_MAX);

// The same into a buffer the host passed with its size: nothing when the buffer is null
// or the size is not positive.
void CopyToCaller(char *buffer, int32_t size, const char *text);

}  // namespace pelkor
