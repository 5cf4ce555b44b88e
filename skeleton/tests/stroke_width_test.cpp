#include "skeleton/stroke_width.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace glimmer {
namespace {

TEST(ConsistentThickness, CountsWithinAThirdOfTheMeanUntilTheFirstOutlier) {
  struct Case {
    std::vector<float> thickness;
    std::int32_t consistent;
  };
  const Case cases[] = {
      {{5, 5, 6, 5}, 4},
      {{4, 8, 6, 6}, 3},        // mean 6: 4 is inside, 8 is not
      {{5, 1.2f, 5, 5, 5}, 1},  // below 2.5 ends the walk
      {{36, 36, 36}, 1},        // above 35 counts, then ends the walk
      {{5, 5, -1, 5, 5}, 2},    // so does a blank character
      {{}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(countConsistentThickness(c.thickness), c.consistent);
}

// The rootchar line of the block for one solid character filling its row box,
// in a word large enough to be valid.
std::string rootcharOfSolidCharacter(std::int32_t width, std::int32_t height) {
  const CharacterBox box{0, 0, width - 1, height - 1, width - 1};
  const StrokeWidthVerdict verdict =
      strokeWidthTest(GreyImage(width, height, 0), {&box, 1}, 1'000'000, RowBox{0, 0, width - 1, height - 1}, 0, 0);
  const auto start = verdict.logBlock.find("\t(rootchar");
  return start == std::string::npos ? "" : verdict.logBlock.substr(start, verdict.logBlock.find('\n', start) - start);
}

TEST(StrokeWidthTest, ScalesCharactersToSixtyRowsAndTruncatesTheirWidths) {
  using ::testing::HasSubstr;
  // 5 x 1: 300 x 60 of ink in a 302 x 62 frame.
  EXPECT_THAT(rootcharOfSolidCharacter(5, 1), HasSubstr("P1 18000.000000 P2 1000000.000000 P3 18724.000000)"));
  // 23 / (23 / 60.0) truncates to 59 columns, framed to 61.
  EXPECT_THAT(rootcharOfSolidCharacter(23, 23), HasSubstr("P1 3540.000000 P2 1000000.000000 P3 3782.000000)"));
}

}  // namespace
}  // namespace glimmer
