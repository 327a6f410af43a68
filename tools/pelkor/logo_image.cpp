#include "logo_image.h"

#include <pelkor16.h>
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "atomic_file.h"

namespace pelkor_tool {
namespace {

constexpr size_t kLargestFile = 4 << 20;  // far beyond any logo or logo-sized image
constexpr size_t kBitmapCapacity = 504;

std::string Lower(std::string text) {
  for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

void Geometry(int32_t &width, int32_t &height) {
  int32_t kind;
  logo_getdata(&kind, &width, &height, nullptr, 0);
}

int32_t CurrentKind() {
  int32_t kind = 0;
  logo_getdata(&kind, nullptr, nullptr, nullptr, 0);
  return kind;
}

// A pixel is dark when its bit is set; logo_getpixel answers 1 for a clear bit.
bool Dark(int32_t x, int32_t y) { return logo_getpixel(x, y) == 0; }

bool ReadWhole(const std::string &path, std::vector<uint8_t> &bytes, std::string &error) {
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = errno == ENOENT ? "no such file" : std::strerror(errno);
    return false;
  }
  bytes.clear();
  uint8_t chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && bytes.size() <= kLargestFile)
    bytes.insert(bytes.end(), chunk, chunk + got);
  const bool failed = std::ferror(file) != 0;
  const int readError = errno;
  std::fclose(file);
  if (failed) {
    error = readError == EISDIR ? "it is a folder, not a file" : "it cannot be read";
    return false;
  }
  if (bytes.size() > kLargestFile) {
    error = "it is far too large for a logo";
    return false;
  }
  if (bytes.empty()) {
    error = "the file is empty";
    return false;
  }
  return true;
}

// Writes `bytes` as the whole file at `path`; on failure `error` says why.
bool WriteWholeFile(const std::string &path, const std::vector<uint8_t> &bytes, std::string &error) {
  return WriteAllTo(path, bytes.data(), bytes.size(), error);
}

// The length of the file at `path`, -1 when it cannot be told.
long FileLength(const std::string &path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

bool StartsWith(const std::vector<uint8_t> &bytes, const char *mark) {
  const size_t n = std::strlen(mark);
  return bytes.size() >= n && std::memcmp(bytes.data(), mark, n) == 0;
}

LogoFileType TypeFromContent(const std::vector<uint8_t> &bytes) {
  if (StartsWith(bytes, "NOL")) return LogoFileType::kNol;
  if (StartsWith(bytes, "NGG")) return LogoFileType::kNgg;
  if (StartsWith(bytes, "FORM")) return LogoFileType::kForm;
  if (StartsWith(bytes, "NLM")) return LogoFileType::kNlm;
  if (StartsWith(bytes, "\x89PNG\r\n\x1a\n")) return LogoFileType::kPng;
  if (StartsWith(bytes, "BM")) return LogoFileType::kBmp;
  return LogoFileType::kUnknown;
}

unsigned Little16(const std::vector<uint8_t> &b, size_t at) { return b[at] | (b[at + 1] << 8u); }
uint32_t Little32(const std::vector<uint8_t> &b, size_t at) {
  return b[at] | (b[at + 1] << 8u) | (b[at + 2] << 16u) | (static_cast<uint32_t>(b[at + 3]) << 24u);
}

// The pixel part of a NOL or NGG file: `size` bytes spelled as eight "0"/"1" characters each.
std::string CheckTextBits(const std::vector<uint8_t> &b, size_t header, const char *what) {
  if (b.size() < header) return "it ends inside its " + std::string(what) + " header";
  const unsigned width = b[header == 20 ? 10 : 6], height = b[header == 20 ? 12 : 8];
  const size_t size = static_cast<size_t>(width) * height / 8;
  const std::string geometry = std::to_string(width) + "x" + std::to_string(height);
  if (size == 0) return "its header declares an empty " + geometry + " bitmap";
  if (size > kBitmapCapacity) return "its header declares " + geometry + " pixels, more than a logo holds";
  const size_t needed = header + size * 8;
  if (b.size() < needed)
    return "it ends inside the bitmap (" + std::to_string(b.size() - header) + " of " + std::to_string(size * 8) +
           " pixel characters for " + geometry + ")";
  for (size_t i = header; i < needed; ++i)
    if (b[i] != '0' && b[i] != '1')
      return "the bitmap holds a character other than 0 and 1 at byte " + std::to_string(i);
  if (header == 20 && (Little16(b, 6) > 999 || Little16(b, 8) > 99))
    return "its network code " + std::to_string(Little16(b, 6)) + " " + std::to_string(Little16(b, 8)) +
           " is not one (country at most 999, network at most 99)";
  return "";
}

std::string CheckForm(const std::vector<uint8_t> &b) {
  for (size_t i = 0; i + 3 <= b.size(); ++i) {
    if (std::memcmp(b.data() + i, "NSL", 3) != 0) continue;
    const size_t start = i + 6;
    if (b.size() < start + kBitmapCapacity)
      return "it ends inside the bitmap (" + std::to_string(b.size() > start ? b.size() - start : 0) + " of 504 bytes)";
    return "";
  }
  return "it is a FORM file without a start-up logo chunk (NSLD)";
}

std::string CheckNlm(const std::vector<uint8_t> &b) {
  if (b.size() < 6) return "it ends inside its NLM header";
  if (b[5] > 2) return "it is an NLM file of unknown logo type " + std::to_string(b[5]) + " (0-2 are known)";
  size_t at = 6;
  while (at < b.size() && (b[at] & 0x40) != 0) ++at;
  ++at;  // the byte without bit 6 ends the field
  if (at + 3 > b.size()) return "it ends inside its NLM header";
  const unsigned width = b[at], height = b[at + 1];
  at += 3;
  const std::string geometry = std::to_string(width) + "x" + std::to_string(height);
  const size_t size = static_cast<size_t>(width) * height / 8;
  if (size == 0) return "it declares an empty " + geometry + " picture";
  if (b[5] == 2 && (width != 84 || height != 48))
    return "it is a start-up logo of " + geometry + "; a start-up logo is the whole 84x48 screen";
  if (width != 84 && size > kBitmapCapacity) return "it declares " + geometry + " pixels, more than a logo holds";
  const size_t needed = static_cast<size_t>((width + 7) / 8) * height;
  if (b.size() < at + needed)
    return "it ends inside the bitmap (" + std::to_string(b.size() - at) + " of " + std::to_string(needed) +
           " bytes for " + geometry + ")";
  return "";
}

// ---- Images ----

bool ReadPng(const std::string &path, GreyImage &image, std::string &error) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) {
    error = std::string("it is not a readable PNG image (") + png.message + ")";
    return false;
  }
  if (png.width == 0 || png.height == 0 || png.width > 4096 || png.height > 4096) {
    error = "its size " + std::to_string(png.width) + "x" + std::to_string(png.height) + " is not a picture size";
    png_image_free(&png);
    return false;
  }
  // Grey with alpha: transparent parts count as the light background of a logo.
  png.format = PNG_FORMAT_GA;
  std::vector<png_byte> pixels(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) {
    error = std::string("it ends inside the image data (") + png.message + ")";
    return false;
  }
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.pixels.resize(static_cast<size_t>(image.width) * image.height);
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    const unsigned grey = pixels[2 * i], alpha = pixels[2 * i + 1];
    image.pixels[i] = static_cast<uint8_t>((grey * alpha + 255 * (255 - alpha)) / 255);
  }
  return true;
}

