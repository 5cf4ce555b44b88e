// The shortcuts of the seed test's colour pairs against the plain count, list,
// order pass and split they stand for.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <random>
#include <stdexcept>
#include <vector>

#include "analysis/detail/colour_split.h"
#include "analysis/tests/plain_colour_split.h"
#include "formats/pnm_reader.h"

namespace glimmer::detail {
namespace {

using test_support::plainSplit;

// The plain pair of the side x side block at (x, y), cut at the page edges.
PixelPair plainPair(const SharedPage& page, std::int32_t x, std::int32_t y, std::int32_t side, std::int32_t halfWidth) {
  BlockHistogram histogram;
  for (std::int32_t py = y; py < std::min(y + side, page.height()); ++py) {
    for (std::int32_t px = x; px < std::min(x + side, page.width()); ++px) histogram.add(page.at(px, py));
  }
  return {page.at(x, y), *plainSplit(histogram, halfWidth)};
}

// Random blocks: few greys with counts drawn from a narrow range give long
// runs of equal counts; up to all 256 greys cover the plain pass of 255 or
// more; a count of one spread over a window tests its ends.
TEST(SplitHistogram, GivesThePairOfTheListOrderPassAndSplit) {
  std::mt19937 random(11);
  std::int32_t ties = 0;
  for (std::int32_t trial = 0; trial < 4000; ++trial) {
    BlockHistogram wide;
    BasicBlockHistogram<std::uint8_t> narrow;
    const std::int32_t greys =
        trial % 4 == 0 ? 250 + static_cast<std::int32_t>(random() % 7) : 1 + static_cast<std::int32_t>(random() % 12);
    const std::int32_t maxCount = 1 + static_cast<std::int32_t>(random() % 3);
    std::vector<std::int32_t> order(256);
    for (std::int32_t grey = 0; grey < 256; ++grey) order[static_cast<std::size_t>(grey)] = grey;
    std::shuffle(order.begin(), order.end(), random);
    std::vector<std::int32_t> counts(static_cast<std::size_t>(greys));
    for (std::int32_t i = 0; i < greys; ++i) {
      const auto grey = static_cast<std::uint8_t>(order[static_cast<std::size_t>(i)]);
      counts[static_cast<std::size_t>(i)] =
          1 + static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(maxCount));
      for (std::int32_t n = 0; n < counts[static_cast<std::size_t>(i)]; ++n) {
        wide.add(grey);
        narrow.add(grey);
      }
    }
    if (trial % 3 == 0) {  // a grey leaves as well
      for (std::int32_t n = 0; n < counts[0]; ++n) {
        wide.remove(static_cast<std::uint8_t>(order[0]));
        narrow.remove(static_cast<std::uint8_t>(order[0]));
      }
    }
    std::int32_t visited = 0;
    wide.forEach([&](std::int32_t, std::int32_t) { ++visited; });
    ASSERT_EQ(wide.greysPresent(), visited);
    for (const std::int32_t halfWidth : {20, 0, 1, 7, 90, -3, 300}) {
      ASSERT_EQ(splitHistogram(wide, halfWidth), plainSplit(wide, halfWidth)) << trial << " " << halfWidth;
      ASSERT_EQ(splitHistogram(narrow, halfWidth), plainSplit(narrow, halfWidth)) << trial << " " << halfWidth;
    }
    const std::vector<test_support::ColourEntry> entries = test_support::orderedColours(wide);
    ties += entries.size() > 1 && entries[entries.size() - 2].count == entries.back().count;
  }
  EXPECT_GT(ties, 100);
  EXPECT_EQ(splitHistogram(BlockHistogram{}, 20), std::nullopt);
}

// Every pixel of the page against the plain pair, the strip asked in the seed
// walk's order (down each column, left to right) and out of it.
void expectPlainPairsOf(BlockPairStrip strip, const SharedPage& page, std::int32_t side, std::int32_t halfWidth,
                        std::mt19937& random) {
  for (std::int32_t x = 0; x < page.width(); ++x) {
    for (std::int32_t y = 0; y < page.height(); ++y) {
      ASSERT_EQ(strip.at(page, x, y, side, halfWidth), plainPair(page, x, y, side, halfWidth))
          << x << "," << y << " side " << side;
    }
  }
  for (std::int32_t i = 0; i < 60; ++i) {
    const auto x = static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(page.width()));
    const auto y = static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(page.height()));
    ASSERT_EQ(strip.at(page, x, y, side, halfWidth), plainPair(page, x, y, side, halfWidth)) << x << "," << y;
  }
}

