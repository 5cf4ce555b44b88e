#include "app/cli/batch_status.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/cli/terminal.h"

namespace glimmer::cli {

namespace {

constexpr int kBarWidth = 20;
constexpr auto kRedrawEvery = std::chrono::milliseconds(200);

}  // namespace

std::string clockTime(double seconds) {
  const long whole = std::lround(std::max(seconds, 0.0));
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  }
  return text;
}

std::string batchProgressLine(const BatchCounts& counts, int columns) {
  const int total = std::max(counts.total, 1);
  const long permille =
      std::clamp((static_cast<long>(counts.finished) * 1000 + counts.runningPermille) / total, 0L, 1000L);
  char text[64];
  std::snprintf(text, sizeof text, "%d/%d pages", counts.finished, counts.total);
  const std::string pages = text;
  std::snprintf(text, sizeof text, " %3ld%%", permille / 10);
  const std::string percent = text;
  const int filled = static_cast<int>(permille * kBarWidth / 1000);
  const std::string bar = " [" + std::string(static_cast<std::size_t>(filled), '#') +
                          std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "]";
  const std::string running = counts.running > 0 ? "  " + std::to_string(counts.running) + " running" : "";
  std::string times = "  " + clockTime(counts.elapsedSeconds) + " elapsed";
  const double worked = counts.finished - counts.skipped + counts.runningPermille / 1000.0;
  const double remaining = counts.total - counts.finished - counts.runningPermille / 1000.0;
  if (worked > 0.01 && counts.finished < counts.total) {
    times += ", " + clockTime(counts.elapsedSeconds * remaining / worked) + " left";
  }

  const std::size_t room = static_cast<std::size_t>(std::max(columns - 1, 0));
  for (const std::string& line : {pages + bar + percent + running + times, pages + bar + percent + times,
                                  pages + bar + percent, pages + percent}) {
    if (line.size() <= room) return line;
  }
  return pages.size() <= room ? pages : std::string();
}

BatchStatus::BatchStatus(int total, int slots, bool drawBar)
    : slotPermille_(static_cast<std::size_t>(std::max(slots, 1)), -1), drawBar_(drawBar) {
  counts_.total = total;
}

void BatchStatus::started(int slot) {
  std::lock_guard lock(mutex_);
  slotPermille_.at(static_cast<std::size_t>(slot)) = 0;
  ++counts_.running;
  drawLocked(false);
}

void BatchStatus::progress(int slot, int permille) {
  std::lock_guard lock(mutex_);
  int& own = slotPermille_.at(static_cast<std::size_t>(slot));
  if (own < 0) return;
  counts_.runningPermille += std::clamp(permille, 0, 1000) - own;
  own = std::clamp(permille, 0, 1000);
  drawLocked(false);
}

void BatchStatus::finished(int slot, bool skipped) {
  std::lock_guard lock(mutex_);
  int& own = slotPermille_.at(static_cast<std::size_t>(slot));
  if (own >= 0) {
    counts_.runningPermille -= own;
    --counts_.running;
    own = -1;
  }
  ++counts_.finished;
  if (skipped) ++counts_.skipped;
  drawLocked(true);
}

void BatchStatus::withTerminal(const std::function<void()>& write) {
  std::lock_guard lock(mutex_);
  clearLocked();
  write();
  drawLocked(true);
}

void BatchStatus::close() {
  std::lock_guard lock(mutex_);
  clearLocked();
  drawBar_ = false;
}

double BatchStatus::elapsedSeconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

void BatchStatus::drawLocked(bool force) {
  if (!drawBar_) return;
  const Clock::time_point now = Clock::now();
  if (!force && drawn_ && now - lastDraw_ < kRedrawEvery) return;
  counts_.elapsedSeconds = elapsedSeconds();
  const std::string line = batchProgressLine(counts_, terminalColumns());
  lastDraw_ = now;
  if (drawn_ && line == lastLine_) return;
  std::fprintf(stderr, "\r%s\033[K", line.c_str());
  std::fflush(stderr);
  lastLine_ = line;
  drawn_ = true;
}

void BatchStatus::clearLocked() {
  if (!drawn_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  drawn_ = false;
  lastLine_.clear();
}

}  // namespace glimmer::cli