// The colour table of a palette image, which follows the header, as grey levels.
bool ReadBmpPalette(const std::vector<uint8_t> &b, uint32_t headerSize, unsigned bits, std::vector<uint8_t> &palette,
                    std::string &error) {
  uint32_t colours = Little32(b, 46);
  if (colours == 0 || colours > (1u << bits)) colours = 1u << bits;
  const size_t at = 14 + headerSize;
  if (b.size() < at + colours * 4) {
    error = "it ends inside its colour table";
    return false;
  }
  for (uint32_t i = 0; i < colours; ++i)
    palette.push_back(
        static_cast<uint8_t>((b[at + 4 * i] * 114 + b[at + 4 * i + 1] * 587 + b[at + 4 * i + 2] * 299) / 1000));
  return true;
}

// The grey level of pixel `x` of a bitmap row: an index into the palette for up to 8 bits
// a pixel, else blue, green and red bytes.
uint8_t BmpGrey(const uint8_t *line, int32_t x, unsigned bits, const std::vector<uint8_t> &palette) {
  if (bits <= 8) {
    const size_t bit = static_cast<size_t>(x) * bits;
    const unsigned index = (line[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
    return index < palette.size() ? palette[index] : 255;
  }
  const uint8_t *p = line + static_cast<size_t>(x) * (bits / 8);
  return static_cast<uint8_t>((p[0] * 114 + p[1] * 587 + p[2] * 299) / 1000);
}

bool ReadBmp(const std::vector<uint8_t> &b, GreyImage &image, std::string &error) {
  if (b.size() < 54) {
    error = "it ends inside its BMP header";
    return false;
  }
  const uint32_t offset = Little32(b, 10), headerSize = Little32(b, 14);
  if (headerSize < 40) {
    error = "it is a BMP of an old kind (core header) that is not read here";
    return false;
  }
  const int32_t width = static_cast<int32_t>(Little32(b, 18));
  int32_t height = static_cast<int32_t>(Little32(b, 22));
  const unsigned bits = Little16(b, 28);
  const uint32_t compression = Little32(b, 30);
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096) {
    error = "its size " + std::to_string(width) + "x" + std::to_string(height) + " is not a picture size";
    return false;
  }
  if (compression != 0 && !(compression == 3 && (bits == 16 || bits == 32))) {
    error = "it is a compressed BMP; save it uncompressed";
    return false;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
    error = "it has " + std::to_string(bits) + " bits a pixel; 1, 4, 8, 24 and 32 are read";
    return false;
  }
  std::vector<uint8_t> palette;
  if (bits <= 8 && !ReadBmpPalette(b, headerSize, bits, palette, error)) return false;
  const size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
  if (offset > b.size() || b.size() - offset < stride * static_cast<size_t>(height)) {
    error = "it ends inside the bitmap";
    return false;
  }
  image.width = width;
  image.height = height;
  image.pixels.assign(static_cast<size_t>(width) * height, 255);
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t *line = b.data() + offset + stride * static_cast<size_t>(topDown ? row : height - 1 - row);
    for (int32_t x = 0; x < width; ++x)
      image.pixels[static_cast<size_t>(row) * width + x] = BmpGrey(line, x, bits, palette);
  }
  return true;
}

