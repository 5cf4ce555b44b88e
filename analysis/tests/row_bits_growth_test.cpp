#include "analysis/detail/row_bits_growth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "analysis/tests/test_pages.h"

namespace glimmer::detail {
namespace {

// Blotches of a few greys, with long lines and rings that reach past the
// window, on a page of any size.
GreyImage linedPage(std::mt19937& random, std::int32_t width, std::int32_t height, std::int32_t greys) {
  GreyImage image(width, height);
  const auto anyGrey = [&] { return static_cast<std::uint8_t>(random() % greys * (255 / (greys - 1))); };
  const auto below = [&](std::int32_t bound) { return static_cast<std::int32_t>(random() % bound); };
  for (std::uint8_t& grey : image.pixels) grey = anyGrey();
  for (std::int32_t i = 0; i < width * height / 40; ++i) {
    const std::int32_t x = below(width);
    const std::int32_t y = below(height);
    test_support::fillBox(image, x, y, std::min(x + below(5), width - 1), std::min(y + below(4), height - 1),
                          anyGrey());
  }
  for (std::int32_t i = 0; i < 6; ++i) {
    const std::int32_t x = below(width);
    const std::int32_t y = below(height);
    const std::uint8_t grey = anyGrey();
    test_support::fillBox(image, 0, y, width - 1, y, grey);   // a row
    test_support::fillBox(image, x, 0, x, height - 1, grey);  // a column
  }
  return image;
}

using PixelSet = std::set<std::pair<std::int32_t, std::int32_t>>;

PixelSet setOf(const PixelList& pixels) {
  PixelSet set;
  for (const PixelPoint& p : pixels) set.emplace(p.x, p.y);
  return set;
}

// The greys beside an area, as a pixel-by-pixel growth notes them.
BorderGreys borderOf(const SharedPage& page, const PixelSet& area, std::int32_t target) {
  BorderGreys border;
  for (const auto& [x, y] : area) {
    for (std::int32_t dy = -1; dy <= 1; ++dy) {
      for (std::int32_t dx = -1; dx <= 1; ++dx) {
        const std::int32_t nx = x + dx;
        const std::int32_t ny = y + dy;
        if (nx < 0 || ny < 0 || nx >= page.width() || ny >= page.height() || area.contains({nx, ny})) continue;
        const std::int32_t grey = page.at(nx, ny);
        if (grey <= target) {
          border.below = std::max(border.below, grey);
        } else {
          border.above = std::min(border.above, grey);
        }
      }
    }
  }
  return border;
}

// Every start of pages narrower and wider than the window, shorter and
// taller, against growBlob: a grown area must be the growth's, with its
// extent and border greys; an overflow must be one, and a connected part of
// the range; and the growth may give up only on an area that leaves the
// window it was placed in.
TEST(RowBitsGrowth, GrowsAsThePixelByPixelGrowthDoes) {
  std::mt19937 random(17);
  std::array<std::int32_t, 3> outcomes{};
  struct Case {
    std::int32_t width, height, greys, tolerance, limit;
  };
  for (const Case c : {Case{48, 40, 3, 40, 400}, Case{64, 30, 4, 80, 60}, Case{130, 140, 4, 40, 400},
                       Case{160, 140, 2, 80, 400}, Case{70, 20, 6, 20, 25}, Case{40, 30, 256, 20, 400}}) {
    const GreyImage image = linedPage(random, c.width, c.height, c.greys);
    const SharedPage page(image);
    VisitedMap visited(page.width(), page.height());
    PixelList expected;
    PixelList reached;
    GreyImage partOnly(page.width(), page.height(), 255);
    for (std::int32_t y = 0; y < page.height(); ++y) {
      for (std::int32_t x = static_cast<std::int32_t>(random() % 4); x < page.width(); x += 4) {
        const std::int32_t target = std::clamp(page.at(x, y) + static_cast<std::int32_t>(random() % 41) - 20, 0, 255);
        if (!joinsBlob(page.at(x, y), target, c.tolerance)) continue;
        RowBitsGrowth rows(page, target, c.tolerance);
        const RowBitsGrowth::Outcome outcome = rows.grow(x, y, c.limit);
        ++outcomes[static_cast<std::size_t>(outcome)];
        const bool grown = growBlob(page, visited, x, y, target, c.tolerance, c.limit, expected);
        const std::string where = "start " + std::to_string(x) + "," + std::to_string(y);
        if (outcome == RowBitsGrowth::Outcome::kGrown) {
          ASSERT_TRUE(grown) << where;
          BlobExtent extent;
          rows.pixelsReached(reached, extent);
          ASSERT_EQ(setOf(reached), setOf(expected)) << where;
          ASSERT_EQ(extent, extentOf(page, expected)) << where;
          const BorderGreys border = rows.border();
          const BorderGreys expectedBorder = borderOf(page, setOf(expected), target);
          ASSERT_EQ(border.below, expectedBorder.below) << where;
          ASSERT_EQ(border.above, expectedBorder.above) << where;
          continue;
        }
        if (outcome == RowBitsGrowth::Outcome::kOverflows) {
          ASSERT_FALSE(grown) << where;
          BlobExtent extent;
          rows.pixelsReached(reached, extent);
          ASSERT_GT(static_cast<std::int32_t>(reached.size()), c.limit) << where;
          ASSERT_EQ(extent, extentOf(page, reached)) << where;
          // A connected part of the range: the start's area within it is all of it.
          for (const PixelPoint& p : reached) partOnly.at(p.x, p.y) = 0;
          PixelList part;
          ASSERT_TRUE(growBlob(SharedPage(partOnly), visited, x, y, 0, 1, page.width() * page.height(), part));
          ASSERT_EQ(part.size(), reached.size()) << where;
          for (const PixelPoint& p : reached) partOnly.at(p.x, p.y) = 255;
          ASSERT_TRUE(std::all_of(reached.begin(), reached.end(), [&](const PixelPoint& p) {
            return joinsBlob(page.at(p.x, p.y), target, c.tolerance);
          })) << where;
          continue;
        }
        // More pixels than the window holds leave it; else the area is whole.
        const std::int32_t windowPixels = 64 * 127;
        if (!growBlob(page, visited, x, y, target, c.tolerance, windowPixels, expected)) continue;
        const PixelSet area = setOf(expected);
        // The window: 64 columns from `left`, 63 rows either side of the
        // start; the area must reach a side of it that the page goes on past.
        const std::int32_t left = std::clamp(x - 32, 0, std::max(0, page.width() - 64));
        EXPECT_TRUE(std::any_of(area.begin(), area.end(), [&](const auto& p) {
          const auto [px, py] = p;
          return (px <= left && left > 0) || (px >= left + 63 && left + 64 < page.width()) ||
                 (py <= y - 63 && py > 0) || (py >= y + 63 && py < page.height() - 1);
        })) << where;
      }
    }
  }
  for (const std::int32_t count : outcomes) EXPECT_GT(count, 0);
}

// A bar 51 columns wide leaves the window centred on a start at either end,
// by one side; the window reaching that way holds it whole. A bar reaching
// past both sides of the start stays too wide for either, unless its part in
// the window alone is more than the limit: then it overflows.
TEST(RowBitsGrowth, GrowsAWordThatReachesOneWayFromTheStart) {
  GreyImage image(400, 20, 255);
  test_support::fillBox(image, 100, 5, 150, 7, 0);
  test_support::fillBox(image, 200, 5, 399, 7, 0);
  const SharedPage page(image);
  PixelList pixels;
  BlobExtent extent;
  for (const std::int32_t startX : {100, 125, 150}) {
    RowBitsGrowth rows(page, 0, 10);
    ASSERT_EQ(rows.grow(startX, 6, 1000), RowBitsGrowth::Outcome::kGrown) << startX;
    rows.pixelsReached(pixels, extent);
    EXPECT_EQ(extent, (BlobExtent{100, 5, 150, 7, 153, 0, 0})) << startX;
  }
  RowBitsGrowth rows(page, 0, 10);
  EXPECT_EQ(rows.grow(300, 6, 1000), RowBitsGrowth::Outcome::kLeavesWindow);
  ASSERT_EQ(rows.grow(300, 6, 191), RowBitsGrowth::Outcome::kOverflows);
  rows.pixelsReached(pixels, extent);
  EXPECT_EQ(extent, (BlobExtent{268, 5, 331, 7, 192, 0, 0}));
  EXPECT_EQ(rows.grow(300, 6, 192), RowBitsGrowth::Outcome::kLeavesWindow);
}

}  // namespace
}  // namespace glimmer::detail
