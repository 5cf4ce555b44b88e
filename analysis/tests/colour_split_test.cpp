#include "analysis/detail/colour_split.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <utility>
#include <vector>

namespace glimmer::detail {
namespace {

// A histogram of `counts[i]` pixels of grey `greys[i]`.
BlockHistogram histogramOf(const std::vector<std::int32_t>& greys, const std::vector<std::int32_t>& counts) {
  BlockHistogram histogram;
  for (std::size_t i = 0; i < greys.size(); ++i) {
    for (std::int32_t n = 0; n < counts[i]; ++n) histogram.add(static_cast<std::uint8_t>(greys[i]));
  }
  return histogram;
}

// The dominant grey is the last after one pass of adjacent swaps by count over
// the ascending greys, which steps over runs of equal counts below 255 greys.
TEST(SplitHistogram, TakesTheDominantGreyFromOneOrderPass) {
  // 9 travels to the end: grey 0 dominates, though listed first.
  EXPECT_EQ(splitHistogram(histogramOf({0, 100, 150, 250}, {9, 2, 7, 1}), 20), (ColourPair{0, 250, 9}));
  // (5, 5, 3) is left as it is: the dominant grey is the one with 3 pixels.
  EXPECT_EQ(splitHistogram(histogramOf({0, 100, 200}, {5, 5, 3}), 20), (ColourPair{100, 200, 5}));

  // 255 greys: a plain pass carries grey 1 (2 pixels) past the run to the end;
  // 254 greys: the pass steps over the runs and the last grey stays dominant.
  std::vector<std::int32_t> greys(255);
  std::vector<std::int32_t> counts(255, 1);
  for (std::int32_t g = 0; g < 255; ++g) greys[static_cast<std::size_t>(g)] = g;
  counts[0] = counts[1] = 2;
  EXPECT_EQ(splitHistogram(histogramOf(greys, counts), 20), (ColourPair{1, 254, 24}));
  greys.pop_back();
  counts.pop_back();
  EXPECT_EQ(splitHistogram(histogramOf(greys, counts), 20), (ColourPair{173, 253, 40}));
}

TEST(SplitHistogram, PairsTheDominantWithTheLastFarGreyAndTakesTheLessSurroundedAsText) {
  EXPECT_EQ(splitHistogram(BlockHistogram{}, 20), std::nullopt);
  // 170 is exactly 80 from the dominant 250, so far; 171 is near.
  EXPECT_EQ(splitHistogram(histogramOf({30, 170, 171, 250}, {5, 10, 20, 60}), 20), (ColourPair{250, 170, 60}));
  // Ties keep the dominant as background.
  EXPECT_EQ(splitHistogram(histogramOf({0, 255}, {10, 10}), 20), (ColourPair{255, 0, 10}));
  // No far grey: the first one.
  EXPECT_EQ(splitHistogram(histogramOf({100, 140}, {4, 9}), 20), (ColourPair{140, 100, 9}));
}

// A histogram's greys and counts, ascending.
std::vector<std::pair<std::int32_t, std::int32_t>> countsOf(const BlockHistogram& histogram) {
  std::vector<std::pair<std::int32_t, std::int32_t>> counts;
  histogram.forEach([&](std::int32_t grey, std::int32_t count) { counts.emplace_back(grey, count); });
  return counts;
}

// The plain count of the side x side block at (x, y), cut at the page edges.
std::vector<std::pair<std::int32_t, std::int32_t>> freshCounts(const SharedPage& page, std::int32_t x, std::int32_t y,
                                                               std::int32_t side) {
  BlockHistogram histogram;
  for (std::int32_t py = y; py < std::min(y + side, page.height()); ++py) {
    for (std::int32_t px = x; px < std::min(x + side, page.width()); ++px) histogram.add(page.at(px, py));
  }
  return countsOf(histogram);
}

// Down the columns, placing the block afresh, and along the rows with jumps as the
// row scan asks, over the page edges.
TEST(SlidingBlock, GivesEveryBlockAsAFreshCountWould) {
  std::mt19937 random(3);
  for (const auto& [width, height] : {std::pair{30, 25}, std::pair{6, 4}, std::pair{12, 10}}) {
    GreyImage image(width, height);
    for (std::uint8_t& grey : image.pixels) grey = static_cast<std::uint8_t>(random() % 7 * 40);
    const SharedPage page(image);
    SlidingBlock sliding;
    for (std::int32_t x = 0; x < width; ++x) {
      for (std::int32_t y = 0; y < height; y += (x % 3 == 0 && y == 2) ? 3 : 1) {  // some starts are skipped
        ASSERT_EQ(countsOf(sliding.moveTo(page, x, y, 10)), freshCounts(page, x, y, 10)) << x << "," << y;
      }
    }
    for (const std::int32_t side : {7, 12}) {
      for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; x += 1 + static_cast<std::int32_t>(random() % 5)) {
          ASSERT_EQ(countsOf(sliding.moveTo(page, x, y, side)), freshCounts(page, x, y, side))
              << x << "," << y << " side " << side;
        }
      }
    }
  }
}

}  // namespace
}  // namespace glimmer::detail
