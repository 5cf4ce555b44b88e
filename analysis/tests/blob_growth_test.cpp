#include "analysis/detail/blob_growth.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "analysis/tests/test_pages.h"

namespace glimmer::detail {
namespace {

using test_support::fillBox;

class BlobGrowthTest : public ::testing::Test {
 protected:
  explicit BlobGrowthTest(std::int32_t width = 40, std::int32_t height = 40)
      : image(width, height), visited(width, height) {}

  bool grow(std::int32_t x, std::int32_t y, std::int32_t limit, std::int32_t target = 0, std::int32_t tolerance = 80) {
    const SharedPage page(image);
    return growBlob(page, visited, x, y, target, tolerance, limit, pixels);
  }

  GreyImage image;
  VisitedMap visited;
  PixelList pixels;
};

TEST_F(BlobGrowthTest, StartPixelWithoutMatchingNeighboursIsAOnePixelBlob) {
  image.at(5, 5) = 0;
  ASSERT_TRUE(grow(5, 5, 400));
  EXPECT_EQ(pixels, (PixelList{{5, 5}}));
  EXPECT_TRUE(visited.allClear());
}

TEST_F(BlobGrowthTest, NeighboursAreTakenBreadthFirstClockwiseFromAbove) {
  fillBox(image, 9, 9, 11, 11);
  image.at(10, 12) = 0;  // below the bottom middle, reached from (10, 11) only
  ASSERT_TRUE(grow(10, 10, 400));
  EXPECT_EQ(pixels,
            (PixelList{{10, 10}, {10, 9}, {11, 9}, {11, 10}, {11, 11}, {10, 11}, {9, 11}, {9, 10}, {9, 9}, {10, 12}}));
}

TEST_F(BlobGrowthTest, BlobOfExactlyTheLimitIsReturnedAndOneMoreOverflows) {
  fillBox(image, 0, 0, 19, 19);  // 400 pixels
  ASSERT_TRUE(grow(5, 5, 400));
  EXPECT_EQ(pixels.size(), 400u);
  EXPECT_TRUE(visited.allClear());

  image.at(20, 20) = 0;  // a 401st pixel, touching only at a corner
  EXPECT_FALSE(grow(5, 5, 400));
  EXPECT_TRUE(visited.allClear());
  EXPECT_TRUE(pixels.empty());
}

TEST_F(BlobGrowthTest, StrokesTouchingAtACornerAreOneBlob) {
  fillBox(image, 2, 2, 2, 8);
  fillBox(image, 3, 9, 3, 15);
  ASSERT_TRUE(grow(2, 2, 400));
  EXPECT_EQ(pixels.size(), 14u);
}

TEST_F(BlobGrowthTest, BlobAtThePageCornerStaysOnThePage) {
  fillBox(image, 0, 0, 3, 3);
  fillBox(image, 36, 36, 39, 39);
  ASSERT_TRUE(grow(0, 0, 400));
  EXPECT_EQ(pixels.size(), 16u);
  ASSERT_TRUE(grow(39, 39, 400));
  EXPECT_EQ(pixels.size(), 16u);
  EXPECT_TRUE(visited.allClear());
}

TEST_F(BlobGrowthTest, NeighbourGreyWindowIsOpenBelowAndClosedAbove) {
  // Target 100, tolerance 10: greys 91..110 join.
  image.at(10, 10) = 100;
  image.at(11, 10) = 110;
  image.at(9, 10) = 90;
  image.at(10, 9) = 91;
  image.at(10, 11) = 111;
  ASSERT_TRUE(grow(10, 10, 400, 100, 10));
  std::sort(pixels.begin(), pixels.end(),
            [](PixelPoint a, PixelPoint b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
  EXPECT_EQ(pixels, (PixelList{{10, 9}, {10, 10}, {11, 10}}));
}

TEST_F(BlobGrowthTest, OverflowMemoSkipsOnlyGrowthsBoundToOverflow) {
  fillBox(image, 0, 0, 24, 24);  // 625 pixels of ink
  OverflowMemo memo;
  const SharedPage page(image);
  auto grow = [&](std::int32_t x, std::int32_t y, std::int32_t target) {
    const bool grown = memo.grow(page, visited, x, y, target, 80, 400, pixels);
    EXPECT_TRUE(visited.allClear());
    return grown;
  };

  EXPECT_FALSE(grow(10, 10, 0));
  EXPECT_FALSE(grow(10, 11, 0));
  EXPECT_FALSE(grow(11, 12, 0));
  EXPECT_TRUE(pixels.empty());
  EXPECT_TRUE(grow(12, 12, 100));  // beside, but grown towards another grey

  // A start outside its own grey range that overflows through its neighbours
  // says nothing about the pixels beside it.
  EXPECT_FALSE(grow(25, 10, 0));
  EXPECT_TRUE(grow(26, 10, 0));
  EXPECT_EQ(pixels, (PixelList{{26, 10}}));
}

}  // namespace
}  // namespace glimmer::detail
