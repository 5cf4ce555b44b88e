#include "analysis/detail/seed_verification.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "analysis/detail/row_scan.h"
#include "common/tolerance.h"

namespace glimmer::detail {

namespace {

constexpr std::int32_t kSeedBlockSide = 10;
constexpr std::int32_t kSeedHalfWidth = 20;
constexpr std::int32_t kSeedTolerance = 80;
constexpr std::int32_t kMinSeedHeight = 3;    // exclusive
constexpr std::int32_t kMaxSeedHeight = 400;  // exclusive

}  // namespace

CharBlob blobShape(const BlobExtent& extent, std::int32_t blobIndex) {
  CharBlob blob;
  blob.left = extent.left;
  blob.top = extent.top;
  blob.right = extent.right;
  blob.bottom = extent.bottom;
  blob.width = blob.right - blob.left;
  blob.height = blob.bottom - blob.top;
  blob.pixelCount = extent.pixelCount;
  blob.blobIndex = blobIndex;
  return blob;
}

CharBlob measureBlob(const BlobExtent& extent, std::int32_t blobIndex, const ColourPair& pair) {
  CharBlob blob = blobShape(extent, blobIndex);
  blob.textColour = pair.text < pair.background ? extent.darkest : extent.lightest;
  blob.backgroundColour = pair.background;
  blob.darkText = blob.textColour < pair.background;
  return blob;
}

std::optional<CharBlob> verifySeed(BandScratch& scratch, const SharedPage& page, std::int32_t x, std::int32_t y) {
  const auto [grey, pair] = scratch.seedPairs.at(page, x, y, kSeedBlockSide, kSeedHalfWidth);
  if (!withinTolerance(grey, pair.text, kSeedTolerance)) return std::nullopt;

  const std::optional<BlobExtent> extent = scratch.seedGrowths.grow(page, scratch.visited, x, y, grey, pair.text,
                                                                    kSeedTolerance, kSeedBlobLimit, scratch.seedPixels);
  if (!extent) return std::nullopt;
  const CharBlob blob = measureBlob(*extent, -1, pair);
  if (blob.height <= kMinSeedHeight || blob.height >= kMaxSeedHeight) return std::nullopt;
  return blob;
}

}  // namespace glimmer::detail
