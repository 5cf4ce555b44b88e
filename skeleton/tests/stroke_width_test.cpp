#include "skeleton/stroke_width.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "skeleton/tests/golden_runs.h"

namespace glimmer {
namespace {

TEST(ConsistentThickness, CountsWithinAThirdOfTheMeanUntilTheFirstOutlier) {
  EXPECT_EQ(countConsistentThickness(std::vector<float>{5, 5, 6, 5}), 4);
  // Mean 4.24: the first 5 counts, then 1.2 is below 2.5 and ends the walk.
  EXPECT_EQ(countConsistentThickness(std::vector<float>{5, 1.2f, 5, 5, 5}), 1);
  // Mean 6, window [4, 8): the low end counts, the high end does not.
  EXPECT_EQ(countConsistentThickness(std::vector<float>{4, 8, 6, 6}), 3);
  // A value above 35 is counted before it ends the walk.
  EXPECT_EQ(countConsistentThickness(std::vector<float>{36, 36, 36}), 1);
  // A blank character (-1) ends the walk too.
  EXPECT_EQ(countConsistentThickness(std::vector<float>{5, 5, -1, 5, 5}), 2);
  EXPECT_EQ(countConsistentThickness({}), 0);
}

TEST(StrokeWidthTest, EmptyCharacterListVotesForTestsOneAndThreeOnly) {
  const StrokeWidthVerdict verdict = strokeWidthTest(GreyImage(3, 3), {}, 10, RowBox{0, 0, 2, 2}, 0, 0);
  EXPECT_TRUE(verdict.consistentThickness);
  EXPECT_FALSE(verdict.skeletonShorterThanWord);
  EXPECT_TRUE(verdict.fewThinCharacters);
  EXPECT_FALSE(verdict.valid());
  EXPECT_TRUE(verdict.logBlock.empty());
}

// One solid character filling a row box of the given size.
StrokeWidthVerdict solidCharacter(std::int32_t width, std::int32_t height, std::int32_t wordPixels) {
  const CharacterBox box{0, 0, width - 1, height - 1, width - 1};
  return strokeWidthTest(GreyImage(width, height, 0), {&box, 1}, wordPixels, RowBox{0, 0, width - 1, height - 1}, 0, 0);
}

std::string rootcharLine(const std::string& block) {
  const auto start = block.find("\t(rootchar");
  return block.substr(start, block.find('\n', start) - start);
}

TEST(StrokeWidthTest, CharacterIsScaledToSixtyRows) {
  // One pixel high and 5 wide: 300 x 60 of ink in a 302 x 62 frame.
  const StrokeWidthVerdict flat = solidCharacter(5, 1, 1'000'000);
  ASSERT_TRUE(flat.valid());
  EXPECT_NE(rootcharLine(flat.logBlock).find("P1 18000.000000 P2 1000000.000000 P3 18724.000000)"), std::string::npos);
  // 23 / (23 / 60.0) truncates to 59 columns, framed to 61.
  const StrokeWidthVerdict square = solidCharacter(23, 23, 1'000'000);
  ASSERT_TRUE(square.valid());
  EXPECT_NE(rootcharLine(square.logBlock).find("P1 3540.000000 P2 1000000.000000 P3 3782.000000)"), std::string::npos);
}

TEST(StrokeWidthTest, SkeletonNotShorterThanTheWordIsNeverValid) {
  const StrokeWidthVerdict verdict = solidCharacter(5, 10, 1);
  EXPECT_TRUE(verdict.consistentThickness);
  EXPECT_FALSE(verdict.skeletonShorterThanWord);
  EXPECT_FALSE(verdict.valid());
  EXPECT_TRUE(verdict.logBlock.empty());
}

TEST(StrokeWidthTest, CharacterOutsideTheWordIsBlankAndEndsTheWalk) {
  GreyImage working(10, 10);
  for (std::int32_t y = 0; y < 10; ++y) {
    for (std::int32_t x = 0; x < 4; ++x) working.at(x, y) = 0;
  }
  const std::vector<CharacterBox> boxes{{0, 0, 3, 9, 3}, {6, 0, 9, 9, 3}};
  const StrokeWidthVerdict verdict = strokeWidthTest(working, boxes, 1000, RowBox{0, 0, 9, 9}, 0, 0);
  EXPECT_FALSE(verdict.consistentThickness);  // 1 < 0.8 * 2
  EXPECT_TRUE(verdict.skeletonShorterThanWord);
  EXPECT_FALSE(verdict.fewThinCharacters);  // the blank character's -1 counts as thin
}

TEST(ScaleNearest, SamplesTruncatedSourcePositions) {
  GreyImage source(3, 2);
  for (std::int32_t x = 0; x < 3; ++x) {
    source.at(x, 0) = static_cast<std::uint8_t>(x);
    source.at(x, 1) = static_cast<std::uint8_t>(10 + x);
  }
  const GreyImage wide = scaleNearest(source, 7, 1);  // x / (7 / 3.0)
  EXPECT_EQ(wide.pixels, (std::vector<std::uint8_t>{0, 0, 0, 1, 1, 2, 2}));
  const GreyImage small = scaleNearest(source, 2, 2);  // x / (2 / 3.0)
  EXPECT_EQ(small.pixels, (std::vector<std::uint8_t>{0, 1, 10, 11}));
  EXPECT_TRUE(scaleNearest(source, 0, 5).pixels.empty());
  EXPECT_EQ(scaleNearest(GreyImage(), 2, 1).pixels, (std::vector<std::uint8_t>{255, 255}));
}

// A valid-word block of a recorded run, with what it says about its input.
struct RecordedWord {
  std::string block;
  std::int32_t seedX = 0, seedY = 0, wordPixels = 0;
  RowBox row;
  std::vector<CharacterBox> boxes;
  std::vector<long> skeletons;
};

std::vector<RecordedWord> recordedWords(const std::string& scores) {
  std::vector<RecordedWord> words;
  for (std::size_t start = scores.find("(Valid"); start != std::string::npos; start = scores.find("(Valid", start)) {
    const std::size_t end = scores.find("\t)\n)\n", start) + 5;
    RecordedWord word;
    word.block = scores.substr(start, end - start);
    std::istringstream lines(word.block);
    for (std::string line; std::getline(lines, line);) {
      CharacterBox box;
      float pixels = 0;
      long skeleton = 0;
      std::sscanf(line.c_str(), "(Valid x %d y %d", &word.seedX, &word.seedY);
      if (std::sscanf(line.c_str(), "\t(coords X1 %d Y1 %d X2 %d Y2 %d Wi %d", &box.left, &box.top, &box.right,
                      &box.bottom, &box.width) == 5) {
        word.boxes.push_back(box);
      }
      if (std::sscanf(line.c_str(), "\t(rootchar x1 %d y1 %d x2 %d y2 %d x %*d y %*d ScTot %*d Skelly %*d P1 %*f P2 %f",
                      &word.row.left, &word.row.top, &word.row.right, &word.row.bottom, &pixels) == 5) {
        word.wordPixels = static_cast<std::int32_t>(pixels);
      }
      if (std::sscanf(line.c_str(), "(Sk %ld", &skeleton) == 1) word.skeletons.push_back(skeleton);
    }
    words.push_back(std::move(word));
    start = end;
  }
  return words;
}

// The word's pixels are the painted output pixels inside its own characters'
// cells, when other words painted nothing there: their count must equal R.
std::optional<GreyImage> workingImage(const RecordedWord& word, const GreyImage& output) {
  GreyImage working(word.row.right - word.row.left + 1, word.row.bottom - word.row.top + 1);
  for (std::size_t i = 0; i < word.boxes.size(); ++i) {
    if (word.skeletons[i] == 0) continue;
    const CharacterBox& box = word.boxes[i];
    for (std::int32_t y = box.top; y <= box.bottom; ++y) {
      for (std::int32_t x = box.left; x <= box.right; ++x)
        working.at(x - word.row.left, y - word.row.top) = output.at(x, y);
    }
  }
  const auto inked = std::ranges::count_if(working.pixels, [](std::uint8_t v) { return v != 255; });
  if (inked != word.wordPixels) return std::nullopt;
  return working;
}

TEST(StrokeWidthTest, ReproducesRecordedBlocksOfRealWords) {
  const auto runs = golden::runs();
  if (runs.empty()) GTEST_SKIP() << "no recorded runs beside the repository";
  int compared = 0;
  for (const golden::Run& run : runs) {
    const auto output = golden::readGreyBmp(run.outputBmp);
    ASSERT_TRUE(output) << run.outputBmp;
    for (const RecordedWord& word : recordedWords(golden::readText(run.scores))) {
      const auto working = workingImage(word, *output);
      if (!working) continue;
      const StrokeWidthVerdict verdict =
          strokeWidthTest(*working, word.boxes, word.wordPixels, word.row, word.seedX, word.seedY);
      EXPECT_EQ(verdict.logBlock, word.block) << run.scores;
      ++compared;
    }
  }
  EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace glimmer
