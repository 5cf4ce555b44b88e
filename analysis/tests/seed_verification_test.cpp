#include "analysis/detail/seed_verification.h"

#include <gtest/gtest.h>

#include <vector>

#include "analysis/tests/test_pages.h"

namespace glimmer::detail {
namespace {

using test_support::fillBox;

class SeedTest : public ::testing::Test {
 protected:
  SeedTest() : image(60, 40), scratch(60, 40) {}

  std::optional<CharBlob> seedAt(std::int32_t x, std::int32_t y) {
    const SharedPage page(image);
    return verifySeed(scratch, page, x, y);
  }
  TextLevel levelIn(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, bool darkText) {
    const SharedPage page(image);
    return estimateTextLevel(scratch, page, left, top, right, bottom, darkText);
  }

  GreyImage image;
  BandScratch scratch;
};

TEST_F(SeedTest, CompactDarkBlobIsMeasured) {
  image = GreyImage(60, 40, 230);
  fillBox(image, 20, 10, 23, 17, 20);
  image.at(22, 15) = 10;
  const std::optional<CharBlob> seed = seedAt(20, 10);
  ASSERT_TRUE(seed.has_value());
  EXPECT_EQ(seed->left, 20);
  EXPECT_EQ(seed->top, 10);
  EXPECT_EQ(seed->right, 23);
  EXPECT_EQ(seed->bottom, 17);
  EXPECT_EQ(seed->width, 3);
  EXPECT_EQ(seed->height, 7);
  EXPECT_EQ(seed->pixelCount, 32);
  EXPECT_EQ(seed->textColour, 10);
  EXPECT_EQ(seed->backgroundColour, 230);
  EXPECT_TRUE(seed->darkText);
  EXPECT_EQ(scratch.registry.count(), 1);
  EXPECT_EQ(scratch.registry.pixels(seed->blobIndex).size(), 32u);
  EXPECT_TRUE(scratch.visited.allClear());
}

TEST_F(SeedTest, LightTextOnDarkTakesTheLightestGrey) {
  image = GreyImage(60, 40, 20);
  fillBox(image, 20, 10, 23, 17, 230);
  image.at(21, 12) = 240;
  const std::optional<CharBlob> seed = seedAt(20, 10);
  ASSERT_TRUE(seed.has_value());
  EXPECT_EQ(seed->textColour, 240);
  EXPECT_EQ(seed->backgroundColour, 20);
  EXPECT_FALSE(seed->darkText);
}

TEST_F(SeedTest, TwoPixelRuleIsNeverASeed) {
  fillBox(image, 5, 20, 54, 21);
  EXPECT_FALSE(seedAt(5, 20).has_value());
  EXPECT_EQ(scratch.registry.count(), 1);  // grown, rejected by its height, kept until the analysis ends
  scratch.registry.releaseAll();
  for (std::int32_t x = 0; x < image.width; ++x) {
    for (std::int32_t y = 0; y < image.height; ++y) {
      EXPECT_FALSE(seedAt(x, y).has_value()) << x << "," << y;
      scratch.registry.releaseAll();
    }
  }
}

TEST_F(SeedTest, BlobOf401PixelsOverflowsThoughItsHeightWouldPass) {
  fillBox(image, 10, 5, 29, 24);  // 400 pixels
  EXPECT_TRUE(seedAt(10, 5).has_value());
  scratch.registry.releaseAll();

  image.at(30, 10) = 0;
  EXPECT_FALSE(seedAt(10, 5).has_value());
  EXPECT_EQ(scratch.registry.count(), 0);
  EXPECT_TRUE(scratch.visited.allClear());
}

TEST_F(SeedTest, TextLevelIsTheExtremeGreyOfTheTextCluster) {
  // Left half dark ink (20), right half light greys (200 and 230).
  fillBox(image, 0, 0, 4, 9, 20);
  fillBox(image, 5, 0, 9, 4, 200);
  fillBox(image, 5, 5, 9, 9, 230);
  EXPECT_EQ(levelIn(0, 0, 10, 10, true), (TextLevel{0, 20}));
  EXPECT_EQ(levelIn(0, 0, 10, 10, false), (TextLevel{30, 230}));
}

TEST_F(SeedTest, BoxWithoutTwoPixelsHasNoLevel) {
  EXPECT_EQ(levelIn(5, 5, 5, 20, true), (TextLevel{0, -1}));
  EXPECT_EQ(levelIn(5, 5, 6, 6, true), (TextLevel{0, -1}));
}

TEST(KMeans, SplitsTwoGroupsFromCentresAtTheFirstAndMiddleValue) {
  std::vector<std::int32_t> labels;
  kMeans(std::vector<std::int32_t>{1, 2, 3, 10, 11, 12}, 2, 0.1, labels);
  EXPECT_EQ(labels, (std::vector<std::int32_t>{0, 0, 0, 1, 1, 1}));
}

TEST(KMeans, EqualDistancesGoToTheLowerCentreAndAnEmptyCentreMovesToZero) {
  // Both centres start at 100, so every value joins cluster 0; cluster 1 is
  // then empty and its centre becomes 0, which keeps it empty.
  std::vector<std::int32_t> labels;
  kMeans(std::vector<std::int32_t>{100, 100, 100, 100, 100, 250, 250}, 2, 0.1, labels);
  EXPECT_EQ(labels, (std::vector<std::int32_t>(7, 0)));
}

}  // namespace
}  // namespace glimmer::detail
