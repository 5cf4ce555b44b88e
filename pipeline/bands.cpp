#include "pipeline/bands.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "analysis/seed_analysis.h"

namespace glimmer {

BandRange bandBounds(std::int32_t width, std::int32_t count, std::int32_t index) {
  auto edge = [&](std::int64_t i) { return static_cast<std::int32_t>(std::int64_t{width} * i / count); };
  return {edge(index), edge(std::int64_t{index} + 1)};
}

namespace {

void reportColumn(BandJob& job, std::int32_t x) {
  const std::int32_t done = x - job.range.start;
  const std::int32_t span = job.range.end - job.range.start;
  const int thousandths = static_cast<int>(std::int64_t{1000} * done / span);
  const double percent = 100.0 * done / span;
  char line[96];
  std::snprintf(line, sizeof line, "Thread:%d Complete:%f%% X:%d\n", job.index, percent, x);
  job.host->diagnosticLine(line);
  job.host->reportProgress(job.index, thousandths);
}

}  // namespace

void runBand(BandJob& job) {
  SharedAnalysis& shared = *job.shared;
  {
    // Every band empties the line cache as it starts, and none begins its
    // column walk before all have, so the cache is empty when analysis begins.
    std::lock_guard lock(shared.mutex);
    shared.seedCache.clear();
  }
  job.startLine->arrive_and_wait();

  const SharedPage page(*job.page);
  GreyImage bandImage(page.width(), page.height(), 255);
  BandScratch scratch(page.width(), page.height(), job.range.start, job.range.end);
  for (std::int32_t x = job.range.start; x < job.range.end; ++x) {
    reportColumn(job, x);
    for (std::int32_t y = 0; y < page.height(); ++y) {
      analyseSeed(scratch, page, x, y, bandImage, shared);
    }
  }

  std::vector<TextRow> rows;
  {
    std::lock_guard lock(shared.mutex);
    rows = shared.textRows;
  }
  // Bands still scanning must look at the page afresh, from the moment the
  // whitening starts until it has ended.
  shared.pageEdits.fetch_add(1);
  whitenRowInteriors(page, rows);
  shared.pageEdits.fetch_add(1);
  job.bandImage = std::move(bandImage);

  char line[48];
  std::snprintf(line, sizeof line, "***Thread #%d complete\n", job.index);
  job.host->diagnosticLine(line);
}

void whitenRowInteriors(const SharedPage& page, std::span<const TextRow> rows) {
  for (const TextRow& row : rows) {
    const bool inside = row.left + 1 > 0 && row.top + 1 > 0 && row.right - 1 < page.width() &&
                        row.bottom < page.height() && row.top + 1 < row.bottom;
    if (!inside) continue;
    for (std::int32_t y = row.top + 1; y < row.bottom; ++y) {
      for (std::int32_t x = row.left + 1; x <= row.right - 1; ++x) page.set(x, y, 255);
    }
  }
}

GreyImage mergeBandImages(const GreyImage& a, const GreyImage& b) {
  GreyImage result(a.width, a.height, 255);
  std::transform(a.pixels.begin(), a.pixels.end(), b.pixels.begin(), result.pixels.begin(),
                 [](std::uint8_t p, std::uint8_t q) { return std::min(p, q); });
  return result;
}

}  // namespace glimmer
