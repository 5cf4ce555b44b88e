// Writes a raster as an uncompressed 24-bit BMP, each grey in blue, green and red.
#pragma once

#include <string>

#include "common/grey_image.h"

namespace glimmer {

// Writes to a temporary file beside `path` and renames it over `path` only when
// complete, so a failed write leaves no partial file. False when it failed.
bool writeBmp(const GreyImage& image, const std::string& path);

}  // namespace glimmer
