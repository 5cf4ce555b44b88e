#include "analysis/detail/seed_verification.h"

#include <algorithm>
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

CharBlob measureBlob(const SharedPage& page, std::span<const PixelPoint> pixels, std::int32_t blobIndex,
                     const ColourPair& pair) {
  CharBlob blob;
  blob.left = blob.right = pixels.front().x;
  blob.top = blob.bottom = pixels.front().y;
  std::int32_t darkest = 255;
  std::int32_t lightest = 0;
  for (const PixelPoint& p : pixels) {
    blob.left = std::min(blob.left, p.x);
    blob.right = std::max(blob.right, p.x);
    blob.top = std::min(blob.top, p.y);
    blob.bottom = std::max(blob.bottom, p.y);
    const std::int32_t grey = page.at(p.x, p.y);
    darkest = std::min(darkest, grey);
    lightest = std::max(lightest, grey);
  }
  blob.width = blob.right - blob.left;
  blob.height = blob.bottom - blob.top;
  blob.textColour = pair.text < pair.background ? darkest : lightest;
  blob.backgroundColour = pair.background;
  blob.darkText = blob.textColour < pair.background;
  blob.pixelCount = static_cast<std::int32_t>(pixels.size());
  blob.blobIndex = blobIndex;
  return blob;
}

std::optional<CharBlob> verifySeed(BandScratch& scratch, const SharedPage& page, std::int32_t x, std::int32_t y) {
  blockHistogram(page, x, y, kSeedBlockSide, scratch.histogram);
  buildColourList(scratch.histogram, scratch.colours);
  const std::optional<ColourPair> pair = splitColours(scratch.colours.entries(), kSeedHalfWidth);
  if (!pair || !withinTolerance(std::int32_t{page.at(x, y)}, pair->text, kSeedTolerance)) return std::nullopt;

  PixelList& pixels = scratch.registry.nextSlot();
  if (!scratch.seedOverflows.grow(page, scratch.visited, x, y, pair->text, kSeedTolerance, kSeedBlobLimit, pixels)) {
    return std::nullopt;
  }
  const std::int32_t index = scratch.registry.registerNext();
  const CharBlob blob = measureBlob(page, pixels, index, *pair);
  if (blob.height <= kMinSeedHeight || blob.height >= kMaxSeedHeight) return std::nullopt;
  return blob;
}

TextLevel estimateTextLevel(BandScratch& scratch, const SharedPage& page, std::int32_t left, std::int32_t top,
                            std::int32_t right, std::int32_t bottom, bool darkText) {
  std::vector<std::int32_t>& values = scratch.levelValues;
  values.clear();
  for (std::int32_t px = left; px < right; ++px) {
    for (std::int32_t py = top; py < bottom; ++py) values.push_back(page.at(px, py));
  }
  if (values.size() < 2) return {};
  std::sort(values.begin(), values.end());
  kMeans(values, 2, 0.1, scratch.levelLabels);

  const std::int32_t textLabel = darkText ? 0 : 1;
  std::optional<std::int32_t> first;
  std::int32_t last = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (scratch.levelLabels[i] != textLabel) continue;
    if (!first) first = values[i];
    last = values[i];
  }
  if (!first) return {};
  return {std::abs(last - *first), darkText ? *first : last};
}

void kMeans(std::span<const std::int32_t> values, std::int32_t k, double threshold, std::vector<std::int32_t>& labels) {
  const std::size_t n = values.size();
  labels.assign(n, 0);
  if (n == 0 || k <= 0) return;
  const std::size_t clusters = static_cast<std::size_t>(k);
  std::vector<std::int64_t> centres(clusters);
  std::vector<std::int64_t> sums(clusters);
  std::vector<std::int64_t> counts(clusters);
  for (std::size_t j = 0; j < clusters; ++j) centres[j] = values[j * (n / clusters)];

  std::int64_t previousError = INT32_MAX;
  for (std::int32_t round = 1;; ++round) {
    std::fill(sums.begin(), sums.end(), 0);
    std::fill(counts.begin(), counts.end(), 0);
    std::int64_t error = 0;
    for (std::size_t i = 0; i < n; ++i) {
      std::size_t best = 0;
      std::int64_t bestDistance = (values[i] - centres[0]) * (values[i] - centres[0]);
      for (std::size_t j = 1; j < clusters; ++j) {
        const std::int64_t distance = (values[i] - centres[j]) * (values[i] - centres[j]);
        if (distance < bestDistance) {
          best = j;
          bestDistance = distance;
        }
      }
      labels[i] = static_cast<std::int32_t>(best);
      error += bestDistance;
      sums[best] += values[i];
      ++counts[best];
    }
    for (std::size_t j = 0; j < clusters; ++j) centres[j] = counts[j] == 0 ? 0 : sums[j] / counts[j];
    if (static_cast<double>(std::llabs(error - previousError)) <= threshold || round == kMaxKMeansRounds) return;
    previousError = error;
  }
}

}  // namespace glimmer::detail
