#include "analysis/detail/colour_split.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <vector>

namespace glimmer::detail {
namespace {

std::vector<std::int32_t> countsAfterOrderPass(std::vector<std::int32_t> counts) {
  std::vector<ColourEntry> entries;
  for (std::size_t i = 0; i < counts.size(); ++i) entries.push_back({static_cast<std::int32_t>(i), counts[i]});
  orderPass(entries);
  for (std::size_t i = 0; i < counts.size(); ++i) counts[i] = entries[i].count;
  return counts;
}

TEST(OrderPass, IsOneBubblePassThatStepsOverEqualCountsInListsBelow255) {
  using Counts = std::vector<std::int32_t>;
  EXPECT_EQ(countsAfterOrderPass({9, 2, 7, 1}), (Counts{2, 7, 1, 9}));
  EXPECT_EQ(countsAfterOrderPass({5, 5, 3}), (Counts{5, 5, 3}));
  EXPECT_EQ(countsAfterOrderPass({1, 4, 4, 4, 2}), (Counts{1, 4, 4, 4, 2}));

  Counts full(255, 1);
  full[0] = full[1] = 2;
  Counts moved = full;
  moved[1] = 1;
  moved[254] = 2;
  EXPECT_EQ(countsAfterOrderPass(full), moved);
  full.resize(254);
  EXPECT_EQ(countsAfterOrderPass(full), full);
}

TEST(SplitColours, PairsTheDominantWithTheLastFarGreyAndTakesTheLessSurroundedAsText) {
  struct Case {
    std::vector<ColourEntry> entries;
    std::optional<ColourPair> pair;
  };
  const Case cases[] = {
      {{}, std::nullopt},
      // 170 is exactly 80 from the dominant 250, so far; 171 is near.
      {{{30, 20}, {170, 10}, {171, 5}, {250, 60}}, ColourPair{250, 170, 60}},
      // Near 220 with half-width 20: 240 counts, 200 does not (35 against 30).
      {{{200, 15}, {240, 25}, {220, 10}, {20, 30}}, ColourPair{220, 20, 35}},
      {{{0, 10}, {255, 10}}, ColourPair{255, 0, 10}},   // ties keep the dominant as background
      {{{100, 4}, {140, 9}}, ColourPair{140, 100, 9}},  // no far grey: the first one
  };
  for (const Case& c : cases) EXPECT_EQ(splitColours(c.entries, 20), c.pair);
}

std::vector<ColourEntry> colourList(const BlockHistogram& histogram) {
  ColourList list;
  buildColourList(histogram, list);
  return {list.entries().begin(), list.entries().end()};
}

// The plain count of the side x side block at (x, y), cut at the page edges.
std::vector<ColourEntry> freshColourList(const SharedPage& page, std::int32_t x, std::int32_t y, std::int32_t side) {
  BlockHistogram histogram;
  for (std::int32_t py = y; py < std::min(y + side, page.height()); ++py) {
    for (std::int32_t px = x; px < std::min(x + side, page.width()); ++px) histogram.add(page.at(px, py));
  }
  return colourList(histogram);
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
        ASSERT_EQ(colourList(sliding.moveTo(page, x, y, 10)), freshColourList(page, x, y, 10)) << x << "," << y;
      }
    }
    for (const std::int32_t side : {7, 12}) {
      for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; x += 1 + static_cast<std::int32_t>(random() % 5)) {
          ASSERT_EQ(colourList(sliding.moveTo(page, x, y, side)), freshColourList(page, x, y, side))
              << x << "," << y << " side " << side;
        }
      }
    }
  }
}

}  // namespace
}  // namespace glimmer::detail
