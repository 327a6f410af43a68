#pragma once
// The library's logo as files and images: logo files checked before the library reads
// them (so that a bad file is described, not just refused), PNG and BMP images in and
// out (scaled to the logo's geometry), and drawing in the terminal.
#include <cstdint>
#include <string>
#include <vector>

namespace pelkor_tool {

// A grey image, one byte a pixel (0 black, 255 white), rows top to bottom.
struct GreyImage {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
};

// What a file or an output name is, by its content or by its extension.
enum class LogoFileType { kUnknown, kNol, kNgg, kForm, kNlm, kPng, kBmp };
LogoFileType TypeFromExtension(const std::string &path);

// Loads a logo file (NOL, NGG, FORM, NLM) or an image (PNG, BMP) into the library's logo.
// An image becomes a logo of `kind` (PELKOR_LOGO_*), or, with PELKOR_LOGO_NONE, of the
// kind its shape suggests; an image of another size is scaled to fit, and `note` says
// so. False with `error` saying what is wrong with the file.
bool LoadLogo(const std::string &path, int32_t kind, std::string &error, std::string *note = nullptr);

// Saves the library's logo in the format `type`; false with `error` set.
bool SaveLogo(const std::string &path, LogoFileType type, std::string &error);

// Scales `image` into a width x height box (keeping its proportions, centred) and
// thresholds it at half brightness; what comes out is width x height.
GreyImage FitImage(const GreyImage &image, int width, int height);

std::vector<std::string> LogoRows();  // '#' for a dark pixel, '.' for a light one
std::string LogoAsBlocks();           // two pixel rows per text line, with half blocks
std::string LogoKindName(int32_t kind);

}  // namespace pelkor_tool
