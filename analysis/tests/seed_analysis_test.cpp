#include "analysis/seed_analysis.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "analysis/tests/test_pages.h"

namespace glimmer {
namespace {

using test_support::drawRing;
using test_support::fillBox;

struct TextSink : LineSink {
  void write(std::string_view line) override { text += line; }
  std::string text;
};

class SeedAnalysisTest : public ::testing::Test {
 protected:
  SeedAnalysisTest() : image(120, 40), bandImage(120, 40), scratch(120, 40), shared(120, 40, scores) {}

  // Analyses every pixel of the inclusive box, column by column, as a band
  // thread walks its columns.
  void analyseBox(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    const SharedPage page(image);
    for (std::int32_t x = left; x <= right; ++x) {
      for (std::int32_t y = top; y <= bottom; ++y) {
        analyseSeed(scratch, page, x, y, bandImage, shared);
        ASSERT_EQ(scratch.registry.count(), 0);
        ASSERT_TRUE(scratch.visited.allClear());
      }
    }
  }
  void analysePage() { analyseBox(0, 0, image.width - 1, image.height - 1); }
  bool bandImageIsWhite() const { return bandImage == GreyImage(image.width, image.height); }

  GreyImage image;
  GreyImage bandImage;
  BandScratch scratch;
  TextSink scores;
  SharedAnalysis shared;
};

TEST_F(SeedAnalysisTest, PlainAreaOfMoreThan400PixelsLeavesEverythingUnchanged) {
  fillBox(image, 10, 5, 39, 34);
  analysePage();
  EXPECT_TRUE(shared.textRows.empty());
  EXPECT_TRUE(shared.letters.empty());
  EXPECT_TRUE(shared.votes.empty());
  EXPECT_TRUE(shared.seedCache.empty());
  EXPECT_TRUE(bandImageIsWhite());
}

// Three rings of grey 150, 12 x 20 pixels, stroke 3: a word that passes the
// word test and the stroke-width test.
class RingWordTest : public SeedAnalysisTest {
 protected:
  RingWordTest() {
    for (std::int32_t i = 0; i < 3; ++i) drawRing(image, left(i), 10, left(i) + 11, 29, 3, 150);
  }
  static std::int32_t left(std::int32_t character) { return 10 + character * 16; }
  void analyseCharacter(std::int32_t character) { analyseBox(left(character), 10, left(character) + 11, 29); }
};

TEST_F(RingWordTest, ValidWordIsRecordedOnceAndPaintedInTextValues) {
  analyseCharacter(0);
  ASSERT_EQ(shared.textRows.size(), 1u);
  EXPECT_EQ(shared.textRows[0], (TextRow{8, 55, 8, 31, 10, 29}));
  ASSERT_EQ(shared.letters.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const LetterBox& letter = shared.letters[i];
    EXPECT_EQ(letter.x, left(static_cast<std::int32_t>(i)));
    EXPECT_EQ(letter.y, 10);
    EXPECT_EQ(letter.width, 12);
    EXPECT_EQ(letter.height, 20);
    EXPECT_EQ(letter.pixelCount, 12 * 20 - 6 * 14);
    EXPECT_EQ(letter.wordNumber, 0);
    EXPECT_EQ(letter.clones, (std::vector<std::pair<std::int32_t, std::int32_t>>{{letter.x, 10}}));
    EXPECT_EQ(letter.baselo, std::vector<std::int32_t>{10});
    EXPECT_EQ(letter.basehi, std::vector<std::int32_t>{29});
  }
  EXPECT_EQ(shared.letterCounter, 1);
  EXPECT_EQ(shared.votes[0], 1);
  EXPECT_EQ(scores.text.rfind("(Valid x ", 0), 0u);

  EXPECT_EQ(bandImage.at(10, 10), 150 - 128);
  EXPECT_EQ(bandImage.at(44, 29), 150 - 128);
  EXPECT_EQ(bandImage.at(15, 20), 255);  // inside a ring
}

TEST_F(RingWordTest, SeedInTheSecondCharacterAddsARowButNoLetters) {
  analyseCharacter(0);
  analyseCharacter(1);
  ASSERT_EQ(shared.textRows.size(), 2u);
  EXPECT_EQ(shared.textRows[1], (TextRow{24, 55, 8, 31, 10, 29}));
  EXPECT_EQ(shared.letters.size(), 3u);
  EXPECT_EQ(shared.letterCounter, 2);

  // From the last character the line holds one character: not a word.
  analyseCharacter(2);
  EXPECT_EQ(shared.textRows.size(), 2u);
  EXPECT_EQ(shared.letterCounter, 2);
}

TEST_F(RingWordTest, LinesAreFollowedAgainOnceThePageHasChanged) {
  analyseCharacter(0);
  fillBox(image, left(2), 10, left(2) + 11, 29, 255);

  // Unannounced, the change goes unseen: the scan was followed already.
  analyseCharacter(0);
  EXPECT_EQ(shared.textRows.size(), 1u);

  shared.pageEdits.fetch_add(1);
  analyseCharacter(0);
  ASSERT_EQ(shared.textRows.size(), 2u);
  EXPECT_EQ(shared.textRows[1], (TextRow{8, 39, 8, 31, 10, 29}));
}

TEST_F(SeedAnalysisTest, WordFailingTheStrokeWidthTestIsRecordedButNotPainted) {
  fillBox(image, 10, 10, 19, 29, 100);      // a solid bar
  drawRing(image, 26, 10, 35, 29, 1, 100);  // beside a thin ring: inconsistent thickness
  analysePage();
  ASSERT_EQ(shared.textRows.size(), 1u);
  EXPECT_EQ(shared.letters.size(), 2u);
  EXPECT_EQ(shared.votes.count(0), 0u);
  EXPECT_TRUE(scores.text.empty());
  EXPECT_TRUE(bandImageIsWhite());
}

TEST_F(SeedAnalysisTest, SecondWordOfALineNeedsASeedOfItsOwn) {
  // Characters 7 high: words split at gaps above 24, the line at gaps above 30.
  for (const std::int32_t left : {10, 17, 48, 55}) fillBox(image, left, 10, left + 4, 16);
  analyseBox(10, 10, 21, 16);
  ASSERT_EQ(shared.textRows.size(), 1u);
  EXPECT_EQ(shared.textRows[0].right, 21 + 2);

  analyseBox(48, 10, 59, 16);
  ASSERT_EQ(shared.textRows.size(), 2u);
  EXPECT_EQ(shared.textRows[1].left, 48 - 2);
  EXPECT_EQ(shared.letters.size(), 4u);
}

}  // namespace
}  // namespace glimmer
