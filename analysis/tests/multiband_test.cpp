// Two band threads analysing halves of one page share the run's state; what
// they record together must be what one band records alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "analysis/seed_analysis.h"
#include "analysis/tests/test_pages.h"

namespace glimmer {
namespace {

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
        test_support::fillBox(page, left, top, left + 3, top + 19, 60);
      } else {
        test_support::drawRing(page, left, top, left + 11, top + 19, 2 + (i + line) % 3, 60);
      }
    }
  }
  return page;
}

void analyseColumns(GreyImage& page, std::int32_t start, std::int32_t end, GreyImage& bandImage,
                    SharedAnalysis& shared) {
  BandScratch scratch(page.width, page.height);
  for (std::int32_t x = start; x < end; ++x) {
    for (std::int32_t y = 0; y < page.height; ++y) analyseSeed(scratch, SharedPage(page), x, y, bandImage, shared);
  }
}

// Rows and letter boxes in a fixed order, with the votes: what must not depend
// on how the threads interleave.
using Recorded = std::tuple<std::vector<std::array<std::int32_t, 6>>, std::vector<std::array<std::int32_t, 4>>,
                            std::map<std::int32_t, std::int32_t>>;
Recorded recorded(const SharedAnalysis& shared) {
  Recorded result{{}, {}, shared.votes};
  for (const TextRow& r : shared.textRows) {
    std::get<0>(result).push_back({r.left, r.right, r.top, r.bottom, r.baselo, r.basehi});
  }
  for (const LetterBox& l : shared.letters) std::get<1>(result).push_back({l.x, l.y, l.width, l.height});
  std::ranges::sort(std::get<0>(result));
  std::ranges::sort(std::get<1>(result));
  return result;
}

TEST(MultiBand, TwoBandsRecordWhatOneBandRecords) {
  GreyImage page = samplePage();
  NullSink sink;

  SharedAnalysis alone(page.width, page.height, sink);
  GreyImage aloneImage(page.width, page.height);
  analyseColumns(page, 0, page.width, aloneImage, alone);
  ASSERT_GE(alone.textRows.size(), 6u);
  ASSERT_GT(alone.votes.count(0), 0u);

  SharedAnalysis together(page.width, page.height, sink);
  GreyImage left(page.width, page.height);
  GreyImage right(page.width, page.height);
  const std::int32_t middle = page.width / 2;
  std::thread first([&] { analyseColumns(page, 0, middle, left, together); });
  std::thread second([&] { analyseColumns(page, middle, page.width, right, together); });
  first.join();
  second.join();

  EXPECT_EQ(recorded(together), recorded(alone));
  std::ranges::transform(left.pixels, right.pixels, left.pixels.begin(),
                         [](std::uint8_t a, std::uint8_t b) { return std::min(a, b); });
  EXPECT_TRUE(left == aloneImage);
}

}  // namespace
}  // namespace glimmer
