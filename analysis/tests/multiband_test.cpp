// Bands to the right of others hold their lines back until those have
// committed; whenever a band's turn comes, what the bands record together must
// be what one band records alone, in the same order.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "analysis/seed_analysis.h"
#include "analysis/tests/test_pages.h"

namespace glimmer {
namespace {

struct TextSink : LineSink {
  void write(std::string_view line) override { text += line; }
  std::string text;
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

struct Band {
  Band(const GreyImage& page, std::int32_t start, std::int32_t end, bool holding)
      : scratch(page.width, page.height, start, end), start(start), end(end) {
    scratch.held.holding = holding;
  }
  void analyseColumns(GreyImage& page, std::int32_t from, std::int32_t to, SharedAnalysis& shared) {
    for (std::int32_t x = from; x < to; ++x) {
      for (std::int32_t y = 0; y < page.height; ++y) analyseSeed(scratch, SharedPage(page), x, y, shared);
    }
  }
  void commit(SharedAnalysis& shared) {
    const std::lock_guard lock(shared.mutex);
    commitHeldLines(scratch.held, shared);
  }
  BandScratch scratch;
  std::int32_t start, end;
};

// Everything the shared state leaves in the outputs, in order.
auto recorded(const SharedAnalysis& shared, const TextSink& scores) {
  return std::tuple(shared.textRows, shared.letters, shared.letterCounter, shared.votes, scores.text,
                    shared.wordPixels);
}

class MultiBand : public ::testing::Test {
 protected:
  MultiBand() : page(samplePage()), alone(page.width, page.height, aloneScores) {
    Band band(page, 0, page.width, false);
    band.analyseColumns(page, 0, page.width, alone);
  }
  GreyImage page;
  TextSink aloneScores;
  SharedAnalysis alone;
};

// The right band takes its turn before its first column, in the middle, or
// after its last one. The band edge cuts a ring of each line, which both bands meet.
TEST_F(MultiBand, RightBandCommitsInItsTurnWhateverItHasScannedByThen) {
  ASSERT_GE(alone.textRows.size(), 6u);
  ASSERT_GE(alone.letters.size(), 10u);
  ASSERT_GT(alone.votes[0], 0);
  const std::int32_t middle = 88;
  for (const std::int32_t turn : {middle, middle + 20, page.width}) {
    TextSink scores;
    SharedAnalysis shared(page.width, page.height, scores);
    Band left(page, 0, middle, false);
    Band right(page, middle, page.width, true);
    right.analyseColumns(page, middle, turn, shared);
    left.analyseColumns(page, 0, middle, shared);
    right.commit(shared);
    right.analyseColumns(page, turn, page.width, shared);
    EXPECT_EQ(recorded(shared, scores), recorded(alone, aloneScores)) << "turn at " << turn;
  }
}

// Four bands at once, the three on the right holding; they commit from the
// left. Every band edge cuts shapes.
TEST_F(MultiBand, ConcurrentBandsCommittingFromTheLeftRecordWhatOneBandRecords) {
  TextSink scores;
  SharedAnalysis shared(page.width, page.height, scores);
  std::vector<Band> bands;
  const std::int32_t edges[] = {0, 50, 88, 125, 160};
  for (std::int32_t i = 0; i < 4; ++i) bands.emplace_back(page, edges[i], edges[i + 1], i > 0);
  std::vector<std::thread> threads;
  for (Band& band : bands) threads.emplace_back([&] { band.analyseColumns(page, band.start, band.end, shared); });
  for (std::thread& thread : threads) thread.join();
  for (Band& band : bands) band.commit(shared);
  EXPECT_EQ(recorded(shared, scores), recorded(alone, aloneScores));
}

}  // namespace
}  // namespace glimmer
