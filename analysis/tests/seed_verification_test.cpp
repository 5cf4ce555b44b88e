#include "analysis/detail/seed_verification.h"

#include <gtest/gtest.h>

#include "analysis/tests/test_pages.h"

namespace glimmer::detail {
namespace {

TEST(VerifySeed, NeedsAHeightAbove3AndAtMost400Pixels) {
  struct Case {
    std::int32_t right;
    std::int32_t bottom;
    bool cornerPixel;  // one more pixel, touching the box's lower right corner
    bool seed;
  };
  const Case cases[] = {{13, 8, false, false}, {13, 9, false, true}, {29, 24, false, true}, {29, 24, true, false}};
  for (const Case& c : cases) {
    GreyImage image(60, 40);
    test_support::fillBox(image, 10, 5, c.right, c.bottom);
    if (c.cornerPixel) image.at(c.right + 1, c.bottom + 1) = 0;
    BandScratch scratch(image.width, image.height);
    EXPECT_EQ(verifySeed(scratch, SharedPage(image), 10, 5).has_value(), c.seed) << c.right << " " << c.bottom;
    EXPECT_TRUE(scratch.visited.allClear());
  }
}

}  // namespace
}  // namespace glimmer::detail
