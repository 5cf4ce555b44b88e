#include "analysis/detail/blob_growth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <utility>

#include "analysis/detail/colour_split.h"
#include "analysis/tests/test_pages.h"
#include "common/tolerance.h"

namespace glimmer::detail {
namespace {

TEST(GrowBlob, NeighbourGreyWindowIsOpenBelowAndClosedAbove) {
  // Target 100, tolerance 10: greys 91 to 110 join.
  GreyImage image(5, 5);
  image.at(2, 2) = 100;
  image.at(2, 1) = 91;
  image.at(3, 2) = 110;
  image.at(2, 3) = 111;
  image.at(1, 2) = 90;
  VisitedMap visited(5, 5);
  PixelList pixels;
  ASSERT_TRUE(growBlob(SharedPage(image), visited, 2, 2, 100, 10, 400, pixels));
  EXPECT_EQ(pixels, (PixelList{{2, 2}, {2, 1}, {3, 2}}));
  EXPECT_TRUE(visited.allClear());
}

// A page of blotches of `greys` distinct greys spread over 0..255, so that
// areas are larger than a pixel.
GreyImage blotchedPage(std::mt19937& random, std::int32_t width, std::int32_t height, std::int32_t greys,
                       std::int32_t blotches) {
  GreyImage image(width, height);
  for (std::int32_t i = 0; i < blotches; ++i) {
    const auto x = static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(width));
    const auto y = static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(height));
    const auto grey = static_cast<std::uint8_t>(random() % greys * (255 / std::max(greys - 1, 1)));
    test_support::fillBox(image, x, y, std::min(x + 3, width - 1), std::min(y + 2, height - 1), grey);
  }
  return image;
}

// Asks the memo about every start of column x, top down, towards the target
// grey targetAt(y) gives, if any, and checks each answer against a growth.
// Returns how many the memo answered without growing.
template <typename TargetAt>
std::int32_t checkSeedColumnTowards(const SharedPage& page, SeedGrowthMemo& memo, std::int32_t x,
                                    std::int32_t tolerance, std::int32_t limit, TargetAt targetAt) {
  VisitedMap visited(page.width(), page.height());
  PixelList memoPixels;
  PixelList pixels;
  std::int32_t hits = 0;
  for (std::int32_t y = 0; y < page.height(); ++y) {
    const std::optional<std::int32_t> asked = targetAt(y);
    if (!asked) continue;
    const std::int32_t target = *asked;
    const bool grown = growBlob(page, visited, x, y, target, tolerance, limit, pixels);
    const std::optional<BlobExtent> expected = grown ? std::optional(extentOf(page, pixels)) : std::nullopt;
    memoPixels.clear();
    EXPECT_EQ(memo.grow(page, visited, x, y, page.at(x, y), target, tolerance, limit, memoPixels), expected)
        << "start " << x << "," << y << " target " << target;
    EXPECT_TRUE(visited.allClear());
    if (memoPixels.empty()) ++hits;
  }
  return hits;
}

// The same with the target grey moving at random around the start's grey.
std::int32_t checkSeedColumn(std::mt19937& random, const SharedPage& page, SeedGrowthMemo& memo, std::int32_t x,
                             std::int32_t tolerance, std::int32_t limit) {
  return checkSeedColumnTowards(page, memo, x, tolerance, limit, [&](std::int32_t y) {
    return std::optional(std::clamp(page.at(x, y) + static_cast<std::int32_t>(random() % 21) - 10, 0, 255));
  });
}

// A crop of a scanned page from ../shared/pages/crops, or nothing when absent.
std::optional<GreyImage> readCrop(const std::string& name) {
  std::ifstream in(std::string(GLIMMER_SOURCE_DIR) + "/../shared/pages/crops/" + name, std::ios::binary);
  std::string magic;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t maxGrey = 0;
  in >> magic >> width >> height >> maxGrey;
  in.get();
  if (!in || magic != "P5") return std::nullopt;
  GreyImage image(width, height);
  in.read(reinterpret_cast<char*>(image.pixels.data()), static_cast<std::streamsize>(image.pixels.size()));
  if (!in) return std::nullopt;
  return image;
}

