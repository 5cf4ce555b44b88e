// Two band threads analysing halves of one page share the run's state; what
// they record together must be what one band records alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "analysis/seed_analysis.h"
#include "analysis/tests/test_pages.h"

namespace glimmer {
namespace {

using test_support::drawRing;
using test_support::fillBox;

struct NullSink : LineSink {
  void write(std::string_view) override {}
};

// Two lines of rings and bars of several stroke widths, crossing the middle column.
GreyImage samplePage() {
  GreyImage page(160, 64);
  for (std::int32_t line = 0; line < 2; ++line) {
    const std::int32_t top = 8 + line * 30;
    for (std::int32_t i = 0; i < 8; ++i) {
      const std::int32_t left = 6 + i * 19 + line * 3;
      if (i % 4 == 3) {
        fillBox(page, left, top, left + 3, top + 19, 60);
      } else {
        drawRing(page, left, top, left + 11, top + 19, 2 + (i + line) % 3, 60);
      }
    }
  }
  return page;
}

struct Outcome {
  std::vector<TextRow> rows;
  std::vector<std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t>> letterBoxes;
  std::map<std::int32_t, std::int32_t> votes;
  GreyImage painted;
};

void analyseColumns(const SharedPage& page, std::int32_t start, std::int32_t end, GreyImage& bandImage,
                    SharedAnalysis& shared) {
  BandScratch scratch(page.width(), page.height());
  for (std::int32_t x = start; x < end; ++x) {
    for (std::int32_t y = 0; y < page.height(); ++y) analyseSeed(scratch, page, x, y, bandImage, shared);
  }
}

Outcome outcomeOf(const SharedAnalysis& shared, GreyImage painted) {
  Outcome outcome{shared.textRows, {}, shared.votes, std::move(painted)};
  std::sort(outcome.rows.begin(), outcome.rows.end(), [](const TextRow& a, const TextRow& b) {
    return std::tie(a.left, a.right, a.top, a.bottom) < std::tie(b.left, b.right, b.top, b.bottom);
  });
  for (const LetterBox& l : shared.letters) outcome.letterBoxes.emplace_back(l.x, l.y, l.width, l.height);
  std::sort(outcome.letterBoxes.begin(), outcome.letterBoxes.end());
  return outcome;
}

TEST(MultiBand, TwoBandsRecordWhatOneBandRecords) {
  GreyImage image = samplePage();
  const SharedPage page(image);
  NullSink sink;

  SharedAnalysis alone(image.width, image.height, sink);
  GreyImage aloneImage(image.width, image.height);
  analyseColumns(page, 0, image.width, aloneImage, alone);
  const Outcome expected = outcomeOf(alone, std::move(aloneImage));
  ASSERT_GE(expected.rows.size(), 6u);
  ASSERT_GT(expected.votes.count(0), 0u);

  SharedAnalysis together(image.width, image.height, sink);
  GreyImage left(image.width, image.height);
  GreyImage right(image.width, image.height);
  const std::int32_t middle = image.width / 2;
  std::thread first([&] { analyseColumns(page, 0, middle, left, together); });
  std::thread second([&] { analyseColumns(page, middle, image.width, right, together); });
  first.join();
  second.join();

  GreyImage merged(image.width, image.height);
  std::transform(left.pixels.begin(), left.pixels.end(), right.pixels.begin(), merged.pixels.begin(),
                 [](std::uint8_t a, std::uint8_t b) { return std::min(a, b); });
  const Outcome actual = outcomeOf(together, std::move(merged));
  EXPECT_EQ(actual.rows, expected.rows);
  EXPECT_EQ(actual.letterBoxes, expected.letterBoxes);
  EXPECT_EQ(actual.votes, expected.votes);
  EXPECT_TRUE(actual.painted == expected.painted);
}

}  // namespace
}  // namespace glimmer
