// The seed test at one pixel (a small compact blob of a text grey that stands
// apart from its background grey) and the measuring of such blobs.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "analysis/band_scratch.h"
#include "analysis/detail/blob_growth.h"
#include "analysis/detail/colour_split.h"
#include "common/shared_page.h"

namespace glimmer::detail {

// One accepted blob of text-coloured pixels. A line's blobs stay in the band's
// registry, at `blobIndex`, as the growths that give their pixels, until the
// seed analysis ends; a seed blob keeps none (-1).
struct CharBlob {
  std::int32_t left = -1;  // inclusive pixel bounds
  std::int32_t top = -1;
  std::int32_t right = -1;
  std::int32_t bottom = -1;
  std::int32_t width = -1;   // right - left
  std::int32_t height = -1;  // bottom - top
  // Seen against the block's colour pair; a blob of a row scan at one text
  // level takes that level as its text grey and no background.
  std::int32_t textColour = 0;
  std::int32_t backgroundColour = 0;
  bool darkText = false;
  std::int32_t pixelCount = 0;
  std::int32_t blobIndex = -1;
  std::int32_t baselo = 0;  // the line's text band, set once the line is complete
  std::int32_t basehi = 0;
};

// The blob of a grown extent, its colours unset.
CharBlob blobShape(const BlobExtent& extent, std::int32_t blobIndex);

// The blob of a grown extent, seen against a colour pair. Its text grey is the
// darkest grey of the blob when the pair's text is darker than its
// background, the lightest otherwise.
CharBlob measureBlob(const BlobExtent& extent, std::int32_t blobIndex, const ColourPair& pair);

// The accepted seed blob at (x, y), or nothing.
std::optional<CharBlob> verifySeed(BandScratch& scratch, const SharedPage& page, std::int32_t x, std::int32_t y);

}  // namespace glimmer::detail
