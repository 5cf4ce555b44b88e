#include "analysis/word_marks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/tests/test_pages.h"

namespace glimmer {
namespace {

using test_support::drawRing;
using test_support::fillBox;

constexpr std::uint8_t kPaper = 230;
constexpr std::uint8_t kInk = 30;
constexpr std::int32_t kMeanLine = 40;  // x-height 12
constexpr std::int32_t kBaseline = 52;

struct Box {
  std::int32_t left, top, right, bottom;
};

// A drawn line of text on paper, the analysis output that kept its letters
// only (and grew some letters through their pale counters), and the records
// of the kept words.
class DrawnLine {
 public:
  DrawnLine() : page(400, 300, kPaper), words(400, 300) {}

  // Ink that the analysis kept as part of a letter.
  void letter(const Box& b, std::uint8_t grey = kInk) {
    fillBox(page, b.left, b.top, b.right, b.bottom, grey);
    fillBox(words, b.left, b.top, b.right, b.bottom, textPixelValue(grey));
  }
  // An o whose counter the analysis painted too.
  void filledO(const Box& b, std::uint8_t counterGrey) {
    for (GreyImage* image : {&page, &words}) {
      drawRing(*image, b.left, b.top, b.right, b.bottom, 3, kInk);
      const std::uint8_t counter = image == &page ? counterGrey : textPixelValue(counterGrey);
      fillBox(*image, b.left + 3, b.top + 3, b.right - 3, b.bottom - 3, counter);
    }
  }
  // Ink that the analysis left out.
  void mark(const Box& b, std::uint8_t grey = kInk) { fillBox(page, b.left, b.top, b.right, b.bottom, grey); }

  void keep(const Box& b, std::int32_t meanLine = kMeanLine, std::int32_t baseline = kBaseline,
            std::uint8_t level = kInk) {
    kept.push_back({b.left, b.top, b.right, b.bottom, meanLine, baseline, level, 50});
  }

  GreyImage refined() const { return withMarksAndCounters(page, words, kept); }

