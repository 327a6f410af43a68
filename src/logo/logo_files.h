// Logo files: NOL (operator), NGG (caller group) and FORM (start-up) are read and
// written; NLM is read only.
#pragma once

#include <cstdint>

#include "logo/logo_bitmap.h"

namespace pelkor {

// Loads `logo` from the file, whose format is recognised by its first bytes.
// Returns 0, or -1 when the file cannot be opened, is not a known format, is short,
// or holds an image or network code that does not fit the record; on -1 `logo` is
// exactly as it was before the call.
int32_t ReadLogoFile(const char *path, LogoBitmap &logo);

// Saves `logo` in the format of its kind (start-up FORM, operator NOL, caller NGG);
// any other kind leaves an empty file. Returns 0, or -1 when the file cannot be
// created or written.
int32_t WriteLogoFile(const char *path, const LogoBitmap &logo);

}  // namespace pelkor
