// The thinning as first written: every sweep scans the whole raster for the
// pixels of its level. Only the tests use it, as the reference the fast thinning
// must match byte for byte.
#include "skeleton/tests/reference_skeletonise.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "skeleton/detail/ring_code.h"

namespace glimmer {
namespace {

using namespace ring_code;

// For a corner neighbour with the edge neighbour beside it, the pixel is
// redundant unless the line goes on past the corner, in the direction of the edge
// neighbour; that pixel two steps away reads as background outside the raster.
bool isRedundant(const GreyImage& image, const std::uint8_t* pixel, std::int32_t x, std::int32_t y) {
  const std::uint8_t code = ringCode(pixel, image.width);
  if (!kCornerWithEdge[code]) return kRedundantNeighbourhood[code];
  const int corner = std::countr_zero(static_cast<unsigned>(code & 0x55));
  const int edge = std::countr_zero(static_cast<unsigned>(code & 0xAA));
  const std::int32_t beyondX = x + kNeighbourDx[corner] + kNeighbourDx[edge];
  const std::int32_t beyondY = y + kNeighbourDy[corner] + kNeighbourDy[edge];
  const bool inside = beyondX >= 0 && beyondX < image.width && beyondY >= 0 && beyondY < image.height;
  return !inside || image.at(beyondX, beyondY) == 0;
}

// Calls visit(pixel, x, y) for every interior pixel that holds `value` when the
// scan reaches it, in row order. Changes made by `visit` are seen by the rest of
// the scan.
template <typename Visit>
void forEachInteriorPixelHolding(GreyImage& image, std::uint8_t value, Visit visit) {
  if (image.width < 3 || image.height < 3) return;
  for (std::int32_t y = 1; y < image.height - 1; ++y) {
    std::uint8_t* const row = image.row(y);
    std::uint8_t* const end = row + image.width - 1;
    for (std::uint8_t* pixel = row + 1; pixel < end; ++pixel) {
      pixel = static_cast<std::uint8_t*>(std::memchr(pixel, value, static_cast<std::size_t>(end - pixel)));
      if (pixel == nullptr) break;
      visit(pixel, static_cast<std::int32_t>(pixel - row), y);
    }
  }
}

// Gives every ink pixel its city-block distance to the background, the outermost
// rows and columns staying at 1 and levels stopping at 255 (the pixel byte).
// Returns the highest level plus one (2 when there is no level above 1).
int computeDistanceLevels(GreyImage& image) {
  const std::ptrdiff_t stride = image.width;
  for (int level = 1;; ++level) {
    bool raised = false;
    if (level < 255) {
      forEachInteriorPixelHolding(image, static_cast<std::uint8_t>(level), [&](std::uint8_t* pixel, auto, auto) {
        if (pixel[-1] >= level && pixel[1] >= level && pixel[-stride] >= level && pixel[stride] >= level) {
          *pixel = static_cast<std::uint8_t>(level + 1);
          raised = true;
        }
      });
    }
    if (!raised) return level + 1;
  }
}

// First sweep, outside in: removes boundary pixels below the ridge of the levels
// unless their neighbourhood is one that must be kept.
void thinBoundary(GreyImage& image, int levelEnd) {
  const std::ptrdiff_t stride = image.width;
  for (int level = 1; level < levelEnd; ++level) {
    forEachInteriorPixelHolding(image, static_cast<std::uint8_t>(level), [&](std::uint8_t* pixel, auto, auto) {
      const std::uint8_t* above = pixel - stride;
      const std::uint8_t* below = pixel + stride;
      const bool onRidge =
          std::max({above[-1], above[0], above[1], pixel[-1], pixel[1], below[-1], below[0], below[1]}) <= level;
      if (onRidge) return;
      const bool inside = above[0] != 0 && below[0] != 0 && pixel[-1] != 0 && pixel[1] != 0;
      if (inside || kKeepsBoundaryPixel[ringCode(pixel, stride)]) return;
      *pixel = 0;
    });
  }
}

// Second sweep, outside in up to and including `lastLevel`: drops redundant
// pixels and sets the rest to 1. Then the final sweep drops the pixels that the
// second one left redundant.
void removeRedundant(GreyImage& image, int lastLevel) {
  for (int level = 1; level <= std::min(lastLevel, 255); ++level) {
    forEachInteriorPixelHolding(
        image, static_cast<std::uint8_t>(level),
        [&](std::uint8_t* pixel, std::int32_t x, std::int32_t y) { *pixel = isRedundant(image, pixel, x, y) ? 0 : 1; });
  }
  for (std::int32_t y = 1; y < image.height - 1; ++y) {
    std::uint8_t* const row = image.row(y);
    for (std::int32_t x = 1; x < image.width - 1; ++x) {
      if (row[x] != 0 && isRedundant(image, row + x, x, y)) row[x] = 0;
    }
  }
}

}  // namespace

void referenceSkeletonise(GreyImage& image) {
  for (std::uint8_t& pixel : image.pixels) pixel = pixel < 255 ? 1 : 0;
  const int levelEnd = computeDistanceLevels(image);
  thinBoundary(image, levelEnd);
  removeRedundant(image, levelEnd);
  for (std::uint8_t& pixel : image.pixels) pixel = pixel != 0 ? 0 : 255;
}

}  // namespace glimmer
