// Times the end of a run on an A4 page at 300 dpi: the page turned into its
// words on white, and that written as a BMP (into a scratch folder, not
// committed, so that the disk's flush is not timed).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "analysis/pixel_mask.h"
#include "formats/bmp_writer.h"
#include "system/output_file.h"

namespace {

namespace fs = std::filesystem;

// Lines of dark blots on light paper, and a mask of the blots' pixels.
struct WordsPage {
  glimmer::GreyImage page{2130, 3740};
  glimmer::PixelMask words{2130, 3740};
  WordsPage() {
    std::mt19937 random(3);
    const std::int32_t wordsPerRow = (page.width + 63) / 64;
    std::vector<std::uint64_t> row(static_cast<std::size_t>(wordsPerRow));
    for (std::int32_t y = 0; y < page.height; ++y) {
      std::fill(row.begin(), row.end(), 0);
      const bool textRow = y % 50 < 30;
      for (std::int32_t x = 0; x < page.width; ++x) {
        const bool ink = textRow && x % 40 < 25 && random() % 3 == 0;
        page.at(x, y) = static_cast<std::uint8_t>(ink ? 40 + random() % 60 : 200 + random() % 40);
        if (ink) row[static_cast<std::size_t>(x / 64)] |= std::uint64_t{1} << (x % 64);
      }
      words.set({0, y, wordsPerRow, row});
    }
  }
};

const WordsPage& wordsPage() {
  static const WordsPage page;
  return page;
}

void keepWords(benchmark::State& state) {
  glimmer::GreyImage page;
  for (auto _ : state) {
    state.PauseTiming();
    page = wordsPage().page;
    state.ResumeTiming();
    glimmer::keepTextOnWhite(page, wordsPage().words);
    benchmark::DoNotOptimize(page.pixels.data());
  }
}

void writeWordsBmp(benchmark::State& state) {
  glimmer::GreyImage text = wordsPage().page;
  glimmer::keepTextOnWhite(text, wordsPage().words);
  std::string pattern = (fs::temp_directory_path() / "glimmer-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    state.SkipWithError("cannot make a scratch folder");
    return;
  }
  const fs::path folder = pattern;
  for (auto _ : state) {
    glimmer::OutputFile output((folder / "page.bmp").string(), glimmer::OutputRules{.mayReplace = true});
    if (!glimmer::writeBmp(text, output)) state.SkipWithError("cannot write the BMP");
  }
  fs::remove_all(folder);
}

BENCHMARK(keepWords)->Unit(benchmark::kMillisecond);
BENCHMARK(writeWordsBmp)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
