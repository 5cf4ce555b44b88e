#include "analysis/detail/text_line.h"

#include <gtest/gtest.h>

#include <vector>

#include "analysis/tests/test_pages.h"

namespace glimmer::detail {
namespace {

using test_support::fillBox;

CharBlob blobAt(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                std::int32_t pixelCount = 1) {
  CharBlob blob;
  blob.left = left;
  blob.top = top;
  blob.right = right;
  blob.bottom = bottom;
  blob.width = right - left;
  blob.height = bottom - top;
  blob.pixelCount = pixelCount;
  return blob;
}

std::vector<std::int32_t> leftEdges(const std::vector<CharBlob>& blobs) {
  std::vector<std::int32_t> lefts;
  for (const CharBlob& b : blobs) lefts.push_back(b.left);
  return lefts;
}

// A white page with characters as solid boxes 6 wide on rows 10 to 19, and a
// scan along row 14 for ink (grey 0) that sits on that band.
class RowScanTest : public ::testing::Test {
 protected:
  RowScanTest() : image(200, 40), scratch(200, 40) {
    scan.endX = image.width - 1;
    scan.y = 14;
    scan.level = 0;
    scan.margin = 60;
    scan.seedTop = 10;
    scan.seedBottom = 19;
    scan.fillLimit = 1000;
    scan.seedHeight = 9;
  }

  void character(std::int32_t left, std::int32_t top = 10, std::int32_t bottom = 19, std::int32_t width = 6) {
    fillBox(image, left, top, left + width - 1, bottom);
  }
  std::vector<CharBlob> scanned() {
    const SharedPage page(image);
    std::vector<CharBlob> blobs;
    band = scanRow(scratch, page, scan, blobs);
    return blobs;
  }

