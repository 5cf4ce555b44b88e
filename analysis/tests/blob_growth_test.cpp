#include "analysis/detail/blob_growth.h"

#include <gtest/gtest.h>

#include "analysis/tests/test_pages.h"

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

TEST(OverflowMemo, SkipsOnlyGrowthsBesideAnOverflowingStartInsideItsGreyRange) {
  GreyImage image(40, 40);
  test_support::fillBox(image, 0, 0, 24, 24);  // 625 pixels of ink
  VisitedMap visited(40, 40);
  PixelList pixels;
  OverflowMemo memo;
  const auto grow = [&](std::int32_t x, std::int32_t y, std::int32_t target) {
    return memo.grow(SharedPage(image), visited, x, y, target, 80, 400, pixels);
  };
  EXPECT_FALSE(grow(10, 10, 0));
  EXPECT_FALSE(grow(11, 11, 0));
  EXPECT_TRUE(grow(12, 12, 100));  // beside, but towards another grey: the start pixel alone
  // A white start overflows through its ink neighbours; that says nothing
  // about the white pixel beside it.
  EXPECT_FALSE(grow(25, 10, 0));
  EXPECT_TRUE(grow(26, 10, 0));
}

}  // namespace
}  // namespace glimmer::detail