// The same at every strip width this processor runs.
void expectPlainPairs(const SharedPage& page, std::int32_t side, std::int32_t halfWidth, std::mt19937& random) {
  expectPlainPairsOf(BlockPairStrip(BlockPairStrip::Width::kNarrow), page, side, halfWidth, random);
  if (BlockPairStrip::wideRuns()) {
    SCOPED_TRACE("wide strip");
    expectPlainPairsOf(BlockPairStrip(BlockPairStrip::Width::kWide), page, side, halfWidth, random);
  }
}

TEST(BlockPairStrip, GivesThePlainPairOnRandomPages) {
  std::mt19937 random(7);
  // Wider and narrower than a strip and than a block, taller and shorter.
  for (const auto& [width, height] :
       {std::pair{40, 30}, std::pair{17, 9}, std::pair{5, 23}, std::pair{1, 1}, std::pair{70, 12}}) {
    // Every grey: a block's counts are then mostly ones, in long equal runs.
    for (const std::int32_t greys : {2, 5, 60, 256}) {
      GreyImage image(width, height);
      for (std::uint8_t& grey : image.pixels) {
        grey = static_cast<std::uint8_t>(random() % static_cast<std::uint32_t>(greys) * 255 / (greys - 1));
      }
      const SharedPage page(image);
      expectPlainPairs(page, 10, 20, random);
      expectPlainPairs(page, 15, 7, random);
      expectPlainPairs(page, 1, 300, random);
      expectPlainPairs(page, 10, 0, random);
    }
  }
}

// Counts and pixel totals are kept in bytes: a larger block is refused, every
// time it is asked for, and a block of a side it takes is still counted.
TEST(BlockPairStrip, RefusesABlockTooLargeForItsCounts) {
  GreyImage image(20, 20, 200);
  const SharedPage page(image);
  BlockPairStrip strip;
  EXPECT_EQ(strip.at(page, 3, 3, 10, 20), plainPair(page, 3, 3, 10, 20));
  EXPECT_THROW(strip.at(page, 3, 3, 16, 20), std::invalid_argument);
  EXPECT_THROW(strip.at(page, 3, 3, 16, 20), std::invalid_argument);
  EXPECT_EQ(strip.at(page, 3, 3, 15, 20), plainPair(page, 3, 3, 15, 20));
}

TEST(BlockPairStrip, GivesThePlainPairOnScannedCrops) {
  const std::filesystem::path crops = std::filesystem::path(GLIMMER_SOURCE_DIR) / ".." / "shared" / "pages" / "crops";
  std::mt19937 random(5);
  std::int32_t pages = 0;
  for (const char* name : {"printed-clean_leptonica-lucasta-047.crop.pgm", "printed-stained_dibco2013-pr08.crop.pgm",
                           "handwritten_dibco2011-hw2.crop.pgm"}) {
    const PnmResult read = readPnm((crops / name).string());
    if (!read.image) continue;
    ++pages;
    // A band's columns only: the whole crop costs too long in a debug build.
    GreyImage band(48, read.image->height);
    for (std::int32_t y = 0; y < band.height; ++y) {
      for (std::int32_t x = 0; x < band.width; ++x) band.at(x, y) = read.image->at(x + 150, y);
    }
    expectPlainPairs(SharedPage(band), 10, 20, random);
  }
  if (pages == 0) GTEST_SKIP() << "no crops at " << crops;
}

}  // namespace
}  // namespace glimmer::detail
