#include "logo_image.h"

#include <pelkor16.h>
#include <png.h>

#include <cstdio>
#include <memory>

namespace pelkor_tool {
namespace {

bool EndsWith(const std::string &text, const std::string &tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsPng(const std::string &path) { return EndsWith(path, ".png") || EndsWith(path, ".PNG"); }

void Geometry(int32_t &width, int32_t &height) {
  int32_t kind;
  logo_getdata(&kind, &width, &height, nullptr, 0);
}

// A pixel is dark when its bit is set; logo_getpixel answers 1 for a clear bit.
bool Dark(int32_t x, int32_t y) { return logo_getpixel(x, y) == 0; }

bool ReadPng(const std::string &path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_GRAY;
  if (image.width == 0 || image.height == 0 || image.width > 4096 || image.height > 4096) {
    png_image_free(&image);
    return false;
  }
  std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return false;
  const bool startup = image.width >= 84 && image.height >= 48;
  logo_setdata(PELKOR_LOGO_NONE, nullptr);
  logo_setdata(startup ? PELKOR_LOGO_STARTUP : PELKOR_LOGO_OPERATOR, nullptr);
  int32_t width, height;
  Geometry(width, height);
  for (int32_t y = 0; y < height && y < static_cast<int32_t>(image.height); ++y)
    for (int32_t x = 0; x < width && x < static_cast<int32_t>(image.width); ++x)
      if (pixels[static_cast<size_t>(y) * image.width + static_cast<size_t>(x)] < 128) logo_setpixel(x, y, 0);
  return true;
}

bool WritePng(const std::string &path) {
  int32_t width, height;
  Geometry(width, height);
  if (width <= 0 || height <= 0) return false;
  std::vector<png_byte> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) pixels[static_cast<size_t>(y * width + x)] = Dark(x, y) ? 0 : 255;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_GRAY;
  return png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr) != 0;
}

}  // namespace

bool LoadLogo(const std::string &path) {
  if (IsPng(path)) return ReadPng(path);
  return logo_readfile(path.c_str()) == PELKOR_OK;
}

bool SaveLogo(const std::string &path) {
  if (IsPng(path)) return WritePng(path);
  return logo_writefile(path.c_str()) == PELKOR_OK;
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
