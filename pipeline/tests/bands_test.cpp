#include "pipeline/bands.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "common/tests/scratch_dir.h"
#include "pipeline/tests/recording_host.h"

namespace glimmer {
namespace {

TEST(BandBounds, SplitsWidthsIntoConsecutiveBandsWithinOneColumn) {
  const struct {
    std::int32_t width, count;
    std::vector<std::int32_t> starts;
  } cases[] = {
      {10, 3, {0, 3, 6, 10}},
      {1000, 3, {0, 333, 666, 1000}},
      {1000, 4, {0, 250, 500, 750, 1000}},
      {8, 8, {0, 1, 2, 3, 4, 5, 6, 7, 8}},  // single precision gives an empty band 6 here
      {2, 3, {0, 0, 1, 2}},
  };
  for (const auto& [width, count, starts] : cases) {
    for (std::int32_t i = 0; i < count; ++i) {
      const BandRange band = bandBounds(width, count, i);
      EXPECT_EQ(band.start, starts[i]) << width << "/" << count << " band " << i;
      EXPECT_EQ(band.end, starts[i + 1]) << width << "/" << count << " band " << i;
    }
  }
}

struct BandRun {
  std::vector<int> progress;
  std::vector<std::string> lines;
};

// Band 2 of a run whose bands 0 and 1 have committed: its lines pass at once.
BandRun runOneBand(GreyImage& page, BandRange range) {
  test_support::RecordingHost host;
  struct NullSink : LineSink {
    void write(std::string_view) override {}
  } sink;
  SharedAnalysis shared(page.width, page.height, sink);
  std::barrier<> startLine(1);
  CommitOrder order;
  order.committedBands = 2;
  BandJob job;
  job.index = 2;
  job.range = range;
  job.page = &page;
  job.shared = &shared;
  job.host = &host;
  job.startLine = &startLine;
  job.order = &order;
  runBand(job);
  EXPECT_EQ(order.committedBands, 3);
  EXPECT_EQ(shared.wordPixels, PixelMask(page.width, page.height));
  return {host.progress[2], host.lines};
}

TEST(RunBand, ReportsProgressAndOneLinePerColumnThenCompletion) {
  GreyImage page(12, 4, 255);
  const BandRun run = runOneBand(page, {3, 6});
  EXPECT_EQ(run.progress, (std::vector<int>{0, 333, 666}));
  EXPECT_EQ(run.lines,
            (std::vector<std::string>{"Thread:2 Complete:0.000000% X:3\n", "Thread:2 Complete:33.333333% X:4\n",
                                      "Thread:2 Complete:66.666667% X:5\n", "***Thread #2 complete\n"}));
}

TEST(RunBand, EmptyBandReportsNothingButCompletes) {
  GreyImage page(12, 12, 0);
  const BandRun run = runOneBand(page, {4, 4});
  EXPECT_TRUE(run.progress.empty());
  EXPECT_EQ(run.lines, std::vector<std::string>{"***Thread #2 complete\n"});
}

}  // namespace
}  // namespace glimmer
