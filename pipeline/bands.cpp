#include "pipeline/bands.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "analysis/seed_analysis.h"

namespace glimmer {

BandRange bandBounds(std::int32_t width, std::int32_t count, std::int32_t index) {
  auto edge = [&](std::int64_t i) { return static_cast<std::int32_t>(std::int64_t{width} * i / count); };
  return {edge(index), edge(std::int64_t{index} + 1)};
}

namespace {

// The band's diagnostic lines: passed on at once in the band's turn, held back
// before it.
class BandLines {
 public:
  explicit BandLines(DriverHost& host) : host_(host) {}
  void write(const char* line, bool held) {
    if (held) {
      held_ += line;
    } else {
      host_.diagnosticLine(line);
    }
  }
  void release() {
    const std::string_view held(held_);
    for (std::size_t begin = 0, end; begin < held.size(); begin = end + 1) {
      end = held.find('\n', begin);
      host_.diagnosticLine(held.substr(begin, end - begin + 1));
    }
    held_.clear();
  }

 private:
  DriverHost& host_;
  std::string held_;
};

void reportColumn(BandJob& job, std::int32_t x, BandLines& lines, bool held) {
  const std::int32_t done = x - job.range.start;
  const std::int32_t span = job.range.end - job.range.start;
  const int thousandths = static_cast<int>(std::int64_t{1000} * done / span);
  const double percent = 100.0 * done / span;
  char line[96];
  std::snprintf(line, sizeof line, "Thread:%d Complete:%f%% X:%d\n", job.index, percent, x);
  lines.write(line, held);
  job.host->reportProgress(job.index, thousandths);
}

}  // namespace

void runBand(BandJob& job) {
  SharedAnalysis& shared = *job.shared;
  CommitOrder& order = *job.order;
  {
    // Every band empties the line cache as it starts, and none begins its
    // column walk before all have, so the cache is empty when analysis begins.
    std::lock_guard lock(shared.mutex);
    shared.seedCache.clear();
  }
  job.startLine->arrive_and_wait();

  const SharedPage page(*job.page);
  auto scratch = std::make_unique<BandScratch>(page.width(), page.height(), job.range.start, job.range.end);
  BandLines lines(*job.host);
  // Called with the mutex held, once every band to the left has committed.
  auto takeTurn = [&](HeldLines& held) {
    commitHeldLines(held, shared);
    lines.release();
  };
  {
    std::lock_guard lock(shared.mutex);
    scratch->held.holding = order.committedBands < job.index;
  }
  for (std::int32_t x = job.range.start; x < job.range.end; ++x) {
    if (scratch->held.holding) {
      std::lock_guard lock(shared.mutex);
      if (order.committedBands == job.index) takeTurn(scratch->held);
    }
    // A band told to stop leaves its columns; the page is then abandoned.
    if (!job.host->stopReason().empty()) break;
    reportColumn(job, x, lines, scratch->held.holding);
    for (std::int32_t y = 0; y < page.height(); ++y) analyseSeed(*scratch, page, x, y, shared);
  }
  // Only the held lines outlive the walk. The rest is freed before the band
  // waits for its turn: freeing it after the last turn, alone, took some
  // 20 ms of an A4 page's run.
  HeldLines held = std::move(scratch->held);
  scratch.reset();

  std::unique_lock lock(shared.mutex);
  order.bandCommitted.wait(lock, [&] { return order.committedBands == job.index; });
  takeTurn(held);
  char line[48];
  std::snprintf(line, sizeof line, "***Thread #%d complete\n", job.index);
  job.host->diagnosticLine(line);
  ++order.committedBands;
  order.bandCommitted.notify_all();
}

}  // namespace glimmer
