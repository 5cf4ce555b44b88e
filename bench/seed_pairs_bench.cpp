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

void stripPairs(benchmark::State& state) {
  const SharedPage page(pageRead());
  for (auto _ : state) {
    detail::BlockPairStrip strip;
    for (std::int32_t x = 0; x < page.width(); ++x) {
      for (std::int32_t y = 0; y < page.height(); ++y) benchmark::DoNotOptimize(strip.at(page, x, y, 10, 20));
    }
  }
}
BENCHMARK(stripPairs)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