GreyImage LogoAsImage() {
  int32_t width, height;
  Geometry(width, height);
  GreyImage image;
  image.width = width;
  image.height = height;
  image.pixels.resize(static_cast<size_t>(std::max(width, 0)) * std::max(height, 0));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) image.pixels[static_cast<size_t>(y) * width + x] = Dark(x, y) ? 0 : 255;
  return image;
}

bool WritePng(const std::string &path, const GreyImage &image, std::string &error) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_GRAY;
  if (png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr) != 0) return true;
  error = png.message;
  return false;
}

// A 1-bit BMP with a black and white colour table, rows bottom up.
bool WriteBmp(const std::string &path, const GreyImage &image, std::string &error) {
  const size_t stride = ((static_cast<size_t>(image.width) + 31) / 32) * 4;
  const uint32_t offset = 14 + 40 + 8, size = offset + static_cast<uint32_t>(stride * image.height);
  std::vector<uint8_t> out(size, 0);
  auto put16 = [&](size_t at, unsigned v) { out[at] = v & 0xFF, out[at + 1] = (v >> 8) & 0xFF; };
  auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
  out[0] = 'B', out[1] = 'M';
  put32(2, size);
  put32(10, offset);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(image.width));
  put32(22, static_cast<uint32_t>(image.height));
  put16(26, 1);
  put16(28, 1);
  put32(34, static_cast<uint32_t>(stride * image.height));
  put32(38, 2835);  // 72 dots per inch
  put32(42, 2835);
  put32(46, 2);
  // Colour 0 black, colour 1 white.
  out[58] = out[59] = out[60] = 0xFF;
  for (int y = 0; y < image.height; ++y) {
    uint8_t *line = out.data() + offset + stride * static_cast<size_t>(image.height - 1 - y);
    for (int x = 0; x < image.width; ++x)
      if (image.pixels[static_cast<size_t>(y) * image.width + x] >= 128)
        line[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  }
  return WriteWholeFile(path, out, error);
}

