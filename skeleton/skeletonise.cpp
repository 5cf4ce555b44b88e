#include "skeleton/skeletonise.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "skeleton/detail/ring_code.h"
#include "skeleton/detail/sixteen_pixels.h"

// The thinning is sequential: each sweep goes through the pixels of one level at
// a time, levels outside in, each level in row order, and a pixel's decision sees
// the decisions made before it. This implementation visits exactly those pixels
// in exactly that order, without rescanning the raster for each level:
// - It works on a copy of the raster with background all around (see Layout),
//   so that a neighbour, or the pixel two steps away, outside the raster reads
//   as background without a bounds test, as the raster's edges mean it to.
// - The levels are the city-block distances to the background (1 on the
//   outermost rows and columns), stopping at 255. Raising a pixel from L to L + 1
//   when its four edge neighbours hold at least L, level after level, gives
//   min(D, 255) with D = 1 + the least D of the edge neighbours, that is the
//   distance to the nearest background pixel with everything outside the raster
//   background. A city-block distance splits into a column part and a row part:
//   D(x, y) = min over x' of (C(x', y) + |x - x'|), C being the distance to the
//   background within the pixel's column. So C is taken down and up the columns,
//   sixteen columns at a time, and then D along each row (computeDistanceLevels).
//   Adding with a cap at 255 and taking minima commute, so the capped steps give
//   min(D, 255).
// - Once the levels are set, a sweep of level L visits the pixels that hold L
//   when it starts, and it changes only the pixel it visits. So the pixels are
//   sorted once by level, each level in row order (a counting sort), and a
//   sweep walks its level's list. The first sweep keeps a pixel at its level or
//   clears it; the second visits the kept pixels of each level (the only
//   pixels holding that level then: it writes 1 or 0, and level 1's own
//   pixels are the only ones holding 1), so it walks the kept part of the list.
// - The first sweep keeps a pixel of level L that no neighbour's level exceeds.
//   When it is visited, the neighbours above L still hold their levels (the
//   sweep has only cleared pixels of L or below) and the others hold L or less,
//   so the test reads the highest level around the pixel before the sweep,
//   worked out for all pixels at once (replaceLevelsByHighestAround: past the
//   sorting, nothing reads the levels themselves).
// - Past the levels, the sweeps read only whether pixels are ink (ring codes,
//   the pixel two steps away; a pixel the second sweep sets to 1 stays ink), so
//   they read and clear a bit a pixel, and the result is written from the bits.
// - The final sweep visits every ink pixel in row order, as the original does,
//   stepping from ink bit to ink bit within the ink's box.
// skeleton/tests/skeletonise_matches_reference_test.cpp checks this against the
// plain sweeps.

namespace glimmer {
namespace {

using ring_code::kCornerWithEdge;
using ring_code::kKeepsBoundaryPixel;
using ring_code::kNeighbourDx;
using ring_code::kNeighbourDy;
using ring_code::kRedundantNeighbourhood;
using sixteen_pixels::kLanes;
using sixteen_pixels::Sixteen;

constexpr int kLevelLimit = 255;  // the pixel byte's largest value

using LevelCounts = std::array<std::uint32_t, kLevelLimit + 2>;

// Where the working copy keeps pixel (x, y): each row starts with kLanes columns
// of background, holds the raster's row rounded up to whole vectors (background
// past its end), and ends with kLanes more columns of background; a row of
// background lies above the first row and below the last.
struct Layout {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t vectorColumns = 0;  // the raster's width rounded up to whole vectors
  std::ptrdiff_t stride = 0;

  explicit Layout(const GreyImage& image)
      : width(image.width),
        height(image.height),
        vectorColumns((image.width + kLanes - 1) / kLanes * kLanes),
        stride(kLanes + vectorColumns + kLanes) {}

