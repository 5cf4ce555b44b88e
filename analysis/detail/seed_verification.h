// The seed test at one pixel (a small compact blob of a text grey that stands
// apart from its background grey), the measuring of such blobs, and the
// estimate of the text grey inside a box.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/band_scratch.h"
#include "analysis/detail/blob_growth.h"
#include "analysis/detail/colour_split.h"
#include "common/shared_page.h"

namespace glimmer::detail {

// One accepted blob of text-coloured pixels. Its pixels stay in the band's
// registry, in slot `blobIndex`, until the seed analysis ends.
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

// Box, pixel count and extreme grey of a grown blob. The text grey is the
// darkest grey of the blob when the pair's text is darker than its
// background, the lightest otherwise.
CharBlob measureBlob(const SharedPage& page, std::span<const PixelPoint> pixels, std::int32_t blobIndex,
                     const ColourPair& pair);

// The accepted seed blob at (x, y), registered in the scratch's registry, or
// nothing. A blob grown but rejected by its height stays registered.
std::optional<CharBlob> verifySeed(BandScratch& scratch, const SharedPage& page, std::int32_t x, std::int32_t y);

// Text grey and its spread inside the box (right column and bottom row
// excluded): the darkest (or, for light text, the lightest) grey of the text
// cluster of a two-cluster split of the box's greys.
TextLevel estimateTextLevel(BandScratch& scratch, const SharedPage& page, std::int32_t left, std::int32_t top,
                            std::int32_t right, std::int32_t bottom, bool darkText);

// One-dimensional k-means from centres at values j * (n / k); stops when the
// summed squared error changes by no more than `threshold`, or after 1000
// rounds. Writes one cluster label per value.
void kMeans(std::span<const std::int32_t> values, std::int32_t k, double threshold, std::vector<std::int32_t>& labels);

}  // namespace glimmer::detail