// An NLM file: "NLM ", a version byte, the logo type (0 operator, 1 caller group,
// 2 start-up), one frame byte, width, height, a byte the reader skips, then the rows,
// each padded to whole bytes with the leftmost pixel in the top bit.
bool WriteNlm(const std::string &path, int32_t kind, std::string &error) {
  int32_t width, height;
  Geometry(width, height);
  const uint8_t type = kind == PELKOR_LOGO_STARTUP ? 2 : kind == PELKOR_LOGO_CALLER ? 1 : 0;
  std::vector<uint8_t> out = {
      'N', 'L', 'M', ' ', 0x01, type, 0x00, static_cast<uint8_t>(width), static_cast<uint8_t>(height), 0x01};
  const size_t stride = (static_cast<size_t>(width) + 7) / 8;
  for (int32_t y = 0; y < height; ++y) {
    std::vector<uint8_t> row(stride, 0);
    for (int32_t x = 0; x < width; ++x)
      if (Dark(x, y)) row[static_cast<size_t>(x) / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    out.insert(out.end(), row.begin(), row.end());
  }
  return WriteWholeFile(path, out, error);
}

// The kind an image of this shape is most likely meant as: the start-up screen or the
// wide, low operator logo, whichever proportions are nearer.
int32_t KindForShape(int width, int height) {
  if (width == 84 && height == 48) return PELKOR_LOGO_STARTUP;
  if (width == 72 && height == 14) return PELKOR_LOGO_OPERATOR;
  const double shape = std::log(static_cast<double>(width) / height);
  return std::fabs(shape - std::log(84.0 / 48)) <= std::fabs(shape - std::log(72.0 / 14)) ? PELKOR_LOGO_STARTUP
                                                                                          : PELKOR_LOGO_OPERATOR;
}

bool HasDark(const GreyImage &image) {
  return std::any_of(image.pixels.begin(), image.pixels.end(), [](uint8_t p) { return p < 128; });
}

bool ImageToLogo(const GreyImage &image, int32_t kind, std::string &error, std::string *note) {
  if (kind == PELKOR_LOGO_NONE) kind = KindForShape(image.width, image.height);
  const int width = kind == PELKOR_LOGO_STARTUP ? 84 : 72, height = kind == PELKOR_LOGO_STARTUP ? 48 : 14;
  const GreyImage fitted = FitImage(image, width, height);
  if (HasDark(image) && !HasDark(fitted)) {
    error = "scaled from " + std::to_string(image.width) + "x" + std::to_string(image.height) + " to " +
            std::to_string(width) + "x" + std::to_string(height) +
            " nothing dark is left; draw it at that size, with heavier lines";
    return false;
  }
  if (note != nullptr && (image.width != width || image.height != height))
    *note = "scaled the " + std::to_string(image.width) + "x" + std::to_string(image.height) + " image to fit the " +
            std::to_string(width) + "x" + std::to_string(height) + " " + LogoKindName(kind) + " logo";
  // Keep the network code, group name and number of the logo in memory; clear the pixels.
  logo_setdata(kind, nullptr);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      logo_setpixel(x, y, fitted.pixels[static_cast<size_t>(y) * width + x] < 128 ? 0 : 1);
  return true;
}

}  // namespace

