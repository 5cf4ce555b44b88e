// Times a whole run of the driver on a real page, at one band and at one band
// per core. Pass a page path as GLIMMER_BENCH_PAGE to time another page.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

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

void processPage(benchmark::State& state) {
  const std::string page = benchmarkPage();
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

int coreCount() { return std::clamp(glimmer::countProcessorCores(), 1, 64); }

BENCHMARK(processPage)->Arg(1)->Arg(coreCount())->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