  GreyImage page;
  GreyImage words;
  std::vector<KeptWord> kept;
};

bool allOf(const GreyImage& image, const Box& b, std::uint8_t value) {
  for (std::int32_t y = b.top; y <= b.bottom; ++y) {
    for (std::int32_t x = b.left; x <= b.right; ++x) {
      if (image.at(x, y) != value) return false;
    }
  }
  return true;
}

struct Expectation {
  std::string what;
  Box box;
  std::uint8_t value;  // in every pixel of the box
};

void expectAll(const GreyImage& refined, const std::vector<Expectation>& expectations) {
  for (const Expectation& e : expectations) EXPECT_TRUE(allOf(refined, e.box, e.value)) << e.what;
}

TEST(WordMarksTest, DotsAccentsAndPunctuationComeBackBesideTheirWords) {
  // \u201cij\u201d, \u00e4 - oo. : i and j stems, an a-like block, two o-like blocks.
  DrawnLine line;
  line.letter({30, 40, 32, 52});  // i
  line.letter({38, 40, 40, 56});  // j, descending
  line.keep({30, 40, 40, 56});
  line.letter({60, 40, 69, 52});  // \u00e4
  line.keep({60, 40, 69, 52});
  line.letter({90, 40, 99, 52});
  line.letter({102, 40, 111, 52});
  line.keep({90, 40, 111, 52});

  const std::vector<Expectation> marks = {
      {"i dot", {30, 34, 32, 36}, kInk},           {"j dot", {38, 34, 40, 36}, kInk},
      {"first dot of a", {61, 34, 63, 36}, kInk},  {"second dot of a", {66, 34, 68, 36}, kInk},
      {"opening quote", {24, 32, 25, 36}, kInk},   {"comma", {43, 50, 45, 52}, kInk},
      {"comma tail", {44, 53, 45, 56}, kInk},      {"full stop", {114, 50, 116, 52}, kInk},
      {"closing quote", {119, 32, 120, 36}, kInk}, {"dash between words", {74, 45, 80, 46}, kInk},
  };
  for (const Expectation& m : marks) line.mark(m.box);
  expectAll(line.refined(), marks);
}

TEST(WordMarksTest, WhatIsNoMarkOrLiesFarFromAKeptWordStaysWhite) {
  DrawnLine line;
  line.letter({90, 40, 99, 52});
  line.letter({102, 40, 111, 52});
  line.keep({90, 40, 111, 52});
  line.letter({90, 140, 99, 152}, 200);
  line.letter({102, 140, 111, 152}, 200);
  line.keep({90, 140, 111, 152}, 140, 152, 200);  // paper texture taken for a word: too faint for marks

  const std::vector<Expectation> white = {
      {"speck half a page away", {300, 250, 303, 253}, 255},
      {"letter-sized blob beside the word", {114, 40, 122, 52}, 255},
      {"dot two x-heights above", {95, 14, 97, 16}, 255},
      {"a single pixel", {85, 30, 85, 30}, 255},
      {"stroke reaching far below the word", {118, 55, 120, 80}, 255},
  };
  for (const Expectation& e : white) line.mark(e.box);
  line.mark({95, 34, 97, 36}, 170);    // nearer the paper than the ink
  line.mark({95, 134, 97, 136}, 200);  // the faint word's own grey
  const GreyImage refined = line.refined();
  expectAll(refined, white);
  EXPECT_TRUE(allOf(refined, {95, 34, 97, 36}, 255));
  EXPECT_TRUE(allOf(refined, {95, 134, 97, 136}, 255));
  EXPECT_TRUE(allOf(refined, {90, 140, 111, 152}, 255)) << "the faint word is paper";
}

TEST(WordMarksTest, ABulletStandsBeforeTheFirstWordOfALineOnly) {
  DrawnLine line;
  line.letter({90, 40, 99, 52});
  line.letter({102, 40, 111, 52});
  line.keep({90, 40, 111, 52});
  line.letter({160, 40, 169, 52});
  line.letter({172, 40, 181, 52});
  line.keep({160, 40, 181, 52});
  line.mark({60, 43, 65, 48});    // before the first word
  line.mark({130, 43, 135, 48});  // the same shape in the wide gap between the words
  const GreyImage refined = line.refined();
  EXPECT_TRUE(allOf(refined, {60, 43, 65, 48}, kInk));
  EXPECT_TRUE(allOf(refined, {130, 43, 135, 48}, 255));
}

TEST(WordMarksTest, FilledCountersOfOEAndZeroBecomeWhiteWhateverTheWordOrder) {
  DrawnLine line;
  line.filledO({30, 40, 39, 52}, 200);  // o
  line.filledO({42, 40, 51, 52}, 255);  // e: its counter ...
  line.letter({45, 45, 48, 46});        // ... crossed by its bar
  line.filledO({54, 34, 63, 52}, 180);  // 0, as tall as a capital
  line.letter({64, 34, 64, 52}, 150);   // its blurred edge, nearer the paper than the ink
  line.keep({30, 34, 64, 52});
  line.kept.push_back({30, 34, 63, 52, 40, 52, 200, 50});  // a record that takes the o's counter for text
  line.kept.push_back({30, 34, 63, 52, 40, 52, 223, 73});  // grown from a counter: faint, it changes nothing
  const GreyImage refined = line.refined();
  expectAll(refined, {
                         {"o counter", {33, 43, 36, 49}, 255},
                         {"e counter above the bar", {45, 43, 48, 44}, 255},
                         {"e counter below the bar", {45, 47, 48, 49}, 255},
                         {"0 counter", {57, 37, 60, 49}, 255},
                         {"o stroke", {30, 40, 32, 52}, kInk},
                         {"e bar", {45, 45, 48, 46}, kInk},
                         {"0 stroke", {61, 34, 63, 52}, kInk},
                         {"blurred edge", {64, 34, 64, 52}, textPixelValue(150)},
                     });
  const std::vector<KeptWord> reversed(line.kept.rbegin(), line.kept.rend());
  EXPECT_EQ(withMarksAndCounters(line.page, line.words, reversed), refined);
}

TEST(WordMarksTest, OnAPageOfFaintWritingTheWordsStayAndGetTheirMarks) {
  DrawnLine line;
  for (const std::int32_t left : {90, 190}) {
    line.letter({left, 40, left + 9, 52}, 200);
    line.letter({left + 12, 40, left + 21, 52}, 200);
    line.keep({left, 40, left + 21, 52}, kMeanLine, kBaseline, 200);
  }
  line.mark({95, 34, 97, 36}, 200);
  const GreyImage refined = line.refined();
  EXPECT_TRUE(allOf(refined, {190, 40, 199, 52}, textPixelValue(200)));
  EXPECT_TRUE(allOf(refined, {95, 34, 97, 36}, textPixelValue(200)));
}

}  // namespace
}  // namespace glimmer
