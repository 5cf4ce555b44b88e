#include "analysis/detail/seed_verification.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>

#include "common/tolerance.h"

namespace glimmer::detail {

namespace {

constexpr std::int32_t kSeedBlockSide = 10;
constexpr std::int32_t kSeedHalfWidth = 20;
constexpr std::int32_t kSeedTolerance = 80;
constexpr std::int32_t kSeedBlobLimit = 400;
constexpr std::int32_t kMinSeedHeight = 3;    // exclusive
constexpr std::int32_t kMaxSeedHeight = 400;  // exclusive
constexpr std::int32_t kMaxKMeansRounds = 1000;

}  // namespace

CharBlob measureBlob(const BlobExtent& extent, std::int32_t blobIndex, const ColourPair& pair) {
  CharBlob blob;
  blob.left = extent.left;
  blob.top = extent.top;
  blob.right = extent.right;
  blob.bottom = extent.bottom;
  blob.width = blob.right - blob.left;
  blob.height = blob.bottom - blob.top;
  blob.textColour = pair.text < pair.background ? extent.darkest : extent.lightest;
  blob.backgroundColour = pair.background;
  blob.darkText = blob.textColour < pair.background;
  blob.pixelCount = extent.pixelCount;
  blob.blobIndex = blobIndex;
  return blob;
}

std::optional<CharBlob> verifySeed(BandScratch& scratch, const SharedPage& page, std::int32_t x, std::int32_t y) {
  blockHistogram(page, x, y, kSeedBlockSide, scratch.histogram);
  buildColourList(scratch.histogram, scratch.colours);
  const std::optional<ColourPair> pair = splitColours(scratch.colours.entries(), kSeedHalfWidth);
  if (!pair || !withinTolerance(std::int32_t{page.at(x, y)}, pair->text, kSeedTolerance)) return std::nullopt;

  const std::optional<BlobExtent> extent = scratch.seedGrowths.grow(page, scratch.visited, x, y, pair->text,
                                                                    kSeedTolerance, kSeedBlobLimit, scratch.seedPixels);
  if (!extent) return std::nullopt;
  const CharBlob blob = measureBlob(*extent, -1, *pair);
  if (blob.height <= kMinSeedHeight || blob.height >= kMaxSeedHeight) return std::nullopt;
  return blob;
}

TextLevel estimateTextLevel(const SharedPage& page, std::int32_t left, std::int32_t top, std::int32_t right,
                            std::int32_t bottom, bool darkText) {
  GreyCounts counts{};
  std::int64_t total = 0;
  for (std::int32_t px = left; px < right; ++px) {
    for (std::int32_t py = top; py < bottom; ++py) ++counts[page.at(px, py)];
  }
  for (const std::int64_t count : counts) total += count;
  if (total < 2) return {};
  const std::array<std::int8_t, 256> cluster = twoMeans(counts);

  const std::int8_t textCluster = darkText ? 0 : 1;
  std::optional<std::int32_t> first;
  std::int32_t last = 0;
  for (std::int32_t grey = 0; grey < 256; ++grey) {
    const auto g = static_cast<std::size_t>(grey);
    if (counts[g] == 0 || cluster[g] != textCluster) continue;
    if (!first) first = grey;
    last = grey;
  }
  if (!first) return {};
  return {std::abs(last - *first), darkText ? *first : last};
}

std::array<std::int8_t, 256> twoMeans(const GreyCounts& counts) {
  std::int64_t total = 0;
  for (const std::int64_t count : counts) total += count;
  // The starting centres: the least grey and the grey at position total / 2 in ascending order.
  std::array<std::int64_t, 2> centres{};
  bool leastFound = false;
  std::int64_t seen = 0;
  for (std::int32_t grey = 0; grey < 256; ++grey) {
    const std::int64_t count = counts[static_cast<std::size_t>(grey)];
    if (count == 0) continue;
    if (!leastFound) {
      centres[0] = grey;
      leastFound = true;
    }
    if (seen <= total / 2 && total / 2 < seen + count) centres[1] = grey;
    seen += count;
  }

  std::array<std::int8_t, 256> cluster{};
  std::int64_t previousError = INT32_MAX;
  for (std::int32_t round = 1;; ++round) {
    std::array<std::int64_t, 2> sums{};
    std::array<std::int64_t, 2> members{};
    std::int64_t error = 0;
    for (std::int32_t grey = 0; grey < 256; ++grey) {
      const auto g = static_cast<std::size_t>(grey);
      if (counts[g] == 0) continue;
      const std::int64_t toFirst = (grey - centres[0]) * (grey - centres[0]);
      const std::int64_t toSecond = (grey - centres[1]) * (grey - centres[1]);
      const std::size_t best = toSecond < toFirst ? 1 : 0;
      cluster[g] = static_cast<std::int8_t>(best);
      error += counts[g] * std::min(toFirst, toSecond);
      sums[best] += counts[g] * grey;
      members[best] += counts[g];
    }
    for (std::size_t j = 0; j < 2; ++j) centres[j] = members[j] == 0 ? 0 : sums[j] / members[j];
    if (error == previousError || round == kMaxKMeansRounds) return cluster;
    previousError = error;
  }
}

}  // namespace glimmer::detail
