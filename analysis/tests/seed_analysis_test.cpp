#include "analysis/seed_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/found_lines.h"
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
  SeedAnalysisTest() : image(120, 40), scratch(120, 40), shared(120, 40, scores) {}

  // Analyses every pixel of the inclusive box, column by column, as a band does.
  void analyseBox(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    for (std::int32_t x = left; x <= right; ++x) {
      for (std::int32_t y = top; y <= bottom; ++y) {
        analyseSeed(scratch, SharedPage(image), x, y, shared);
        ASSERT_EQ(scratch.registry.count(), 0);
        ASSERT_TRUE(scratch.visited.allClear());
      }
    }
  }

  // Three rings of grey 150, 12 x 20, stroke 3: a word that passes the word
  // test and the stroke-width test.
  static std::int32_t ringLeft(std::int32_t ring) { return 10 + ring * 16; }
  void drawRingWord() {
    for (std::int32_t ring = 0; ring < 3; ++ring) drawRing(image, ringLeft(ring), 10, ringLeft(ring) + 11, 29, 3, 150);
  }
  void analyseRing(std::int32_t ring) { analyseBox(ringLeft(ring), 10, ringLeft(ring) + 11, 29); }
  // The page's words on white, as the run writes them.
  GreyImage words() const {
    GreyImage words = image;
    keepTextOnWhite(words, shared.wordPixels);
    return words;
  }

  GreyImage image;
  BandScratch scratch;
  TextSink scores;
  SharedAnalysis shared;
};

TEST_F(SeedAnalysisTest, ValidWordIsRecordedAndPaintedInTextValues) {
  drawRingWord();
  analyseRing(0);
  EXPECT_EQ(shared.textRows, (std::vector<TextRow>{{8, 55, 8, 31, 10, 29}}));
  EXPECT_EQ(shared.letters.size(), 3u);
  EXPECT_EQ(shared.votes[0], 1);
  EXPECT_EQ(scores.text.rfind("(Valid x ", 0), 0u);
  EXPECT_EQ(words().at(10, 10), 150 - 128);
  EXPECT_EQ(words().at(15, 20), 255);  // inside a ring
}

TEST_F(SeedAnalysisTest, SeedInTheSecondCharacterAddsARowButNoLetters) {
  drawRingWord();
  analyseRing(0);
  analyseRing(1);
  ASSERT_EQ(shared.textRows.size(), 2u);
  EXPECT_EQ(shared.textRows[1], (TextRow{24, 55, 8, 31, 10, 29}));
  EXPECT_EQ(shared.letters.size(), 3u);

  analyseRing(2);  // a line of one character: not a word
  EXPECT_EQ(shared.textRows.size(), 2u);
}

TEST_F(SeedAnalysisTest, LineFoundAgainByAnotherBandAddsNoRow) {
  drawRingWord();
  analyseRing(0);
  BandScratch otherBand(image.width, image.height);  // follows the scans again and finds the same line
  for (std::int32_t x = ringLeft(0); x <= ringLeft(0) + 11; ++x) {
    for (std::int32_t y = 10; y <= 29; ++y) analyseSeed(otherBand, SharedPage(image), x, y, shared);
  }
  EXPECT_EQ(shared.textRows.size(), 1u);
  EXPECT_EQ(shared.letters.size(), 3u);
}

TEST_F(SeedAnalysisTest, WordFailingTheStrokeWidthTestIsRecordedButNotPainted) {
  fillBox(image, 10, 10, 19, 29, 100);      // a solid bar
  drawRing(image, 26, 10, 35, 29, 1, 100);  // beside a thin ring: inconsistent thickness
  analyseBox(0, 0, image.width - 1, image.height - 1);
  EXPECT_EQ(shared.textRows.size(), 1u);
  EXPECT_EQ(shared.letters.size(), 2u);
  EXPECT_EQ(shared.votes.count(0), 0u);
  EXPECT_TRUE(scores.text.empty());
  EXPECT_EQ(shared.wordPixels, PixelMask(image.width, image.height));
}

// On a page too wide for the scan memo to remember anything, a judged word's
// characters are grown again: the word is painted as on a narrow page.
TEST_F(SeedAnalysisTest, WordBeyondTheScanMemosReachIsPaintedAsAnyOther) {
  drawRingWord();
  analyseRing(0);
  constexpr std::int32_t kShift = 65500;
  GreyImage wide(kShift + image.width, image.height, 255);
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) wide.at(kShift + x, y) = image.at(x, y);
  }
  BandScratch wideScratch(wide.width, wide.height);
  TextSink wideScores;
  SharedAnalysis wideShared(wide.width, wide.height, wideScores);
  for (std::int32_t x = kShift + ringLeft(0); x <= kShift + ringLeft(0) + 11; ++x) {
    for (std::int32_t y = 10; y <= 29; ++y) analyseSeed(wideScratch, SharedPage(wide), x, y, wideShared);
  }
  ASSERT_EQ(wideShared.letters.size(), shared.letters.size());
  keepTextOnWhite(wide, wideShared.wordPixels);
  const GreyImage words = this->words();
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) ASSERT_EQ(wide.at(kShift + x, y), words.at(x, y)) << x;
  }
}

// A held character keeps its blob: claimed in a letter mask, it claims exactly
// the blob's pixels, and it keeps the start, the count and the box. Blobs
// narrow and wider than 64 columns at every offset to the mask's words, the
// start pixel anywhere in the blob.
TEST(FoundCharacter, ClaimsExactlyItsBlobsPixelsInALetterMask) {
  using detail::PixelPoint;
  std::mt19937 random(17);
  for (int round = 0; round < 200; ++round) {
    const auto width = static_cast<std::int32_t>(1 + random() % (round % 2 == 0 ? 20 : 200));
    const auto height = static_cast<std::int32_t>(1 + random() % 30);
    const auto left = static_cast<std::int32_t>(random() % 1000);
    const auto top = static_cast<std::int32_t>(random() % 1000);
    std::vector<PixelPoint> blob;
    for (std::int32_t y = top; y < top + height; ++y) {
      for (std::int32_t x = left; x < left + width; ++x) {
        if (random() % 3 == 0) blob.push_back({x, y});
      }
    }
    if (blob.empty()) blob.push_back({left, top});
    const std::vector<PixelPoint> inRowOrder = blob;
    std::shuffle(blob.begin(), blob.end(), random);
    const FoundCharacter character(blob);
    EXPECT_EQ(character.start(), blob.front());
    EXPECT_EQ(character.pixelCount(), static_cast<std::int32_t>(blob.size()));
    const auto [least, greatest] = std::ranges::minmax(inRowOrder, {}, [](PixelPoint p) { return p.x; });
    EXPECT_EQ(character.topLeft(), (PixelPoint{least.x, inRowOrder.front().y}));
    EXPECT_EQ(character.bottomRight(), (PixelPoint{greatest.x, inRowOrder.back().y}));

    LetterMask mask(1300, 1100);
    mask.set(character.bitmap());
    auto next = inRowOrder.begin();
    for (std::int32_t y = std::max(top - 1, 0); y <= top + height; ++y) {
      for (std::int32_t x = std::max(left - 1, 0); x <= left + width; ++x) {
        const bool inBlob = next != inRowOrder.end() && *next == PixelPoint{x, y};
        if (inBlob) ++next;
        ASSERT_EQ(mask.isSet(x, y), inBlob) << "round " << round << " at " << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace glimmer