  std::size_t size() const { return static_cast<std::size_t>(stride) * static_cast<std::size_t>(height + 2); }
  std::size_t rowStart(std::int32_t y) const { return static_cast<std::size_t>((y + 1) * stride + kLanes); }
};

// The interior columns [left, right) and rows [top, bottom) that hold all
// interior ink.
struct InkBox {
  std::int32_t left = 0;
  std::int32_t right = 0;
  std::int32_t top = 0;
  std::int32_t bottom = 0;
  bool empty() const { return left >= right || top >= bottom; }
};

// The end of the columns of row y that go a vector at a time between the image
// and its working copy: a vector may run past the row's end into the rows after
// it, but not past the image's end.
std::int32_t vectorColumnsEnd(const Layout& layout, std::int32_t y) {
  const std::int64_t toImageEnd = std::int64_t{layout.width} * (layout.height - y);
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(toImageEnd - (kLanes - 1), 0, layout.width));
}

// Copies the image's ink (below 255) into the working copy as 255 and the rest
// as 0, and into its bit plane, sixteen pixels at a time, and finds the ink's
// interior box.
InkBox markInk(const GreyImage& image, const Layout& layout, ThinningScratch& scratch) {
  scratch.levels.assign(layout.size(), 0);
  scratch.inkBits.assign(layout.size() / 8 + sizeof(std::uint64_t), 0);
  scratch.inkRows.assign(static_cast<std::size_t>(layout.height), 0);
  InkBox box{layout.width, 0, layout.height, 0};
  for (std::int32_t y = 0; y < layout.height; ++y) {
    const std::uint8_t* const source = image.row(y);
    std::uint8_t* const row = scratch.levels.data() + layout.rowStart(y);
    std::uint8_t* const rowBits = scratch.inkBits.data() + layout.rowStart(y) / 8;
    std::uint32_t any = 0;
    std::int32_t x = 0;
    for (const std::int32_t end = vectorColumnsEnd(layout, y); x < end; x += kLanes) {
      const Sixteen ink = sixteen_pixels::inkLanes(sixteen_pixels::load(source + x), layout.width - x);
      sixteen_pixels::store(row + x, ink);
      const std::uint16_t inkBits = sixteen_pixels::nonZeroLanes(ink);
      std::memcpy(rowBits + x / 8, &inkBits, sizeof inkBits);
      any |= inkBits;
    }
    for (; x < layout.width; ++x) {
      if (source[x] == 255) continue;
      row[x] = 255;
      rowBits[x / 8] = static_cast<std::uint8_t>(rowBits[x / 8] | 1 << (x % 8));
      any = 1;
    }
    if (any == 0) continue;
    scratch.inkRows[static_cast<std::size_t>(y)] = 1;
    box.top = std::min(box.top, y);
    box.bottom = y + 1;
    for (std::int32_t x = 0; x < box.left; x += 8) {
      if (rowBits[x / 8] == 0) continue;
      box.left = std::min(box.left, x + std::countr_zero(rowBits[x / 8]));
      break;
    }
    for (std::int32_t x = (layout.width + 7) / 8 * 8; x > box.right; x -= 8) {
      if (rowBits[x / 8 - 1] == 0) continue;
      box.right = std::max(box.right, x - std::countl_zero(rowBits[x / 8 - 1]));
      break;
    }
  }
  return {std::max(box.left, 1), std::min(box.right, layout.width - 1), std::max(box.top, 1),
          std::min(box.bottom, layout.height - 1)};
}

// Takes a row of column distances to the row's distances: each pixel becomes the
// least of d(x') + |x - x'| over the row, the margins counting as 0. Left to
// right, sixteen pixels at a time: the steps of 1, 2, 4 and 8 give each lane the
// least over the sixteen pixels up to it, reaching into the finished vector
// before (whose lanes the steps leave as they are, a finished row never being
// more than one above its neighbour), and the step of 16 brings in the rest
// through that vector. Then the same right to left.
void spreadAlongRow(std::uint8_t* row, std::int32_t vectorColumns) {
  using namespace sixteen_pixels;
  const auto step = [](Sixteen lanes, Sixteen moved, std::uint8_t by) {
    return lesser(lanes, addCapped(moved, splat(by)));
  };
  Sixteen before = splat(0);
  for (std::int32_t x = 0; x < vectorColumns; x += kLanes) {
    Sixteen lanes = load(row + x);
    lanes = step(lanes, movedRight<1>(lanes, before), 1);
    lanes = step(lanes, movedRight<2>(lanes, before), 2);
    lanes = step(lanes, movedRight<4>(lanes, before), 4);
    lanes = step(lanes, movedRight<8>(lanes, before), 8);
    lanes = step(lanes, before, kLanes);
    store(row + x, lanes);
    before = lanes;
  }
  Sixteen after = splat(0);
  for (std::int32_t x = vectorColumns - kLanes; x >= 0; x -= kLanes) {
    Sixteen lanes = load(row + x);
    lanes = step(lanes, movedLeft<1>(lanes, after), 1);
    lanes = step(lanes, movedLeft<2>(lanes, after), 2);
    lanes = step(lanes, movedLeft<4>(lanes, after), 4);
    lanes = step(lanes, movedLeft<8>(lanes, after), 8);
    lanes = step(lanes, after, kLanes);
    store(row + x, lanes);
    after = lanes;
  }
}

// Gives every ink pixel around the box its level, min(D, 255) with D its
// city-block distance to the background, everything outside the raster being
// background: first the distance within the column, down and then up (a pixel
// takes the least of its own value, 255 or 0, and one more than its neighbour's),
// then along the row. Only the rows from the one above the box to the one below
// it are worked: their pixels outside the box are background but on the edge
// columns, which the border beside them brings to 1 along the row whatever the
// rows beyond gave them, so no pixel farther away can be a box pixel's nearest
// background. The other rows keep the mark, read only as ink or not. A row
// without ink is all 0 and stays so, so it is passed over.
void computeDistanceLevels(std::uint8_t* levels, const Layout& layout, const InkBox& box,
                           const std::vector<std::uint8_t>& inkRows) {
  using namespace sixteen_pixels;
  const Sixteen one = splat(1);
  for (std::int32_t y = box.top - 1; y <= box.bottom; ++y) {
    if (inkRows[static_cast<std::size_t>(y)] == 0) continue;
    std::uint8_t* const row = levels + layout.rowStart(y);
    for (std::int32_t x = 0; x < layout.vectorColumns; x += kLanes) {
      store(row + x, lesser(load(row + x), addCapped(load(row + x - layout.stride), one)));
    }
  }
  for (std::int32_t y = box.bottom; y >= box.top - 1; --y) {
    if (inkRows[static_cast<std::size_t>(y)] == 0) continue;
    std::uint8_t* const row = levels + layout.rowStart(y);
    for (std::int32_t x = 0; x < layout.vectorColumns; x += kLanes) {
      store(row + x, lesser(load(row + x), addCapped(load(row + x + layout.stride), one)));
    }
    spreadAlongRow(row, layout.vectorColumns);
  }
}

// Replaces the levels at the box's pixels by the highest level among each pixel
// and its eight neighbours, sixteen pixels at a time, row after row. A row's
// levels taken across (each pixel with its left and right neighbours) are kept in
// `acrossRows` before the row is overwritten, for the rows above and at y.
void replaceLevelsByHighestAround(std::uint8_t* levels, const Layout& layout, const InkBox& box,
                                  std::vector<std::uint8_t>& acrossRows) {
  using namespace sixteen_pixels;
  const std::int32_t first = box.left / kLanes * kLanes;
  const auto columns = static_cast<std::size_t>((box.right - first + kLanes - 1) / kLanes * kLanes);
  const auto acrossRow = [&](std::int32_t y, std::size_t column) {
    const std::uint8_t* const at = levels + layout.rowStart(y) + static_cast<std::size_t>(first) + column;
    return greater(greater(load(at - 1), load(at)), load(at + 1));
  };
  acrossRows.resize(2 * columns);
  std::uint8_t* const above = acrossRows.data();
  std::uint8_t* const middle = above + columns;
  for (std::size_t column = 0; column < columns; column += kLanes) {
    store(above + column, acrossRow(box.top - 1, column));
    store(middle + column, acrossRow(box.top, column));
  }
  for (std::int32_t y = box.top; y < box.bottom; ++y) {
    std::uint8_t* const row = levels + layout.rowStart(y) + first;
    for (std::size_t column = 0; column < columns; column += kLanes) {
      const Sixteen below = acrossRow(y + 1, column);
      const Sixteen here = load(middle + column);
      store(row + column, greater(greater(load(above + column), here), below));
      store(above + column, here);
      store(middle + column, below);
    }
  }
}

// The sweeps read and clear ink in a bit plane of the working copy: bit i % 8 of
// byte i / 8 is set while byte i of the copy is ink (a copy's row being whole
// vectors, a row starts on a whole byte), so the three neighbours of a row are
// one small load and the walks step from ink bit to ink bit.

bool isInk(const std::uint8_t* bits, std::size_t at) { return (bits[at / 8] >> (at % 8) & 1) != 0; }

void clearInk(std::uint8_t* bits, std::size_t at) {
  bits[at / 8] = static_cast<std::uint8_t>(bits[at / 8] & ~(1 << (at % 8)));
}

// The 3 x 3 pixels around `at` as nine bits, (dx, dy) from it at bit
// (dx + 1) + 3 (dy + 1). A row being whole bytes, the three rows' bits lie at
// the same shift in their bytes.
std::uint32_t windowAround(const std::uint8_t* bits, std::size_t at, std::ptrdiff_t stride) {
  const std::size_t left = at - 1;
  const std::uint8_t* const middle = bits + left / 8;
  const std::ptrdiff_t rowBytes = stride / 8;
  std::uint16_t above = 0;
  std::uint16_t here = 0;
  std::uint16_t below = 0;
  std::memcpy(&above, middle - rowBytes, sizeof above);
  std::memcpy(&here, middle, sizeof here);
  std::memcpy(&below, middle + rowBytes, sizeof below);
  const std::uint64_t rows =
      (std::uint64_t{above} | std::uint64_t{here} << 16 | std::uint64_t{below} << 32) >> (left % 8);
  return static_cast<std::uint32_t>((rows & 7) | (rows >> 13 & 0x38) | (rows >> 26 & 0x1C0));
}

// The ring code of each nine-bit window.
constexpr std::array<std::uint8_t, 512> kRingCodeOfWindow = [] {
  std::array<std::uint8_t, 512> table{};
  for (std::uint32_t window = 0; window < 512; ++window) {
    for (std::size_t bit = 0; bit < 8; ++bit) {
      const auto windowBit = static_cast<std::uint32_t>(kNeighbourDx[bit] + 1 + 3 * (kNeighbourDy[bit] + 1));
      if ((window >> windowBit & 1) != 0) table[window] = static_cast<std::uint8_t>(table[window] | 1 << bit);
    }
  }
  return table;
}();

// Calls visit(at) for every ink pixel at [begin, end) of the copy, in order, 56
// at a time: `visit` may clear only the pixel it is given, so which of them are
// ink is known before the first visit. The bit plane has a word to spare at its
// end for the last load.
template <typename Visit>
void forEachInk(const std::uint8_t* bits, std::size_t begin, std::size_t end, Visit visit) {
  constexpr std::size_t kStep = 56;
  for (std::size_t at = begin; at < end; at += kStep) {
    std::uint64_t word = 0;
    std::memcpy(&word, bits + at / 8, sizeof word);
    word = word >> (at % 8) & ((std::uint64_t{1} << std::min(end - at, kStep)) - 1);
    for (; word != 0; word &= word - 1) visit(at + static_cast<std::size_t>(std::countr_zero(word)));
  }
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

// For a corner neighbour with the edge neighbour beside it, the pixel is
// redundant unless the line goes on past the corner, in the direction of the edge
// neighbour; that pixel two steps away reads as background outside the raster
// (the working copy's border).
bool isRedundant(const std::uint8_t* bits, std::size_t at, std::ptrdiff_t stride) {
  const std::uint8_t code = kRingCodeOfWindow[windowAround(bits, at, stride)];
  if (!kCornerWithEdge[code]) return kRedundantNeighbourhood[code];
  const int corner = std::countr_zero(static_cast<unsigned>(code & 0x55));
  const int edge = std::countr_zero(static_cast<unsigned>(code & 0xAA));
  const std::ptrdiff_t beyond =
      (kNeighbourDy[corner] + kNeighbourDy[edge]) * stride + kNeighbourDx[corner] + kNeighbourDx[edge];
  return !isInk(bits, static_cast<std::size_t>(static_cast<std::ptrdiff_t>(at) + beyond));
}

// Thins the ink of `box` in the working copy (levels, then the three sweeps on
// the bit plane).
void thinInk(const Layout& layout, const InkBox& box, ThinningScratch& scratch) {
  std::uint8_t* const levels = scratch.levels.data();
  computeDistanceLevels(levels, layout, box, scratch.inkRows);
  std::uint8_t* const bits = scratch.inkBits.data();
  // Calls visit(at) for each interior ink pixel of the box in row order.
  const auto forEachBoxInk = [&](auto visit) {
    for (std::int32_t y = box.top; y < box.bottom; ++y) {
      const std::size_t rowStart = layout.rowStart(y);
      forEachInk(bits, rowStart + static_cast<std::size_t>(box.left), rowStart + static_cast<std::size_t>(box.right),
                 visit);
    }
  };

  LevelCounts count{};
  int highestLevel = 0;
  forEachBoxInk([&](std::size_t at) {
    ++count[levels[at]];
    highestLevel = std::max<int>(highestLevel, levels[at]);
  });
  // levelStart[L] .. levelStart[L + 1]: the list of level L.
  LevelCounts levelStart{};
  for (int level = 1; level <= highestLevel; ++level) levelStart[level + 1] = levelStart[level] + count[level];
  std::vector<std::uint32_t>& list = scratch.inkByLevel;
  if (list.size() < levelStart[highestLevel + 1]) list.resize(levelStart[highestLevel + 1]);
  LevelCounts next = levelStart;
  forEachBoxInk([&](std::size_t at) { list[next[levels[at]]++] = static_cast<std::uint32_t>(at); });

  // The levels are not read past here but as the highest level around each pixel.
  replaceLevelsByHighestAround(levels, layout, box, scratch.acrossRows);
  const std::uint8_t* const highestAround = levels;

  const std::ptrdiff_t stride = layout.stride;
  // keptEnd[L]: the end of the kept part of level L's list.
  LevelCounts keptEnd{};
  for (int level = 1; level <= highestLevel; ++level) {
    std::uint32_t kept = levelStart[level];
    for (std::uint32_t at = levelStart[level]; at < levelStart[level + 1]; ++at) {
      const std::uint32_t pixel = list[at];
      if (highestAround[pixel] <= level || kKeptByNeighbourhood[kRingCodeOfWindow[windowAround(bits, pixel, stride)]]) {
        list[kept++] = pixel;
      } else {
        clearInk(bits, pixel);
      }
    }
    keptEnd[level] = kept;
  }
  for (int level = 1; level <= highestLevel; ++level) {
    for (std::uint32_t at = levelStart[level]; at < keptEnd[level]; ++at) {
      if (isRedundant(bits, list[at], stride)) clearInk(bits, list[at]);
    }
  }
  forEachBoxInk([&](std::size_t at) {
    if (isRedundant(bits, at, stride)) clearInk(bits, at);
  });
}

// Writes the working copy back from its bit plane: 0 where ink is left, 255
// elsewhere, sixteen pixels at a time.
void writeBack(const std::uint8_t* bits, const Layout& layout, GreyImage& image) {
  for (std::int32_t y = 0; y < layout.height; ++y) {
    const std::uint8_t* const rowBits = bits + layout.rowStart(y) / 8;
    std::uint8_t* const target = image.row(y);
    std::int32_t x = 0;
    // Pixels written past the row's end are the next row's, written again after.
    for (const std::int32_t end = vectorColumnsEnd(layout, y); x < end; x += kLanes) {
      std::uint16_t sixteen = 0;
      std::memcpy(&sixteen, rowBits + x / 8, sizeof sixteen);
      sixteen_pixels::store(target + x, sixteen_pixels::clearBitLanes(sixteen));
    }
    for (; x < layout.width; ++x) target[x] = isInk(rowBits, static_cast<std::size_t>(x)) ? 0 : 255;
  }
}

}  // namespace

void skeletonise(GreyImage& image, ThinningScratch& scratch) {
  const Layout layout(image);
  const InkBox box = markInk(image, layout, scratch);
  if (!box.empty()) thinInk(layout, box, scratch);
  writeBack(scratch.inkBits.data(), layout, image);
}

void skeletonise(GreyImage& image) {
  ThinningScratch scratch;
  skeletonise(image, scratch);
}

}  // namespace glimmer
