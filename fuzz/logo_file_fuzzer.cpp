// logo_readfile on arbitrary file contents; a logo it accepts is then written in its own
// format and as each of the three kinds (logo_setdata, logo_writefile), and every file
// written is read back and compared with what was written, field by field, wherever
// the format holds the field.
#include <pelkor16.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "logo/logo_bitmap.h"

namespace {

using pelkor::LogoBitmap;

std::string g_inputPath, g_outputPath;

// A record with every field set, so that a reader that wrongly clears or keeps a field
// shows in the comparisons.
LogoBitmap Baseline() {
  LogoBitmap logo{};
  logo.kind = pelkor::kLogoCaller;
  logo.width = 72;
  logo.height = 14;
  logo.size = 126;
  std::snprintf(logo.networkCode, sizeof logo.networkCode, "244 05");
  std::snprintf(logo.groupName, sizeof logo.groupName, "Family");
  for (size_t i = 0; i < sizeof logo.bitmap; ++i) logo.bitmap[i] = static_cast<uint8_t>(0xA5 ^ i);
  logo.groupNumber = 3;
  logo.ringtoneId = 0x11;
  return logo;
}

bool SameRecord(const LogoBitmap &a, const LogoBitmap &b) {
  return a.height == b.height && a.width == b.width && a.size == b.size && a.kind == b.kind &&
         std::memcmp(a.networkCode, b.networkCode, sizeof a.networkCode) == 0 &&
         std::memcmp(a.groupName, b.groupName, sizeof a.groupName) == 0 &&
         std::memcmp(a.bitmap, b.bitmap, sizeof a.bitmap) == 0 && a.groupNumber == b.groupNumber &&
         a.ringtoneId == b.ringtoneId;
}

// The byte a writer puts in the file for bitmap index i: zero past the meaningful size.
uint8_t FileByte(const LogoBitmap &logo, size_t i) {
  return i < logo.size && i < pelkor::kLogoBitmapCapacity ? logo.bitmap[i] : 0;
}

// "MCC NN" as a NOL file gives it back: "%u %02u" of numbers within 999 and 99.
bool CanonicalNetworkCode(const char (&code)[pelkor::kLogoNetworkCodeCapacity]) {
  char text[pelkor::kLogoNetworkCodeCapacity + 1] = {};
  std::memcpy(text, code, sizeof code);
  unsigned country = 0, network = 0;
  char rest = 0;
  if (std::sscanf(text, "%u %u%c", &country, &network, &rest) != 2 || country > 999 || network > 99) return false;
  char canonical[16];
  std::snprintf(canonical, sizeof canonical, "%u %02u", country, network);
  return std::strcmp(canonical, text) == 0;
}

void ExpectKeptFields(const LogoBitmap &written, const LogoBitmap &back) {
  FUZZ_CHECK(std::memcmp(back.groupName, written.groupName, sizeof back.groupName) == 0);
  FUZZ_CHECK(back.groupNumber == written.groupNumber);
  FUZZ_CHECK(back.ringtoneId == written.ringtoneId);
}

// Writes `written` with logo_writefile, reads the file back into a record that starts
// as `written`, compares, and returns what was read back.
LogoBitmap RoundTrip(const LogoBitmap &written) {
  LogoBitmap &shared = pelkor::SharedLogo();
  shared = written;
  FUZZ_CHECK(logo_writefile(g_outputPath.c_str()) == 0);
  FUZZ_CHECK(SameRecord(shared, written));  // writing changes nothing

  const int32_t kind = written.kind;
  if (kind != pelkor::kLogoStartup && kind != pelkor::kLogoOperator && kind != pelkor::kLogoCaller) {
    FUZZ_CHECK(fuzzing::ReadWholeFile(g_outputPath).empty());
    return shared;
  }
  const size_t implied = size_t{written.width} * written.height / 8;
  FUZZ_CHECK_MSG(kind == pelkor::kLogoStartup || implied <= pelkor::kLogoBitmapCapacity,
                 "a %ux%u logo was written that no reader takes", written.width, written.height);

  const int32_t result = logo_readfile(g_outputPath.c_str());
  FUZZ_CHECK_MSG(result == 0, "a file written for kind %d (%ux%u, size %u) does not read back: %d", kind, written.width,
                 written.height, written.size, result);
  const LogoBitmap &back = shared;
  FUZZ_CHECK(back.kind == kind);
  ExpectKeptFields(written, back);

  if (kind == pelkor::kLogoStartup) {
    // The start-up file holds the whole 84 x 48 bitmap and nothing else.
    FUZZ_CHECK(back.width == pelkor::kStartupLogoWidth && back.height == pelkor::kStartupLogoHeight);
    FUZZ_CHECK(back.size == pelkor::kLogoBitmapCapacity);
    for (size_t i = 0; i < pelkor::kLogoBitmapCapacity; ++i)
      FUZZ_CHECK_MSG(back.bitmap[i] == FileByte(written, i), "start-up bitmap byte %zu: wrote %02X, read %02X", i,
                     FileByte(written, i), back.bitmap[i]);
    FUZZ_CHECK(std::memcmp(back.networkCode, written.networkCode, sizeof back.networkCode) == 0);
    return back;
  }

  // Operator (NOL) and caller-group (NGG) files: geometry and the bitmap bytes it implies.
  FUZZ_CHECK(back.width == written.width && back.height == written.height);
  FUZZ_CHECK(back.size == implied);
  for (size_t i = 0; i < implied; ++i)
    FUZZ_CHECK_MSG(back.bitmap[i] == FileByte(written, i), "bitmap byte %zu: wrote %02X, read %02X", i,
                   FileByte(written, i), back.bitmap[i]);
  for (size_t i = implied; i < pelkor::kLogoBitmapCapacity; ++i)
    FUZZ_CHECK_MSG(back.bitmap[i] == written.bitmap[i], "bitmap byte %zu past the image changed", i);

  if (kind == pelkor::kLogoOperator) {
    FUZZ_CHECK(CanonicalNetworkCode(back.networkCode));
    if (CanonicalNetworkCode(written.networkCode))
      FUZZ_CHECK_MSG(std::memcmp(back.networkCode, written.networkCode, sizeof back.networkCode) == 0,
                     "network code \"%.6s\" came back as \"%.6s\"", written.networkCode, back.networkCode);
  } else {
    FUZZ_CHECK(std::memcmp(back.networkCode, written.networkCode, sizeof back.networkCode) == 0);
  }
  return back;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_inputPath = fuzzing::ScratchPath("input.logo");
  g_outputPath = fuzzing::ScratchPath("output.logo");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzzing::WriteWholeFile(g_inputPath, data, size);
  LogoBitmap &shared = pelkor::SharedLogo();
  shared = Baseline();
  const LogoBitmap before = shared;

  const int32_t result = logo_readfile(g_inputPath.c_str());
  if (result != 0) {
    FUZZ_CHECK(result == -1);
    FUZZ_CHECK_MSG(SameRecord(shared, before), "a refused file changed the logo");
    return 0;
  }
  const LogoBitmap read = shared;
  FUZZ_CHECK(read.kind == pelkor::kLogoStartup || read.kind == pelkor::kLogoOperator ||
             read.kind == pelkor::kLogoCaller);
  FUZZ_CHECK(read.size <= pelkor::kLogoBitmapCapacity);
  FUZZ_CHECK(read.size == size_t{read.width} * read.height / 8);
  // Readers keep what their format does not carry.
  ExpectKeptFields(before, read);
  if (read.kind != pelkor::kLogoOperator)
    FUZZ_CHECK(std::memcmp(read.networkCode, before.networkCode, sizeof read.networkCode) == 0);

  // An NLM file states its kind; a picture that kind cannot hold is refused: a start-up
  // logo is exactly 84 x 48, and every logo has at least one whole byte.
  if (size >= 3 && std::memcmp(data, "NLM", 3) == 0) {
    FUZZ_CHECK_MSG(read.size > 0, "NLM file accepted as kind %d with a %ux%u image of no byte", read.kind, read.width,
                   read.height);
    if (read.kind == pelkor::kLogoStartup)
      FUZZ_CHECK_MSG(read.width == pelkor::kStartupLogoWidth && read.height == pelkor::kStartupLogoHeight,
                     "NLM file accepted as a start-up logo of %ux%u", read.width, read.height);
  }

  // Saved in its own format, the picture that was read comes back whole: every pixel
  // of its width and height.
  const LogoBitmap back = RoundTrip(read);
  for (int32_t y = 0; y < read.height; ++y)
    for (int32_t x = 0; x < read.width; ++x)
      FUZZ_CHECK_MSG(pelkor::LogoPixelIsOn(back, x, y) == pelkor::LogoPixelIsOn(read, x, y),
                     "pixel (%d, %d) of a %ux%u logo of kind %d changed when saved and read back (size %u)", x, y,
                     read.width, read.height, read.kind, read.size);
  for (const pelkor::LogoKind kind : {pelkor::kLogoStartup, pelkor::kLogoOperator, pelkor::kLogoCaller}) {
    shared = read;
    FUZZ_CHECK(logo_setdata(kind, nullptr) == 0);  // as a host converts a logo
    const LogoBitmap converted = shared;
    RoundTrip(converted);
  }
  return 0;
}
