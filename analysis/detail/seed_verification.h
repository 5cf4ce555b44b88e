// The seed test at one pixel (a small compact blob of a text grey that stands
// apart from its background grey), the measuring of such blobs, and the
// estimate of the text grey inside a box.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "analysis/band_scratch.h"
#include "analysis/detail/blob_growth.h"
#include "analysis/detail/colour_split.h"
#include "common/shared_page.h"

namespace glimmer::detail {

// One accepted blob of text-coloured pixels. The pixels of a line's blobs stay
// in the band's registry, in slot `blobIndex`, until the seed analysis ends; a
// seed blob keeps none (-1).
struct CharBlob {
  std::int32_t left = -1;  // inclusive pixel bounds
  std::int32_t top = -1;
  std::int32_t right = -1;
  std::int32_t bottom = -1;
  std::int32_t width = -1;   // right - left
  std::int32_t height = -1;  // bottom - top
  std::int32_t textColour = 0;
  std::int32_t backgroundColour = 0;
  bool darkText = false;
  std::int32_t pixelCount = 0;
  std::int32_t blobIndex = -1;
  std::int32_t baselo = 0;  // the line's text band, set once the line is complete
  std::int32_t basehi = 0;
};

struct TextLevel {
  std::int32_t spread = 0;
  std::int32_t level = -1;  // -1: no level; take each block's own text grey
  bool operator==(const TextLevel&) const = default;
};

// The blob of a grown extent, seen against a colour pair. Its text grey is the
// darkest grey of the blob when the pair's text is darker than its
// background, the lightest otherwise.
CharBlob measureBlob(const BlobExtent& extent, std::int32_t blobIndex, const ColourPair& pair);

// The accepted seed blob at (x, y), or nothing.
std::optional<CharBlob> verifySeed(BandScratch& scratch, const SharedPage& page, std::int32_t x, std::int32_t y);

// Text grey and its spread inside the box (right column and bottom row
// excluded): the darkest (or, for light text, the lightest) grey of the text
// cluster of a two-cluster split of the box's greys.
TextLevel estimateTextLevel(const SharedPage& page, std::int32_t left, std::int32_t top, std::int32_t right,
                            std::int32_t bottom, bool darkText);

// How many pixels of each grey.
using GreyCounts = std::array<std::int64_t, 256>;

// One-dimensional two-cluster k-means of the pixels counted, from centres at
// the least grey and the grey at position n / 2 in ascending order; a pixel
// joins the second cluster only when strictly nearer its centre. Stops when
// the summed squared error no longer changes, or after 1000 rounds. Returns
// the cluster (0 or 1) of every grey in the last round.
std::array<std::int8_t, 256> twoMeans(const GreyCounts& counts);

}  // namespace glimmer::detail