// The memo must answer exactly as a growth would, start after start in the
// band's column-major order, while the target grey moves from start to start.
TEST(SeedGrowthMemo, AnswersEveryStartAsAGrowthWould) {
  std::mt19937 random(7);
  struct Page {
    std::int32_t greys;
    std::int32_t tolerance;
    std::int32_t limit;
  };
  for (const Page kind : {Page{256, 80, 400}, Page{6, 80, 400}, Page{3, 40, 30}, Page{12, 20, 12}}) {
    const GreyImage image = blotchedPage(random, 48, 40, kind.greys, 160);
    const SharedPage page(image);
    SeedGrowthMemo memo(8, 40, 40);
    std::int32_t hits = 0;
    for (std::int32_t x = 8; x < 40; ++x) {
      if (x == 24) memo.forget();
      hits += checkSeedColumn(random, page, memo, x, kind.tolerance, kind.limit);
    }
    EXPECT_GT(hits, 0) << "greys " << kind.greys;
  }
}

// A scanned page: the memo must answer every start of a band of its columns
// as a growth would, with the seed test's tolerance and limit.
TEST(SeedGrowthMemo, AnswersAScannedPageAsAGrowthWould) {
  const std::optional<GreyImage> image = readCrop("printed-dark-bg_leptonica-1555-007.crop.pgm");
  if (!image) GTEST_SKIP() << "no page crops";
  const SharedPage page(*image);
  std::mt19937 random(3);
  SeedGrowthMemo memo(100, 140, page.height());
  std::int32_t hits = 0;
  for (std::int32_t x = 100; x < 140; ++x) hits += checkSeedColumn(random, page, memo, x, 80, 400);
  EXPECT_GT(hits, 0);
}

// The seed test's own targets: the text grey of the block at each start, for
// the starts near enough to it. A start on a character's edge often lies
// outside the greys of the area beside it, which the memo must not take for
// a pixel of that area.
TEST(SeedGrowthMemo, AnswersTheSeedTestsTargetsAsAGrowthWould) {
  for (const char* name : {"printed-dark-bg_leptonica-1555-007.crop.pgm", "handwritten_dibco2011-hw2.crop.pgm"}) {
    const std::optional<GreyImage> image = readCrop(name);
    if (!image) GTEST_SKIP() << "no page crops";
    const SharedPage page(*image);
    SeedGrowthMemo memo(60, 160, page.height());
    BlockPairStrip pairs;
    std::int32_t hits = 0;
    for (std::int32_t x = 60; x < 160; ++x) {
      hits += checkSeedColumnTowards(page, memo, x, 80, 400, [&](std::int32_t y) -> std::optional<std::int32_t> {
        const PixelPair at = pairs.at(page, x, y, 10, 20);
        if (!withinTolerance(at.grey, at.pair.text, 80)) return std::nullopt;
        return at.pair.text;
      });
    }
    EXPECT_GT(hits, 0) << name;
  }
}

// A pixel proven to overflow by the area beside it, or by the start above it,
// counts as a pixel of that area only when its grey lies within the area's:
// here it does not, so a later growth that leaves it out must not be taken
// for one that reaches the area.
TEST(SeedGrowthMemo, TakesAPixelProvenToOverflowForTheAreaOnlyWithinTheAreasGreys) {
  struct Case {
    std::uint8_t area, edge, apart;  // the large area, the pixel beside it, the rest
    std::int32_t areaTarget, edgeTarget, pastTarget;
  };
  // Greys 205 (area), 150 (edge), 0; then greys 55, 100, 255: the edge lies
  // below the area's greys in one, above them in the other. The area is asked
  // about right above the edge (the edge is proven by the start above it) or
  // a row higher (by the area pixel beside it); either way the pixel past the
  // edge must not be taken for a pixel of the area.
  for (const Case c : {Case{205, 150, 0, 205, 140, 230}, Case{55, 100, 255, 55, 60, 19}}) {
    for (const std::int32_t areaRow : {19, 18}) {
      GreyImage image(30, 30, c.apart);
      test_support::fillBox(image, 0, 0, 29, 19, c.area);
      image.at(10, 20) = c.edge;
      image.at(10, 21) = c.area;  // touches the area only through the edge pixel
      const SharedPage page(image);
      SeedGrowthMemo memo(0, 30, 30);
      VisitedMap visited(30, 30);
      PixelList pixels;
      PixelList grown;
      for (const auto& [y, target] : {std::pair{areaRow, c.areaTarget}, {20, c.edgeTarget}, {21, c.pastTarget}}) {
        const std::optional<BlobExtent> expected = growBlob(page, visited, 10, y, target, 80, 400, grown)
                                                       ? std::optional(extentOf(page, grown))
                                                       : std::nullopt;
        EXPECT_EQ(memo.grow(page, visited, 10, y, page.at(10, y), target, 80, 400, pixels), expected)
            << "row " << y << " after row " << areaRow;
      }
    }
  }
}

