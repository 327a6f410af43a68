#pragma once
// The library's logo as an image: PNG files in and out (thresholded to the logo's
// geometry), and drawing in the terminal.
#include <string>
#include <vector>

namespace pelkor_tool {

// Loads a logo file into the library's logo; a .png file becomes a start-up logo when
// it is 84x48 or larger, else an operator logo, thresholded at half brightness.
bool LoadLogo(const std::string &path);
// Saves the library's logo; .png writes an image, anything else the logo's own format.
bool SaveLogo(const std::string &path);

std::vector<std::string> LogoRows();  // '#' for a dark pixel, '.' for a light one
std::string LogoAsBlocks();           // two pixel rows per text line, with half blocks

}  // namespace pelkor_tool