  GreyImage image;
  BandScratch scratch;
  RowScan scan;
  std::optional<TextBand> band;
};

TEST_F(RowScanTest, GapOfThirtyContinuesTheLine) {
  character(10);
  character(20);
  character(55);  // left - previous right = 30
  EXPECT_EQ(leftEdges(scanned()), (std::vector<std::int32_t>{10, 20, 55}));
}

TEST_F(RowScanTest, GapOfThirtyOneEndsTheLineOnceTwoBlobsAreIn) {
  character(10);
  character(20);
  character(56);
  character(70);
  EXPECT_EQ(leftEdges(scanned()), (std::vector<std::int32_t>{10, 20}));
}

TEST_F(RowScanTest, WideGapBeforeTheSecondBlobDoesNotEndTheLine) {
  character(10);
  character(100);
  EXPECT_EQ(leftEdges(scanned()), (std::vector<std::int32_t>{10, 100}));
}

TEST_F(RowScanTest, RejectedBlobsAreRolledBackOutOfTheRegistry) {
  character(10);
  fillBox(image, 40, 14, 60, 14);                                      // a rule on the scanned row, off the seed's band
  for (std::int32_t i = 0; i < 10; ++i) image.at(70 + i, 10 + i) = 0;  // a diagonal: little ink in its box
  fillBox(image, 100, 11, 103, 14);                                    // a small solid speck
  const std::vector<CharBlob> blobs = scanned();
  ASSERT_EQ(leftEdges(blobs), (std::vector<std::int32_t>{10}));
  EXPECT_EQ(scratch.registry.count(), 1);
  EXPECT_TRUE(scratch.visited.allClear());
}

TEST_F(RowScanTest, TallCapitalPassesByItsBottomAndFloatingInkFails) {
  character(10);
  character(20, 2, 19);  // capital: top far above, bottom on the seed's bottom
  character(30, 4, 16);  // bottom 16 = 19 - 3: still near
  character(40, 3, 15);  // neither top nor bottom near
  EXPECT_EQ(leftEdges(scanned()), (std::vector<std::int32_t>{10, 20, 30}));
}

TEST_F(RowScanTest, LastColumnScannedIsTheOneBeforeTheRightEdge) {
  character(10);
  character(198, 10, 19, 1);
  EXPECT_EQ(leftEdges(scanned()), (std::vector<std::int32_t>{10, 198}));

  fillBox(image, 198, 10, 198, 19, 255);
  character(199, 10, 19, 1);
  EXPECT_EQ(leftEdges(scanned()), (std::vector<std::int32_t>{10}));
}

TEST(TextBand, ShortBlobsLeaveTheBandAndTheFirstTallOneSetsIt) {
  TextBand band(10, 19);
  band.take(blobAt(0, 16, 3, 19), 9);  // a dot: height 3 is not above a third of 9
  EXPECT_EQ(band.top(), 10);
  EXPECT_EQ(band.bottom(), 19);

  band.take(blobAt(0, 8, 5, 19), 9);
  EXPECT_EQ(band.top(), 8);
  EXPECT_EQ(band.bottom(), 19);

  // A descender (bottom well below) of another height narrows the band.
  band.take(blobAt(0, 10, 5, 25), 9);
  EXPECT_EQ(band.top(), 10);
  EXPECT_EQ(band.bottom(), 19);

  // Within a tenth of the band's height it replaces the band.
  band.take(blobAt(0, 12, 5, 21), 9);
  EXPECT_EQ(band.top(), 12);
  EXPECT_EQ(band.bottom(), 21);
}

TEST(FindRowFromSeed, ScanStartsAtTheSeedBlobsLeftEdgeOnItsMiddleRowAndSetsTheBand) {
  GreyImage image(80, 30);
  fillBox(image, 10, 10, 13, 19);
  fillBox(image, 20, 10, 23, 19);
  BandScratch scratch(image.width, image.height);
  const SharedPage page(image);
  EXPECT_FALSE(rowScanOfSeed(scratch, page, 5, 5).has_value());

  const std::optional<RowScan> scan = rowScanOfSeed(scratch, page, 12, 10);
  ASSERT_TRUE(scan.has_value());
  EXPECT_EQ(*scan, (RowScan{10, 79, 14, 0, 255 / 4, 10, 19, 8 * 40, 9}));

  std::vector<CharBlob> line;
  findRowFromSeed(scratch, page, *scan, line);
  ASSERT_EQ(leftEdges(line), (std::vector<std::int32_t>{10, 20}));
  for (const CharBlob& blob : line) {
    EXPECT_EQ(blob.baselo, 10);
    EXPECT_EQ(blob.basehi, 19);
  }
}

TEST(LineBlobs, DuplicatesDropLaterCopiesAndTheSortKeepsScanOrderForEqualLefts) {
  std::vector<CharBlob> blobs{blobAt(5, 1, 8, 9, 10), blobAt(3, 1, 4, 9), blobAt(5, 1, 8, 9, 99), blobAt(5, 2, 9, 9)};
  dropDuplicateBlobs(blobs);
  ASSERT_EQ(blobs.size(), 3u);
  EXPECT_EQ(blobs[0].pixelCount, 10);
  sortByLeft(blobs);
  EXPECT_EQ(leftEdges(blobs), (std::vector<std::int32_t>{3, 5, 5}));
  EXPECT_EQ(blobs[1].top, 1);
  EXPECT_EQ(blobs[2].top, 2);
}

TEST(SplitIntoWords, GapsAboveFourCharacterHeightsSplitAndSpanningBlobsJoin) {
  // Heights 10: the first gap limit is 40.
  const std::vector<CharBlob> blobs{blobAt(0, 10, 5, 20, 7),      blobAt(10, 10, 15, 20, 5),
                                    blobAt(55, 12, 60, 19, 3),     // gap 40 from the previous: same word
                                    blobAt(101, 14, 130, 24, 11),  // gap 41: a new word, wider than its neighbours
                                    blobAt(103, 10, 108, 20, 2),  blobAt(112, 11, 118, 19, 4)};
  const std::vector<WordCell> words = splitIntoWords(blobs);
  ASSERT_EQ(words.size(), 2u);

  EXPECT_EQ(words[0].members, (std::vector<std::int32_t>{0, 1, 2}));
  EXPECT_EQ(words[0].left, 0);
  EXPECT_EQ(words[0].right, 60);
  EXPECT_EQ(words[0].top, 10);
  EXPECT_EQ(words[0].bottom, 20);
  EXPECT_EQ(words[0].topLimit, 12);
  EXPECT_EQ(words[0].bottomLimit, 19);
  EXPECT_EQ(words[0].pixelCount, 15);

  // The word ends at the right edge of its last blob in order (118); the wide
  // blob spans it.
  EXPECT_EQ(words[1].members, (std::vector<std::int32_t>{3, 4, 5}));
  EXPECT_EQ(words[1].right, 130);
  EXPECT_EQ(words[1].topLimit, 14);
  EXPECT_EQ(words[1].bottomLimit, 19);
  EXPECT_EQ(words[1].pixelCount, 17);
}

WordCell wordOver(std::int32_t left, std::int32_t right) {
  WordCell word;
  word.left = left;
  word.right = right;
  return word;
}

std::vector<CharacterBox> cellsWith(const std::vector<std::pair<std::int32_t, std::int32_t>>& topsAndBottoms,
                                    std::int32_t width = 8, std::int32_t pitch = 10) {
  std::vector<CharacterBox> cells;
  std::int32_t left = 0;
  for (const auto& [top, bottom] : topsAndBottoms) {
    cells.push_back({left, top, left + width, bottom, width});
    left += pitch;
  }
  return cells;
}

TEST(CountLevels, NeighboursMoreThanTheToleranceApartStartALevel) {
  EXPECT_EQ(countLevels({}, 3), 0);
  EXPECT_EQ(countLevels({13, 10}, 3), 1);
  EXPECT_EQ(countLevels({14, 10}, 3), 2);
  EXPECT_EQ(countLevels({10, 10, 11}, 0), 2);
  EXPECT_EQ(countLevels({1, 4, 7, 10}, 3), 1);
}

TEST(IsTextWord, TopsInThreeLevelsFail) {
  // Heights 20, 15, 10: mean 15, tolerance 3.
  EXPECT_FALSE(isTextWord(cellsWith({{10, 30}, {15, 30}, {20, 30}}), wordOver(0, 100)));
  EXPECT_TRUE(isTextWord(cellsWith({{10, 30}, {10, 30}, {20, 30}}), wordOver(0, 100)));
}

TEST(IsTextWord, BottomsMayTakeThreeLevelsButNotFour) {
  // Heights 20, 30, 40: mean 30, tolerance 7.
  EXPECT_TRUE(isTextWord(cellsWith({{10, 30}, {10, 40}, {10, 50}}), wordOver(0, 100)));
  // Heights 20 to 50: mean 35, tolerance 8.
  EXPECT_FALSE(isTextWord(cellsWith({{10, 30}, {10, 40}, {10, 50}, {10, 60}}), wordOver(0, 100)));
}

TEST(IsTextWord, NeedsTwoCharactersInsideTheWord) {
  const std::vector<CharacterBox> cells = cellsWith({{10, 20}, {10, 20}, {10, 20}});
  EXPECT_FALSE(isTextWord(cells, wordOver(0, 8)));
  EXPECT_FALSE(isTextWord(cells, wordOver(50, 90)));
  EXPECT_TRUE(isTextWord(cells, wordOver(0, 18)));
}

TEST(IsTextWord, TwoCharactersNeedAWidthOfAQuarterOfTheirDistance) {
  // Left edges 0 and 40: the narrower must be at least 10 wide.
  EXPECT_TRUE(isTextWord(cellsWith({{10, 20}, {10, 20}}, 10, 40), wordOver(0, 100)));
  EXPECT_FALSE(isTextWord(cellsWith({{10, 20}, {10, 20}}, 9, 40), wordOver(0, 100)));
}

}  // namespace
}  // namespace glimmer::detail