// Only a start right below the last one asked about lies beside it: a start
// a row lower in another column is grown on its own.
TEST(SeedGrowthMemo, TakesTheLastStartsAreaOnlyForTheStartBelowIt) {
  GreyImage image(30, 30, 0);
  test_support::fillBox(image, 0, 0, 14, 19, 205);
  image.at(25, 20) = 205;  // alone, far from the area
  const SharedPage page(image);
  SeedGrowthMemo memo(0, 30, 30);
  VisitedMap visited(30, 30);
  PixelList pixels;
  EXPECT_EQ(memo.grow(page, visited, 10, 19, 205, 205, 80, 100, pixels), std::nullopt);
  const std::optional<BlobExtent> alone = memo.grow(page, visited, 25, 20, 205, 205, 80, 100, pixels);
  ASSERT_TRUE(alone.has_value());
  EXPECT_EQ(alone->pixelCount, 1);
}

// A band wider than the columns the memo holds: the entries of a column it
// let go must not answer for the column that takes its place, nor may an
// earlier column asked again be answered from a later one's entries.
TEST(SeedGrowthMemo, StaysExactPastTheColumnsItHolds) {
  std::mt19937 random(5);
  const GreyImage image = blotchedPage(random, 1200, 6, 3, 1200);
  const SharedPage page(image);
  SeedGrowthMemo memo(0, 1200, 6);
  std::int32_t hits = 0;
  for (std::int32_t x = 0; x < 1200; ++x) hits += checkSeedColumn(random, page, memo, x, 40, 30);
  for (std::int32_t x = 0; x < 1200; x += 7) checkSeedColumn(random, page, memo, x, 40, 30);
  EXPECT_GT(hits, 0);
}

// Whether the lists hold the same pixels of the page, each once, in whatever
// order a growth, or a memory of one, lists them.
bool samePixels(const PixelList& a, const PixelList& b, const SharedPage& page) {
  std::vector<std::uint8_t> in(static_cast<std::size_t>(page.width()) * static_cast<std::size_t>(page.height()));
  const auto at = [&](PixelPoint p) -> std::uint8_t& { return in[SharedPage::offset(p.x, p.y, page.width())]; };
  for (const PixelPoint p : a) ++at(p);
  return a.size() == b.size() && std::ranges::all_of(b, [&](PixelPoint p) { return at(p)-- == 1; });
}

// Row scans along random rows of random pages, with the target, tolerance and
// limit moving from scan to scan: the memo must give the extent a growth
// gives, and the same pixels with the start first when it recalls them, also
// when it remembers only the columns right of some column.

TEST(ScanGrowthMemo, AnswersEveryScanGrowthAsAGrowthWould) {
  std::mt19937 random(11);
  struct Page {
    std::int32_t greys;
    std::int32_t firstColumn;  // the first the memo remembers
  };
  for (const auto [greys, firstColumn] : {Page{256, 0}, Page{5, 0}, Page{3, 0}, Page{3, 23}}) {
    GreyImage image(60, 30);
    for (std::int32_t i = 0; i < 300; ++i) {
      const auto x = static_cast<std::int32_t>(random() % 60);
      const auto y = static_cast<std::int32_t>(random() % 30);
      const auto grey = static_cast<std::uint8_t>(random() % greys * (255 / (greys - 1)));
      test_support::fillBox(image, x, y, std::min(x + 2, 59), std::min(y + 3, 29), grey);
    }
    const SharedPage page(image);
    VisitedMap visited(60, 30);
    VisitedMap plainVisited(60, 30);  // the memo leaves proofs in its own
    ScanGrowthMemo memo(60, 30, firstColumn);
    PixelList memoPixels;
    PixelList pixels;
    std::int32_t hits = 0;
    std::int32_t recalls = 0;
    for (std::int32_t scan = 0; scan < 2000; ++scan) {
      const auto y = static_cast<std::int32_t>(random() % 30);
      const auto tolerance = static_cast<std::int32_t>(20 + random() % 60);
      const std::int32_t limit = std::array{11, 12, 40, 90}[random() % 4];  // 12: a blotch alone
      // Half the scans keep one target along the row, as a line's text level does.
      const std::optional<std::int32_t> level =
          random() % 2 == 0 ? std::optional(static_cast<std::int32_t>(random() % 256)) : std::nullopt;
      for (std::int32_t x = 0; x < 60; x += 1 + static_cast<std::int32_t>(random() % 3)) {
        const std::int32_t target =
            level.value_or(std::clamp(page.at(x, y) + static_cast<std::int32_t>(random() % 41) - 20, 0, 255));
        const bool grown = growBlob(page, plainVisited, x, y, target, tolerance, limit, pixels);
        memoPixels.clear();
        const std::optional<BlobExtent> extent = memo.grow(page, visited, x, y, target, tolerance, limit, memoPixels);
        ASSERT_EQ(extent.has_value(), grown) << x << "," << y;
        if (!grown) {
          ASSERT_FALSE(memo.recall(page, x, y, target, tolerance, limit, memoPixels));
          continue;
        }
        ASSERT_EQ(*extent, extentOf(page, pixels));
        if (memoPixels.empty()) ++hits;  // answered from memory
        if (memo.recall(page, x, y, target, tolerance, limit, memoPixels)) {
          ++recalls;
          ASSERT_EQ(memoPixels.front(), (PixelPoint{x, y}));
          ASSERT_TRUE(samePixels(memoPixels, pixels, page)) << x << "," << y;
        }
      }
      visited.clearProven();
      ASSERT_TRUE(visited.allClear());
    }
    EXPECT_GT(hits, 0) << "greys " << greys;
    EXPECT_GT(recalls, 0) << "greys " << greys;
  }
}

