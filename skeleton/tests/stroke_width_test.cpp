#include "skeleton/stroke_width.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
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
  StrokeWidthScratch scratch;
  CharacterCountsMemo counts;
  const StrokeWidthVerdict verdict = strokeWidthTest(GreyImage(width, height, 0), {&box, 1}, 1'000'000,
                                                     RowBox{0, 0, width - 1, height - 1}, 0, 0, scratch, counts);
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

// A word of one character, `columns` wide from `left` of the working image
// (possibly reaching past its edges), large enough that a character with a
// skeleton is valid and logs its counts.
StrokeWidthVerdict testCharacter(const GreyImage& working, std::int32_t left, std::int32_t columns,
                                 StrokeWidthScratch& scratch, CharacterCountsMemo& counts) {
  const CharacterBox box{left, 0, left + columns - 1, working.height - 1, columns - 1};
  return strokeWidthTest(working, {&box, 1}, 1'000'000, RowBox{0, 0, working.width - 1, working.height - 1}, 0, 0,
                         scratch, counts);
}

// Windows of many widths and offsets, each followed by copies with one pixel
// of ink more or less in every column and by a window one column wider: a
// memo that remembers windows must give what a fresh one gives, remember the
// new ones and look up a window whose ink is unchanged.
TEST(StrokeWidthTest, AMemoUsedBeforeMeasuresLikeAFreshOne) {
  std::mt19937 random(3);
  StrokeWidthScratch scratch;
  CharacterCountsMemo shared;
  const std::uint8_t inks[] = {0, 1, 127, 128, 129, 254};
  for (int round = 0; round < 30; ++round) {
    // The first rounds start 1 to 10 columns left of wide images: every offset
    // of eight pixels read at once against the words of bits.
    const bool wideFromTheLeft = round < 10;
    const auto width = static_cast<std::int32_t>(wideFromTheLeft ? 70 + 8 * round : 1 + random() % 150);
    const auto height = static_cast<std::int32_t>(1 + random() % 60);
    const auto left =
        wideFromTheLeft ? -1 - round : static_cast<std::int32_t>(random() % static_cast<unsigned>(width + 10)) - 10;
    const auto columns = static_cast<std::int32_t>(1 + random() % static_cast<unsigned>(width - left + 12));
    std::bernoulli_distribution inked(0.2 + 0.1 * (round % 6));
    GreyImage working(width, height);
    for (std::uint8_t& pixel : working.pixels) {
      if (inked(random)) pixel = inks[random() % std::size(inks)];
    }
    auto measuresLikeAFreshMemo = [&](const GreyImage& image, std::int32_t windowColumns) {
      StrokeWidthScratch freshScratch;
      CharacterCountsMemo fresh;
      const StrokeWidthVerdict expected = testCharacter(image, left, windowColumns, freshScratch, fresh);
      const StrokeWidthVerdict actual = testCharacter(image, left, windowColumns, scratch, shared);
      EXPECT_EQ(actual.logBlock, expected.logBlock) << "round " << round;
      EXPECT_EQ(actual.consistentThickness, expected.consistentThickness) << "round " << round;
      EXPECT_EQ(actual.skeletonShorterThanWord, expected.skeletonShorterThanWord) << "round " << round;
      EXPECT_EQ(actual.fewThinCharacters, expected.fewThinCharacters) << "round " << round;
    };
    const std::size_t rememberedBefore = shared.size();
    measuresLikeAFreshMemo(working, columns);
    for (std::int32_t x = std::max(left, 0); x < std::min(left + columns, width); ++x) {
      GreyImage changed = working;
      std::uint8_t& pixel = changed.at(x, static_cast<std::int32_t>(random() % static_cast<unsigned>(height)));
      pixel = pixel == 255 ? inks[random() % std::size(inks)] : 255;
      measuresLikeAFreshMemo(changed, columns);
    }
    measuresLikeAFreshMemo(working, columns + 1);
    const std::size_t remembered = shared.size();
    EXPECT_GT(remembered, rememberedBefore) << "round " << round;
    GreyImage regreyed = working;
    for (std::uint8_t& pixel : regreyed.pixels) {
      if (pixel != 255) pixel = inks[random() % std::size(inks)];
    }
    measuresLikeAFreshMemo(regreyed, columns);
    EXPECT_EQ(shared.size(), remembered) << "round " << round;
  }
}

// Two bands may measure one window at once; the second to remember it adds nothing.
TEST(StrokeWidthTest, AMemoHoldsAWindowOnce) {
  CharacterCountsMemo memo;
  const WindowInk window{70, 2, {0b1011, 1, 0}};
  EXPECT_FALSE(memo.find(window).has_value());
  memo.remember(window, {4, 2});
  memo.remember(window, {4, 2});
  EXPECT_EQ(memo.size(), 1u);
  EXPECT_EQ(memo.rememberedWords(), 3u);
  ASSERT_TRUE(memo.find(window).has_value());
  EXPECT_EQ(memo.find(window)->skeleton, 2);
}

// A memo about to pass its limit starts afresh, and goes on giving what a
// fresh memo gives.
TEST(StrokeWidthTest, AFullMemoStartsAfresh) {
  std::mt19937 random(5);
  StrokeWidthScratch scratch;
  CharacterCountsMemo shared(100);
  bool startedAfresh = false;
  for (int round = 0; round < 60; ++round) {
    GreyImage working(static_cast<std::int32_t>(1 + random() % 64), static_cast<std::int32_t>(1 + random() % 60));
    for (std::uint8_t& pixel : working.pixels) pixel = random() % 2 == 0 ? 0 : 255;
    CharacterCountsMemo fresh;
    const std::size_t before = shared.size();
    const std::size_t wordsBefore = shared.rememberedWords();
    EXPECT_EQ(testCharacter(working, 0, working.width, scratch, shared).logBlock,
              testCharacter(working, 0, working.width, scratch, fresh).logBlock);
    const bool afresh = shared.size() <= before;
    startedAfresh = startedAfresh || afresh;
    // A new window of ceil(width * height / 64) words came in, onto what was
    // held or onto nothing; one without ink is not measured.
    const bool inked = std::ranges::any_of(working.pixels, [](std::uint8_t p) { return p != 255; });
    const auto windowWords = inked ? static_cast<std::size_t>((working.width * working.height + 63) / 64) : 0;
    EXPECT_EQ(shared.rememberedWords(), (afresh ? 0 : wordsBefore) + windowWords) << "round " << round;
    EXPECT_LE(shared.rememberedWords(), shared.wordLimit());
    EXPECT_GT(shared.size(), 0u);
  }
  EXPECT_TRUE(startedAfresh);
}

}  // namespace
}  // namespace glimmer
