#include "skeleton/skeletonise.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "skeleton/detail/eight_pixels.h"
#include "skeleton/detail/ring_code.h"

// The thinning is sequential: each sweep goes through the pixels of one level at
// a time, levels outside in, each level in row order, and a pixel's decision sees
// the decisions made before it. This implementation visits exactly those pixels
// in exactly that order, without rescanning the raster for each level:
// - The levels are the city-block distances to the background (1 on the
//   outermost rows and columns), stopping at 255. Raising a pixel from L to L + 1
//   when its four edge neighbours hold at least L, level after level, gives
//   min(D, 255) with D = 1 + the least D of the edge neighbours; two raster
//   sweeps (down-right, then up-left) give the same distances, since a shortest
//   4-connected path can always be split into one run each sweep carries.
// - Once the levels are set, a sweep of level L visits the pixels that hold L
//   when it starts, and it changes only the pixel it visits. So the pixels are
//   sorted once by level, each level in row order (a counting sort), and a
//   sweep walks its level's list. The first sweep keeps a pixel at its level or
//   clears it; the second visits the kept pixels of each level (the only
//   pixels holding that level then: it writes 1 or 0, and level 1's own
//   pixels are the only ones holding 1), so it walks the kept part of the list.
// - The final sweep visits every ink pixel in row order, as the original does,
//   skipping words of background and everything outside the ink's box.
// skeleton/tests/skeletonise_test.cpp checks this against the plain sweeps.

namespace glimmer {
namespace {

using eight_pixels::inkBytes;
using eight_pixels::nonZeroBytes;
using ring_code::kCornerWithEdge;
using ring_code::kKeepsBoundaryPixel;
using ring_code::kNeighbourDx;
using ring_code::kNeighbourDy;
using ring_code::kRedundantNeighbourhood;
using ring_code::ringCode;

constexpr int kLevelLimit = 255;  // the pixel byte's largest value

using LevelCounts = std::array<std::uint32_t, kLevelLimit + 2>;

// The interior columns [left, right) and rows [top, bottom) that hold all
// interior ink.
struct InkBox {
  std::int32_t left = 0;
  std::int32_t right = 0;
  std::int32_t top = 0;
  std::int32_t bottom = 0;
  bool empty() const { return left >= right || top >= bottom; }
};

// Sets ink (below 255) to 1 and the rest to 0, eight pixels at a time, and
// finds the ink's interior box.
InkBox markInk(GreyImage& image) {
  const std::int32_t width = image.width;  // a local: the pixel stores could alias the field
  InkBox box{width, 0, image.height, 0};
  for (std::int32_t y = 0; y < image.height; ++y) {
    std::uint8_t* const row = image.row(y);
    std::uint64_t any = 0;
    std::int32_t x = 0;
    for (; x + 8 <= width; x += 8) {
      std::uint64_t eight = 0;
      std::memcpy(&eight, row + x, sizeof eight);
      const std::uint64_t ink = inkBytes(eight);
      std::memcpy(row + x, &ink, sizeof ink);
      any |= ink;
    }
    for (; x < width; ++x) {
      const std::uint8_t ink = row[x] < 255 ? 1 : 0;
      row[x] = ink;
      any |= ink;
    }
    if (any == 0) continue;
    box.top = std::min(box.top, y);
    box.bottom = y + 1;
    for (std::int32_t x = 0; x < box.left; ++x) {
      if (row[x] != 0) box.left = x;
    }
    for (std::int32_t x = width; x > box.right; --x) {
      if (row[x - 1] != 0) box.right = x;
    }
  }
  return {std::max(box.left, 1), std::min(box.right, width - 1), std::max(box.top, 1),
          std::min(box.bottom, image.height - 1)};
}

// Calls visit(x) for every x in [begin, end), left to right, whose pixel is not
// 0 when reached, eight pixels at a time: `visit` may change the pixel it is
// given only, so which of the eight are ink is known before the first visit.
template <typename Visit>
void forEachInkLeftToRight(const std::uint8_t* row, std::int32_t begin, std::int32_t end, Visit visit) {
  std::int32_t x = begin;
  for (; x + 8 <= end; x += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, row + x, sizeof word);
    for (std::uint64_t ink = nonZeroBytes(word); ink != 0; ink &= ink - 1) visit(x + std::countr_zero(ink) / 8);
  }
  for (; x < end; ++x) {
    if (row[x] != 0) visit(x);
  }
}

// The same from right to left.
template <typename Visit>
void forEachInkRightToLeft(const std::uint8_t* row, std::int32_t begin, std::int32_t end, Visit visit) {
  std::int32_t x = end;
  for (; x - 8 >= begin; x -= 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, row + x - 8, sizeof word);
    for (std::uint64_t ink = nonZeroBytes(word); ink != 0;) {
      const int top = 63 - std::countl_zero(ink);
      visit(x - 8 + top / 8);
      ink &= ~(std::uint64_t{1} << top);
    }
  }
  for (; x > begin; --x) {
    if (row[x - 1] != 0) visit(x - 1);
  }
}

// Gives every interior ink pixel its level, min(D, 255) with D its city-block
// distance to the background, the outermost rows and columns staying at 1, and
// counts the pixels of each level.
LevelCounts computeDistanceLevels(GreyImage& image, const InkBox& box) {
  const std::ptrdiff_t stride = image.width;
  for (std::int32_t y = box.top; y < box.bottom; ++y) {
    std::uint8_t* const row = image.row(y);
    const std::uint8_t* const above = row - stride;
    forEachInkLeftToRight(row, box.left, box.right, [&](std::int32_t x) {
      row[x] = static_cast<std::uint8_t>(std::min(std::min(above[x], row[x - 1]) + 1, kLevelLimit));
    });
  }
  LevelCounts count{};
  for (std::int32_t y = box.bottom - 1; y >= box.top; --y) {
    std::uint8_t* const row = image.row(y);
    const std::uint8_t* const below = row + stride;
    forEachInkRightToLeft(row, box.left, box.right, [&](std::int32_t x) {
      const auto level = static_cast<std::uint8_t>(std::min<int>(row[x], std::min(below[x], row[x + 1]) + 1));
      row[x] = level;
      ++count[level];
    });
  }
  return count;
}