// Proofs hold for the area and the limit of the growth that left them. A
// start outside the range overflows through the large area beside it, but the
// small area on its other side meets the large one only through the start: a
// growth from the small area must still find it whole. And a proof that the
// large area holds more than 40 pixels says nothing to a scan allowing 200.
TEST(ScanGrowthMemo, ProvesOnlyTheAreaAndTheLimitOfTheGrowth) {
  GreyImage image(40, 3, 255);
  test_support::fillBox(image, 0, 1, 2, 1, 50);   // small: 3 pixels
  image.at(3, 1) = 200;                           // the start, outside 30 < grey <= 70
  test_support::fillBox(image, 4, 0, 39, 2, 50);  // large: 108 pixels
  const SharedPage page(image);
  VisitedMap visited(page.width(), page.height());
  ScanGrowthMemo memo(page.width(), page.height());
  PixelList pixels;
  EXPECT_FALSE(memo.grow(page, visited, 3, 1, 50, 20, 40, pixels).has_value());
  const std::optional<BlobExtent> small = memo.grow(page, visited, 2, 1, 50, 20, 40, pixels);
  ASSERT_TRUE(small.has_value());
  EXPECT_EQ(small->pixelCount, 3);

  EXPECT_FALSE(memo.grow(page, visited, 4, 1, 50, 20, 40, pixels).has_value());
  const std::optional<BlobExtent> large = memo.grow(page, visited, 39, 1, 50, 20, 200, pixels);
  ASSERT_TRUE(large.has_value());
  EXPECT_EQ(large->pixelCount, 108);
  visited.clearProven();
  EXPECT_TRUE(visited.allClear());
}

// An area wider than the 64 columns the memo holds: its pixels must not be
// filed under the later columns that share their slots. Here a bar reaches
// from a tick at column 10 across 120 columns; the lone grey pixel at
// (74, 0), one turn of the ring right of the tick's top, must not be taken
// for it.
TEST(SeedGrowthMemo, FilesNoAreaWiderThanTheColumnsItHolds) {
  GreyImage image(200, 5, 200);
  test_support::fillBox(image, 0, 2, 119, 2, 0);
  test_support::fillBox(image, 10, 0, 10, 2, 0);
  image.at(74, 0) = 30;
  const SharedPage page(image);
  VisitedMap visited(page.width(), page.height());
  SeedGrowthMemo memo(0, 200, 5);
  PixelList pixels;
  EXPECT_FALSE(memo.grow(page, visited, 10, 2, page.at(10, 2), 0, 40, 110, pixels).has_value());
  const std::optional<BlobExtent> lone = memo.grow(page, visited, 74, 0, page.at(74, 0), 0, 40, 110, pixels);
  ASSERT_TRUE(lone.has_value());
  EXPECT_EQ(lone->pixelCount, 1);
}

