// Times a whole run of the driver on a real page, at one band and at one band
// per core. Pass a page path as GLIMMER_BENCH_PAGE to time another page.
// Beside it, at one band: a 1000 x 1000 page of uniform noise (fixed seed), the
// worst case of the analysis, and a 1000 x 1000 piece of that real page.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "formats/pnm_reader.h"
#include "pipeline/driver.h"
#include "system/core_count.h"

namespace {

namespace fs = std::filesystem;

class SilentHost : public glimmer::DriverHost {
 public:
  void showError(const std::string& text, const std::string&) override { error = text; }
  void showWarning(const std::string&) override {}
  bool askYesNo(const std::string&, const std::string&) override { return true; }
  void reportProgress(int, int) override {}
  void diagnosticLine(std::string_view) override {}
  std::string error;
};

std::string benchmarkPage() {
  if (const char* chosen = std::getenv("GLIMMER_BENCH_PAGE")) return fs::absolute(chosen).string();
  const fs::path shared =
      fs::path(GLIMMER_SOURCE_DIR) / ".." / "shared" / "pages" / "printed-clean_leptonica-lucasta-047.pgm";
  if (fs::exists(shared)) return fs::canonical(shared).string();
  return (fs::path(GLIMMER_SOURCE_DIR) / "samples" / "sample-page.pnm").string();
}

// Times the driver on `page` at state.range(0) bands.
void timeDriver(benchmark::State& state, const std::string& page) {
  std::string pattern = (fs::temp_directory_path() / "glimmer-bench-XXXXXX").string();
  const fs::path workDir = ::mkdtemp(pattern.data());
  const fs::path previous = fs::current_path();
  fs::current_path(workDir);

  glimmer::ProcessRequest request;
  request.inputPath = page;
  request.outputPath = (workDir / "out.bmp").string();
  request.bandCount = static_cast<std::int32_t>(state.range(0));
  SilentHost host;
  for (auto _ : state) {
    std::string processed;
    if (glimmer::processImageFile(request, host, processed) != 0) state.SkipWithError(host.error.c_str());
  }
  state.SetLabel(fs::path(page).filename().string());

  fs::current_path(previous);
  fs::remove_all(workDir);
}

void processPage(benchmark::State& state) { timeDriver(state, benchmarkPage()); }

constexpr std::int32_t kSquareSide = 1000;

// Writes a kSquareSide-square binary PGM of `greys` (row by row) to a scratch file.
std::string writeSquarePage(const std::vector<std::uint8_t>& greys, const std::string& name) {
  const fs::path path = fs::temp_directory_path() / ("glimmer-bench-" + std::to_string(::getpid()) + "-" + name);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return path.string();  // the run then reports the missing page
  std::fprintf(file, "P5\n%d %d\n255\n", kSquareSide, kSquareSide);
  std::fwrite(greys.data(), 1, greys.size(), file);
  std::fclose(file);
  return path.string();
}

void processNoisePage(benchmark::State& state) {
  std::mt19937 random(20261207);
  std::vector<std::uint8_t> greys(static_cast<std::size_t>(kSquareSide) * kSquareSide);
  for (std::uint8_t& grey : greys) grey = static_cast<std::uint8_t>(random() % 256);
  const std::string page = writeSquarePage(greys, "noise.pgm");
  timeDriver(state, page);
  fs::remove(page);
}

// The top-left square of the real page (white where the page is smaller).
void processTextSquare(benchmark::State& state) {
  const glimmer::PnmResult read = glimmer::readPnm(benchmarkPage());
  if (!read.image) {
    state.SkipWithError(read.problem.c_str());
    return;
  }
  std::vector<std::uint8_t> greys(static_cast<std::size_t>(kSquareSide) * kSquareSide, 255);
  for (std::int32_t y = 0; y < std::min(kSquareSide, read.image->height); ++y) {
    for (std::int32_t x = 0; x < std::min(kSquareSide, read.image->width); ++x) {
      greys[static_cast<std::size_t>(y) * kSquareSide + static_cast<std::size_t>(x)] = read.image->at(x, y);
    }
  }
  const std::string page = writeSquarePage(greys, "text.pgm");
  timeDriver(state, page);
  fs::remove(page);
}

int coreCount() { return std::clamp(glimmer::countProcessorCores(), 1, 64); }

BENCHMARK(processPage)->Arg(1)->Arg(coreCount())->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(processTextSquare)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(processNoisePage)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