// Ring codes of the neighbourhoods the first sweep keeps whatever the levels: all
// four edge neighbours ink (inside the shape), or one that must be kept.
constexpr ring_code::CodeTable kKeptByNeighbourhood = [] {
  ring_code::CodeTable table = kKeepsBoundaryPixel;
  for (int code = 0; code < 256; ++code) {
    if ((code & 0xAA) == 0xAA) table[code] = true;
  }
  return table;
}();

// Whether the first sweep keeps a pixel of `level`: inside the shape, in a
// neighbourhood that must be kept, or on the ridge of the levels (no neighbour
// higher). The tests only read, so the cheap ones go first.
bool keptByFirstSweep(const std::uint8_t* pixel, std::ptrdiff_t stride, std::uint8_t level) {
  if (kKeptByNeighbourhood[ringCode(pixel, stride)]) return true;
  const std::uint8_t* above = pixel - stride;
  const std::uint8_t* below = pixel + stride;
  return std::max({above[-1], above[0], above[1], pixel[-1], pixel[1], below[-1], below[0], below[1]}) <= level;
}

// For a corner neighbour with the edge neighbour beside it, the pixel is
// redundant unless the line goes on past the corner, in the direction of the edge
// neighbour; that pixel two steps away reads as background outside the raster.
bool isRedundant(const GreyImage& image, const std::uint8_t* pixel) {
  const std::uint8_t code = ringCode(pixel, image.width);
  if (!kCornerWithEdge[code]) return kRedundantNeighbourhood[code];
  const std::ptrdiff_t index = pixel - image.pixels.data();
  const auto x = static_cast<std::int32_t>(index % image.width);
  const auto y = static_cast<std::int32_t>(index / image.width);
  const int corner = std::countr_zero(static_cast<unsigned>(code & 0x55));
  const int edge = std::countr_zero(static_cast<unsigned>(code & 0xAA));
  const std::int32_t beyondX = x + kNeighbourDx[corner] + kNeighbourDx[edge];
  const std::int32_t beyondY = y + kNeighbourDy[corner] + kNeighbourDy[edge];
  const bool inside = beyondX >= 0 && beyondX < image.width && beyondY >= 0 && beyondY < image.height;
  return !inside || image.at(beyondX, beyondY) == 0;
}

// Thins the marked ink of `box` (levels, then the three sweeps).
void thinInk(GreyImage& image, const InkBox& box, ThinningScratch& scratch) {
  const LevelCounts count = computeDistanceLevels(image, box);
  // levelStart[L] .. levelStart[L + 1]: the list of level L.
  LevelCounts levelStart{};
  int highestLevel = 0;
  for (int level = 1; level <= kLevelLimit; ++level) {
    levelStart[level + 1] = levelStart[level] + count[level];
    if (count[level] != 0) highestLevel = level;
  }
  std::vector<std::uint32_t>& list = scratch.inkByLevel;
  if (list.size() < levelStart[kLevelLimit + 1]) list.resize(levelStart[kLevelLimit + 1]);

  LevelCounts next = levelStart;
  for (std::int32_t y = box.top; y < box.bottom; ++y) {
    const std::uint8_t* const row = image.row(y);
    const auto rowStart = static_cast<std::uint32_t>(y) * static_cast<std::uint32_t>(image.width);
    forEachInkLeftToRight(row, box.left, box.right,
                          [&](std::int32_t x) { list[next[row[x]]++] = rowStart + static_cast<std::uint32_t>(x); });
  }

  std::uint8_t* const pixels = image.pixels.data();
  const std::ptrdiff_t stride = image.width;
  // keptEnd[L]: the end of the kept part of level L's list.
  LevelCounts keptEnd{};
  for (int level = 1; level <= highestLevel; ++level) {
    std::uint32_t kept = levelStart[level];
    for (std::uint32_t at = levelStart[level]; at < levelStart[level + 1]; ++at) {
      std::uint8_t* const pixel = pixels + list[at];
      if (keptByFirstSweep(pixel, stride, static_cast<std::uint8_t>(level))) {
        list[kept++] = list[at];
      } else {
        *pixel = 0;
      }
    }
    keptEnd[level] = kept;
  }
  for (int level = 1; level <= highestLevel; ++level) {
    for (std::uint32_t at = levelStart[level]; at < keptEnd[level]; ++at) {
      std::uint8_t* const pixel = pixels + list[at];
      *pixel = isRedundant(image, pixel) ? 0 : 1;
    }
  }
  for (std::int32_t y = box.top; y < box.bottom; ++y) {
    std::uint8_t* const row = image.row(y);
    forEachInkLeftToRight(row, box.left, box.right, [&](std::int32_t x) {
      if (isRedundant(image, row + x)) row[x] = 0;
    });
  }
}

}  // namespace

void skeletonise(GreyImage& image, ThinningScratch& scratch) {
  const InkBox box = markInk(image);
  if (!box.empty()) thinInk(image, box, scratch);
  for (std::uint8_t& pixel : image.pixels) pixel = pixel != 0 ? 0 : 255;
}

void skeletonise(GreyImage& image) {
  ThinningScratch scratch;
  skeletonise(image, scratch);
}

}  // namespace glimmer