TEST(ScanGrowthMemo, AnswersFromABlobWhosePixelsWrapAroundItsStore) {
  // Three stripes of half a million pixels: the union of the first two, grown
  // after all three, is kept across the end of the memo's two-million-pixel store.
  GreyImage image(1500, 1000, 255);
  test_support::fillBox(image, 0, 0, 499, 999, 0);
  test_support::fillBox(image, 500, 0, 999, 999, 128);
  const SharedPage page(image);
  VisitedMap visited(page.width(), page.height());
  ScanGrowthMemo memo(page.width(), page.height());
  PixelList pixels;
  PixelList memoPixels;
  constexpr std::int32_t kLimit = 1'200'000;
  for (const auto& [x, target] : {std::pair{0, 0}, std::pair{500, 128}, std::pair{1000, 255}, std::pair{0, 64}}) {
    ASSERT_TRUE(memo.grow(page, visited, x, 0, target, 70, kLimit, memoPixels).has_value());
  }
  std::mt19937 random(5);
  std::int32_t answered = 0;
  for (std::int32_t start = 0; start < 12; ++start) {
    const auto x = static_cast<std::int32_t>(random() % 1000);
    const auto y = static_cast<std::int32_t>(random() % 1000);
    ASSERT_TRUE(growBlob(page, visited, x, y, 64, 70, kLimit, pixels));
    memoPixels.clear();
    ASSERT_EQ(memo.grow(page, visited, x, y, 64, 70, kLimit, memoPixels), extentOf(page, pixels)) << x << "," << y;
    if (memoPixels.empty()) ++answered;
    ASSERT_TRUE(memo.recall(page, x, y, 64, 70, kLimit, memoPixels));
    ASSERT_EQ(memoPixels.front(), (PixelPoint{x, y}));
    ASSERT_TRUE(samePixels(memoPixels, pixels, page)) << x << "," << y;
  }
  EXPECT_EQ(answered, 12);
}

// A growth that leaves the 64 columns grown a row at a time, and holds a kept
// blob, is grown from that blob's pixels: here a small square inside a bar
// 300 columns wide, at a range that takes in the bar. It must find the area a
// growth finds, also once two combs of 1.2 million pixels each have pushed the
// square's pixels out of the memo's two million, when it may no longer use them.
TEST(ScanGrowthMemo, GrowsFromAKeptBlobWithinWhileItsPixelsAreKept) {
  for (const bool pushedOut : {false, true}) {
    GreyImage image(2900, 2000, 255);
    test_support::fillBox(image, 0, 8, 299, 14, 100);
    test_support::fillBox(image, 10, 10, 12, 12, 50);
    for (const std::int32_t left : {400, 1650}) {
      test_support::fillBox(image, left, 20, left + 1199, 20, 0);
      for (std::int32_t x = left; x < left + 1200; x += 2) test_support::fillBox(image, x, 20, x, 1999, 0);
    }
    const SharedPage page(image);
    VisitedMap visited(page.width(), page.height());
    ScanGrowthMemo memo(page.width(), page.height());
    PixelList pixels;
    constexpr std::int32_t kLimit = 1'500'000;
    ASSERT_EQ(memo.grow(page, visited, 11, 11, 0, 70, kLimit, pixels)->pixelCount, 9);
    if (pushedOut) {
      for (const std::int32_t left : {400, 1650}) {
        ASSERT_TRUE(memo.grow(page, visited, left, 500, 0, 70, kLimit, pixels).has_value());
      }
    }
    PixelList expected;
    ASSERT_TRUE(growBlob(page, visited, 11, 11, 40, 70, kLimit, expected));
    ASSERT_EQ(expected.size(), 300u * 7u);
    pixels.clear();
    ASSERT_EQ(memo.grow(page, visited, 11, 11, 40, 70, kLimit, pixels), extentOf(page, expected)) << pushedOut;
    ASSERT_TRUE(memo.recall(page, 11, 11, 40, 70, kLimit, pixels));
    EXPECT_TRUE(samePixels(pixels, expected, page)) << pushedOut;
    EXPECT_TRUE(visited.allClear());
  }
}

// Past 65536 columns a pixel no longer packs into the memo's 32 bits: there
// it must grow every time, and answer as a growth does.
TEST(ScanGrowthMemo, GrowsOnPagesTooWideToRemember) {
  GreyImage image(65600, 3, 255);
  test_support::fillBox(image, 65540, 0, 65544, 2, 0);
  const SharedPage page(image);
  VisitedMap visited(page.width(), page.height());
  ScanGrowthMemo memo(page.width(), page.height());
  PixelList pixels;
  PixelList memoPixels;
  for (std::int32_t x = 65540; x <= 65544; ++x) {
    ASSERT_TRUE(growBlob(page, visited, x, 1, 0, 10, 40, pixels));
    memoPixels.clear();
    ASSERT_TRUE(memo.grow(page, visited, x, 1, 0, 10, 40, memoPixels).has_value());
    // Grown again, in whatever order.
    const auto byPlace = [](PixelPoint a, PixelPoint b) { return std::pair(a.y, a.x) < std::pair(b.y, b.x); };
    std::ranges::sort(memoPixels, byPlace);
    std::ranges::sort(pixels, byPlace);
    EXPECT_EQ(memoPixels, pixels) << x;
  }
}

}  // namespace
}  // namespace glimmer::detail
