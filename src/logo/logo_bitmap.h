// The one in-memory logo and the rules for addressing its pixels.
//
// The bitmap is held in the phone's own bit layout, so the bytes travel to and from
// the phone unchanged. The record is a plain struct on purpose: the transfer code
// fills it from a reply handler and guards it itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelkor {

// Logo kinds. Any 32-bit value may be stored; these are the ones with a meaning.
using LogoKind = int32_t;
inline constexpr LogoKind kLogoNone = 0;
inline constexpr LogoKind kLogoStartup = 1;
inline constexpr LogoKind kLogoOperator = 2;
inline constexpr LogoKind kLogoCaller = 3;

inline constexpr size_t kLogoBitmapCapacity = 504;     // a full start-up logo
inline constexpr size_t kLogoGroupNameCapacity = 256;  // 255 characters + zero
inline constexpr size_t kLogoNetworkCodeCapacity = 7;  // "244 05" + zero

inline constexpr uint8_t kStartupLogoWidth = 84;
inline constexpr uint8_t kStartupLogoHeight = 48;
inline constexpr uint8_t kSmallLogoWidth = 72;  // operator and caller-group logos
inline constexpr uint8_t kSmallLogoHeight = 14;

struct LogoBitmap {
  uint8_t height;
  uint8_t width;
  uint16_t size;  // meaningful bytes at the start of `bitmap`
  LogoKind kind;
  char networkCode[kLogoNetworkCodeCapacity];  // "MCC NN": digits 0-2, separator, digits 4-5
  char groupName[kLogoGroupNameCapacity];      // caller-group name, or start-up text
  uint8_t bitmap[kLogoBitmapCapacity];
  uint8_t groupNumber;
  uint8_t ringtoneId;  // only carried from a download to a later upload
};

// The process-wide record (in the logo family's state, logo/logo_state.h); starts all
// zero (kLogoNone).
LogoBitmap &SharedLogo();

struct LogoGeometry {
  uint8_t width;
  uint8_t height;
};

// The fixed pixel geometry of a kind: 84 x 48 for start-up logos, 72 x 14 for
// every other value (kLogoNone included).
LogoGeometry FixedLogoGeometry(LogoKind kind);

struct PixelAddress {
  uint16_t byteIndex;
  uint8_t mask;
};

// Where pixel (x, y) lives for a kind: column bytes in 8-row bands for start-up logos,
// row-major with the leftmost pixel in the most significant bit otherwise. False when
// the point lies outside the kind's fixed geometry.
bool LogoPixelAddress(LogoKind kind, int32_t x, int32_t y, PixelAddress &address);

// Clears every field.
void ClearLogo(LogoBitmap &logo);

// Stores the kind and its fixed geometry and size without touching the pixels, the
// group name or the group number; kLogoNone clears the whole record instead.
void SetLogoKind(LogoBitmap &logo, LogoKind kind);

// Stores at most 6 characters of the code, always zero-terminated.
void SetLogoNetworkCode(LogoBitmap &logo, const char *code);

// Stores at most 255 characters of the name (null counts as empty).
void SetLogoGroupName(LogoBitmap &logo, const char *name);

// Pixels outside the kind's fixed geometry are ignored (set) or read as off (get).
void SetLogoPixel(LogoBitmap &logo, int32_t x, int32_t y, bool on);
bool LogoPixelIsOn(const LogoBitmap &logo, int32_t x, int32_t y);

}  // namespace pelkor
