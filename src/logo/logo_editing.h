#pragma once
// The shared logo as hosts read and edit it, in the host's terms: its pixel values are
// inverted (0 draws a pixel), its group number reads back as a signed byte, and texts
// go into the host's buffers.
#include <cstdint>

namespace pelkor {

// logo_setdata: the kind, and the network code unless it is null. Always 0.
int32_t SetLogoData(int32_t kind, const char *networkCode);

// logo_getdata: kind, size and network code; a null output is skipped. Always 0.
int32_t GetLogoData(int32_t *kind, int32_t *width, int32_t *height, char *networkCode, int32_t length);

// logo_setpixel: 0 draws the pixel, anything else clears it. A point outside the
// kind's geometry changes nothing. Always 0.
int32_t SetHostPixel(int32_t x, int32_t y, int32_t value);

// logo_getpixel: 0 for a pixel drawn, 1 for a clear one; a point outside reads as 0.
int32_t HostPixel(int32_t x, int32_t y);

// logo_setgroupnumber keeps the low byte; logo_getgroupnumber reads it back as a signed
// byte widened to 16 bits, so 128-255 come out as 65408-65535.
void SetHostGroupNumber(int32_t number);
int32_t HostGroupNumber();

// logo_getgroupname: the caller-group name (or start-up text) into the host's buffer.
void GetLogoGroupName(char *buffer, int32_t length);

}  // namespace pelkor