std::string LogoKindName(int32_t kind) {
  switch (kind) {
    case PELKOR_LOGO_STARTUP:
      return "start-up";
    case PELKOR_LOGO_OPERATOR:
      return "operator";
    case PELKOR_LOGO_CALLER:
      return "caller group";
    default:
      return "empty";
  }
}

LogoFileType TypeFromExtension(const std::string &path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return LogoFileType::kUnknown;
  const std::string extension = Lower(path.substr(dot + 1));
  if (extension == "nol") return LogoFileType::kNol;
  if (extension == "ngg") return LogoFileType::kNgg;
  if (extension == "nlm") return LogoFileType::kNlm;
  if (extension == "form" || extension == "fml") return LogoFileType::kForm;
  if (extension == "png") return LogoFileType::kPng;
  if (extension == "bmp") return LogoFileType::kBmp;
  return LogoFileType::kUnknown;
}

GreyImage FitImage(const GreyImage &image, int width, int height) {
  GreyImage out;
  out.width = width;
  out.height = height;
  out.pixels.assign(static_cast<size_t>(width) * height, 255);
  if (image.width <= 0 || image.height <= 0) return out;
  if (image.width == width && image.height == height) {
    for (size_t i = 0; i < out.pixels.size(); ++i) out.pixels[i] = image.pixels[i] < 128 ? 0 : 255;
    return out;
  }
  const double scale = std::min(static_cast<double>(width) / image.width, static_cast<double>(height) / image.height);
  const int w = std::max(1, static_cast<int>(std::lround(image.width * scale)));
  const int h = std::max(1, static_cast<int>(std::lround(image.height * scale)));
  const int left = (width - w) / 2, top = (height - h) / 2;
  // Each target pixel takes the mean of the source pixels it covers.
  for (int y = 0; y < h; ++y) {
    const int y0 = y * image.height / h, y1 = std::max(y0 + 1, (y + 1) * image.height / h);
    for (int x = 0; x < w; ++x) {
      const int x0 = x * image.width / w, x1 = std::max(x0 + 1, (x + 1) * image.width / w);
      unsigned long sum = 0, count = 0;
      for (int sy = y0; sy < y1 && sy < image.height; ++sy)
        for (int sx = x0; sx < x1 && sx < image.width; ++sx, ++count)
          sum += image.pixels[static_cast<size_t>(sy) * image.width + sx];
      const unsigned mean = count ? static_cast<unsigned>(sum / count) : 255;
      out.pixels[static_cast<size_t>(top + y) * width + left + x] = mean < 128 ? 0 : 255;
    }
  }
  return out;
}

bool LoadLogo(const std::string &path, int32_t kind, std::string &error, std::string *note) {
  std::vector<uint8_t> bytes;
  if (!ReadWhole(path, bytes, error)) return false;
  const LogoFileType type = TypeFromContent(bytes);
  GreyImage image;
  switch (type) {
    case LogoFileType::kUnknown:
      error = "not a logo file (it is none of NOL, NGG, NLM, FORM, PNG and BMP)";
      return false;
    case LogoFileType::kPng:
      return ReadPng(path, image, error) && ImageToLogo(image, kind, error, note);
    case LogoFileType::kBmp:
      return ReadBmp(bytes, image, error) && ImageToLogo(image, kind, error, note);
    case LogoFileType::kNol:
      error = CheckTextBits(bytes, 20, "NOL");
      break;
    case LogoFileType::kNgg:
      error = CheckTextBits(bytes, 16, "NGG");
      break;
    case LogoFileType::kForm:
      error = CheckForm(bytes);
      break;
    case LogoFileType::kNlm:
      error = CheckNlm(bytes);
      break;
  }
  if (!error.empty()) return false;
  if (logo_readfile(path.c_str()) != PELKOR_OK) {
    error = "the library could not read it as a logo";
    return false;
  }
  return true;
}

