// Distance-ordered thinning of every ink shape of a raster to one-pixel lines.
#pragma once

#include <cstdint>
#include <vector>

#include "common/grey_image.h"

namespace glimmer {

// Working memory of the thinning, kept by a caller that thins many rasters so
// that only the first (or a larger) raster allocates.
struct ThinningScratch {
  std::vector<std::uint8_t> levels;       // the raster's working copy, with background around it
  std::vector<std::uint8_t> acrossRows;   // two rows: the highest level of each pixel and its side neighbours
  std::vector<std::uint8_t> inkBits;      // the working copy's ink, a bit a pixel
  std::vector<std::uint8_t> inkRows;      // 1 for each row of the raster that holds ink
  std::vector<std::uint32_t> inkByLevel;  // interior ink pixels' places, by level, each level in row order
};

// Thins `image` in place: every value below 255 is ink, and the result holds 0
// for skeleton pixels and 255 elsewhere. Pixels on the outermost rows and
// columns are never removed. Touches nothing but `image` and `scratch`, so
// threads may thin different rasters at once, each with its own scratch.
void skeletonise(GreyImage& image, ThinningScratch& scratch);

// The same with a scratch of its own.
void skeletonise(GreyImage& image);

}  // namespace glimmer
