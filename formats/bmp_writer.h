// Writes a raster as an uncompressed 24-bit BMP, each grey in blue, green and red.
#pragma once

#include "common/grey_image.h"
#include "system/output_file.h"

namespace glimmer {

// Writes the whole file into `output`, which the caller then commits. False
// (with the output failed and its reason kept) when it could not be written or
// the image is too large for the format.
bool writeBmp(const GreyImage& image, OutputFile& output);

}  // namespace glimmer
