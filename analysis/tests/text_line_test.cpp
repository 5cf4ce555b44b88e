#include "analysis/detail/text_line.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "analysis/tests/test_pages.h"

namespace glimmer::detail {
namespace {

struct Glyph {
  std::int32_t left;
  std::int32_t top;
  std::int32_t bottom;
};

// Left edges of the blobs a scan along row 14 accepts on a white page of solid
// glyphs 6 wide, following ink that sits on a seed's rows 10 to 19.
std::vector<std::int32_t> scannedLefts(const std::vector<Glyph>& glyphs) {
  GreyImage image(200, 40);
  for (const Glyph& g : glyphs) test_support::fillBox(image, g.left, g.top, g.left + 5, g.bottom);
  BandScratch scratch(image.width, image.height);
  const RowScan scan{0, image.width - 1, 14, 0, 60, 10, 19, 1000, 9};
  std::vector<CharBlob> blobs;
  scanRow(scratch, SharedPage(image), scan, blobs);
  std::vector<std::int32_t> lefts;
  for (const CharBlob& b : blobs) lefts.push_back(b.left);
  return lefts;
}

TEST(ScanRow, EndsTheLineAtGapsAbove30AndTakesInkNearTheSeedsTopOrBottom) {
  struct Case {
    std::vector<Glyph> glyphs;
    std::vector<std::int32_t> lefts;
  };
  const Case cases[] = {
      {{{10, 10, 19}, {20, 10, 19}, {55, 10, 19}}, {10, 20, 55}},            // gap 30
      {{{10, 10, 19}, {20, 10, 19}, {56, 10, 19}, {70, 10, 19}}, {10, 20}},  // gap 31
      {{{10, 10, 19}, {100, 10, 19}}, {10, 100}},                            // gaps count from the second blob on
      // Tops within [6.7, 13.3) of 10 or bottoms within [16, 22) of 19.
      {{{10, 10, 19}, {20, 2, 19}, {30, 4, 16}, {40, 3, 15}, {50, 14, 22}}, {10, 20, 30}},
  };
  for (const Case& c : cases) EXPECT_EQ(scannedLefts(c.glyphs), c.lefts);
}

TEST(IsTextWord, AllowsTwoTopLevelsAndThreeBottomLevelsAndNeedsTwoWideEnoughCharacters) {
  struct Case {
    std::vector<std::pair<std::int32_t, std::int32_t>> topsAndBottoms;  // of cells `width` wide, `pitch` apart
    std::int32_t width;
    std::int32_t pitch;
    std::int32_t wordLeft;
    std::int32_t wordRight;
    bool text;
  };
  const Case cases[] = {
      {{{10, 30}, {15, 30}, {20, 30}}, 8, 10, 0, 100, false},  // mean height 15: tolerance 3
      {{{10, 30}, {10, 30}, {20, 30}}, 8, 10, 0, 100, true},
      {{{10, 30}, {14, 30}, {18, 30}}, 8, 10, 0, 100, true},  // tolerance 4: tops 4 apart share a level
      {{{10, 30}, {10, 40}, {10, 50}}, 8, 10, 0, 100, true},  // tolerance 7
      {{{10, 30}, {10, 40}, {10, 50}, {10, 60}}, 8, 10, 0, 100, false},
      {{{10, 20}, {10, 20}, {10, 20}}, 8, 10, 0, 18, true},  // cells inside the word only
      {{{10, 20}, {10, 20}, {10, 20}}, 8, 10, 0, 8, false},
      {{{10, 20}, {10, 20}, {10, 20}}, 8, 10, 50, 90, false},
      {{{10, 20}, {10, 20}}, 10, 40, 0, 100, true},  // two need a width of a quarter of their distance
      {{{10, 20}, {10, 20}}, 9, 40, 0, 100, false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    std::vector<CharacterBox> cells;
    for (const auto& [top, bottom] : c.topsAndBottoms) {
      const auto left = static_cast<std::int32_t>(cells.size()) * c.pitch;
      cells.push_back({left, top, left + c.width, bottom, c.width});
    }
    WordCell word;
    word.left = c.wordLeft;
    word.right = c.wordRight;
    EXPECT_EQ(isTextWord(cells, word), c.text) << "case " << i;
  }
}

}  // namespace
}  // namespace glimmer::detail
