#include "skeleton/skeletonise.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace glimmer {
namespace {

// Ring code: one bit per neighbour, set when the neighbour is ink, clockwise from
// the upper left. These are the neighbours' offsets in bit order.
constexpr std::array<std::int32_t, 8> kNeighbourDx{-1, 0, 1, 1, 1, 0, -1, -1};
constexpr std::array<std::int32_t, 8> kNeighbourDy{-1, -1, -1, 0, 1, 1, 1, 0};

constexpr std::uint8_t rotateLeft(std::uint8_t code, int bits) {
  return static_cast<std::uint8_t>((code << bits | code >> (8 - bits)) & 0xFF);
}

// The same neighbourhood read anticlockwise from the upper left: bit i of the
// mirror is bit (8 - i) % 8 of the ring code.
constexpr std::uint8_t mirrored(std::uint8_t code) {
  std::uint8_t mirror = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if ((code >> ((8 - bit) % 8)) & 1) mirror = static_cast<std::uint8_t>(mirror | 1 << bit);
  }
  return mirror;
}

// The least code among the quarter-turn rotations of the neighbourhood and of its
// mirror image, so that one code stands for all of them.
constexpr std::uint8_t canonicalRingCode(std::uint8_t code) {
  std::uint8_t least = code;
  for (int bits = 0; bits < 8; bits += 2) {
    least = std::min({least, rotateLeft(code, bits), rotateLeft(mirrored(code), bits)});
  }
  return least;
}

using CodeTable = std::array<bool, 256>;

// Indexed by raw ring code: true when its canonical code is one of `canonicalCodes`.
constexpr CodeTable tableOf(std::initializer_list<std::uint8_t> canonicalCodes) {
  CodeTable table{};
  for (int code = 0; code < 256; ++code) {
    table[code] =
        std::ranges::find(canonicalCodes, canonicalRingCode(static_cast<std::uint8_t>(code))) != canonicalCodes.end();
  }
  return table;
}

// Neighbourhoods in which the first sweep keeps a boundary pixel.
constexpr CodeTable kKeepsBoundaryPixel =
    tableOf({5, 9, 13, 17, 19, 21, 23, 34, 35, 37, 39, 41, 45, 51, 53, 54, 55, 57, 61, 85, 87, 91, 95, 119});
// Neighbourhoods in which the later sweeps remove a pixel.
constexpr CodeTable kRedundantNeighbourhood =
    tableOf({7, 10, 11, 14, 15, 27, 31, 42, 43, 46, 47, 59, 62, 63, 107, 111, 127});
// Exactly two ink neighbours: a corner one and the edge one beside it.
constexpr CodeTable kCornerWithEdge = tableOf({3});

std::uint8_t ringCode(const std::uint8_t* pixel, std::ptrdiff_t stride) {
  return static_cast<std::uint8_t>((pixel[-stride - 1] != 0) | (pixel[-stride] != 0) << 1 |
                                   (pixel[-stride + 1] != 0) << 2 | (pixel[1] != 0) << 3 |
                                   (pixel[stride + 1] != 0) << 4 | (pixel[stride] != 0) << 5 |
                                   (pixel[stride - 1] != 0) << 6 | (pixel[-1] != 0) << 7);
}

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

void skeletonise(GreyImage& image, bool convert) {
  if (convert) {
    for (std::uint8_t& pixel : image.pixels) pixel = pixel < 255 ? 1 : 0;
  }
  const int levelEnd = computeDistanceLevels(image);
  thinBoundary(image, levelEnd);
  removeRedundant(image, levelEnd);
  if (convert) {
    for (std::uint8_t& pixel : image.pixels) pixel = pixel != 0 ? 0 : 255;
  }
}

}  // namespace glimmer
