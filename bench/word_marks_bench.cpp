// What keeping marks costs beside the analysis it refines: one band's analysis
// of a whole page, and the refinement of its output with the words it kept.
// Pass a page path as GLIMMER_BENCH_PAGE to time another page.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/seed_analysis.h"
#include "analysis/word_marks.h"
#include "formats/pnm_reader.h"

namespace {

namespace fs = std::filesystem;
using namespace glimmer;

std::string benchmarkPage() {
  if (const char* chosen = std::getenv("GLIMMER_BENCH_PAGE")) return chosen;
  const fs::path shared =
      fs::path(GLIMMER_SOURCE_DIR) / ".." / "shared" / "pages" / "printed-clean_leptonica-lucasta-047.pgm";
  if (fs::exists(shared)) return shared.string();
  return (fs::path(GLIMMER_SOURCE_DIR) / "samples" / "sample-page.pnm").string();
}

struct NoLog : LineSink {
  void write(std::string_view) override {}
};

struct AnalysedPage {
  GreyImage page;
  GreyImage words;
  std::vector<KeptWord> kept;
};

AnalysedPage analyse(const GreyImage& page) {
  GreyImage analysed = page;
  const SharedPage shared(analysed);
  NoLog scores;
  SharedAnalysis analysis(page.width, page.height, scores);
  BandScratch scratch(page.width, page.height);
  for (std::int32_t x = 0; x < page.width; ++x) {
    for (std::int32_t y = 0; y < page.height; ++y) analyseSeed(scratch, shared, x, y, analysis);
  }
  keepTextOnWhite(analysed, analysis.wordPixels);
  return {page, std::move(analysed), std::move(analysis.keptWords)};
}

const GreyImage& pageRead() {
  static const GreyImage page = [] {
    PnmResult pnm = readPnm(benchmarkPage());
    return pnm.image ? *pnm.image : GreyImage();
  }();
  return page;
}

void analysePage(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(analyse(pageRead()));
  state.SetLabel(fs::path(benchmarkPage()).filename().string());
}

void keepMarks(benchmark::State& state) {
  static const AnalysedPage analysed = analyse(pageRead());
  for (auto _ : state) benchmark::DoNotOptimize(withMarksAndCounters(analysed.page, analysed.words, analysed.kept));
  state.counters["kept words"] = static_cast<double>(analysed.kept.size());
}

BENCHMARK(analysePage)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(keepMarks)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
