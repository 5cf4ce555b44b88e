// The seed test's colour pairs of a whole page, read down every column as the
// band walk reads them: a block counted afresh at each pixel against the strip
// of pairs. Pass a page path as GLIMMER_BENCH_PAGE to time another page.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "analysis/detail/colour_split.h"
#include "formats/pnm_reader.h"

namespace {

namespace fs = std::filesystem;
using namespace glimmer;

const GreyImage& pageRead() {
  static const GreyImage page = [] {
    std::string path = (fs::path(GLIMMER_SOURCE_DIR) / "samples" / "sample-page.pnm").string();
    if (const char* chosen = std::getenv("GLIMMER_BENCH_PAGE")) path = chosen;
    PnmResult pnm = readPnm(path);
    return pnm.image ? *pnm.image : GreyImage();
  }();
  return page;
}

void plainPairs(benchmark::State& state) {
  const SharedPage page(pageRead());
  for (auto _ : state) {
    detail::SlidingBlock block;
    for (std::int32_t x = 0; x < page.width(); ++x) {
      for (std::int32_t y = 0; y < page.height(); ++y) {
        benchmark::DoNotOptimize(detail::splitHistogram(block.moveTo(page, x, y, 10), 20));
      }
    }
  }
}
BENCHMARK(plainPairs)->Unit(benchmark::kMillisecond);

// Argument 1: the wide strip, where the processor runs it.
void stripPairs(benchmark::State& state) {
  const SharedPage page(pageRead());
  const bool wide = state.range(0) == 1;
  if (wide && !detail::BlockPairStrip::wideRuns()) {
    state.SkipWithError("no 32-byte vector unit");
    return;
  }
  for (auto _ : state) {
    detail::BlockPairStrip strip(wide ? detail::BlockPairStrip::Width::kWide : detail::BlockPairStrip::Width::kNarrow);
    for (std::int32_t x = 0; x < page.width(); ++x) {
      for (std::int32_t y = 0; y < page.height(); ++y) benchmark::DoNotOptimize(strip.at(page, x, y, 10, 20));
    }
  }
}
BENCHMARK(stripPairs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