namespace {

// Writes the logo at `path` (a fresh temporary); SaveLogo puts it in place.
bool WriteLogoTo(const std::string &path, LogoFileType type, std::string &error) {
  const int32_t kind = CurrentKind();
  if (type == LogoFileType::kPng || type == LogoFileType::kBmp) {
    const GreyImage image = LogoAsImage();
    if (image.width <= 0 || image.height <= 0) {
      error = "there is no logo to write";
      return false;
    }
    return type == LogoFileType::kPng ? WritePng(path, image, error) : WriteBmp(path, image, error);
  }
  if (kind != PELKOR_LOGO_STARTUP && kind != PELKOR_LOGO_OPERATOR && kind != PELKOR_LOGO_CALLER) {
    error = "there is no logo to write";
    return false;
  }
  // An NLM file holds any kind; the others hold one each.
  if (type == LogoFileType::kNlm) return WriteNlm(path, kind, error);
  const int32_t wanted = type == LogoFileType::kForm  ? PELKOR_LOGO_STARTUP
                         : type == LogoFileType::kNol ? PELKOR_LOGO_OPERATOR
                         : type == LogoFileType::kNgg ? PELKOR_LOGO_CALLER
                                                      : PELKOR_LOGO_NONE;
  if (wanted == PELKOR_LOGO_NONE) {
    error = "unknown output type: use .nol, .ngg, .nlm, .form (or .fml), .png or .bmp";
    return false;
  }
  if ((wanted == PELKOR_LOGO_STARTUP) != (kind == PELKOR_LOGO_STARTUP)) {
    error = "a " + LogoKindName(kind) + " logo (" + (kind == PELKOR_LOGO_STARTUP ? "84x48" : "72x14") +
            ") cannot be written as a " + LogoKindName(wanted) + " logo file; convert from an image instead";
    return false;
  }
  if (wanted != kind) logo_setdata(wanted, nullptr);  // operator and caller logos share their geometry
  errno = 0;
  if (logo_writefile(path.c_str()) != PELKOR_OK) {
    error = errno ? std::strerror(errno) : "it cannot be created";
    return false;
  }
  // The library does not report a write that fell short (a full disk): the length of
  // the file says whether it is all there.
  int32_t width, height;
  Geometry(width, height);
  const long bits = static_cast<long>(width) * height / 8 * 8;  // each bitmap byte as 8 characters
  const long expected = wanted == PELKOR_LOGO_STARTUP ? 580 : (wanted == PELKOR_LOGO_OPERATOR ? 20 : 16) + bits;
  if (FileLength(path) != expected) {
    errno = ENOSPC;
    error = "the file could not be written whole (is the disk full?)";
    return false;
  }
  return true;
}

}  // namespace

bool SaveLogo(const std::string &path, LogoFileType type, std::string &error) {
  return WriteFileAtomically(
      path, [&](const std::string &temporary, std::string &why) { return WriteLogoTo(temporary, type, why); }, error);
}

std::vector<std::string> LogoRows() {
  int32_t width, height;
  Geometry(width, height);
  std::vector<std::string> rows;
  for (int32_t y = 0; y < height; ++y) {
    std::string row;
    for (int32_t x = 0; x < width; ++x) row += Dark(x, y) ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

std::string LogoAsBlocks() {
  int32_t width, height;
  Geometry(width, height);
  std::string out;
  for (int32_t y = 0; y < height; y += 2) {
    for (int32_t x = 0; x < width; ++x) {
      const bool top = Dark(x, y), bottom = y + 1 < height && Dark(x, y + 1);
      out += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
    }
    out += '\n';
  }
  return out;
}

}  // namespace pelkor_tool
