// The state of a batch on stderr: one progress line for the whole batch
// (pages done of all, the running pages, elapsed time and time left), which
// the messages of every page clear and draw again so that lines never mix.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace glimmer::cli {

struct BatchCounts {
  int total = 0;
  int finished = 0;         // done, failed or skipped
  int skipped = 0;          // of the finished, those that were not worked on
  int running = 0;          // pages under way
  int runningPermille = 0;  // their progress, summed
  double elapsedSeconds = 0;
};

// "12/400 pages [####......]  3%  2 running  1:05 elapsed, 35:10 left", at
// most `columns` - 1 characters: the running count, then the times, then the
// bar go first when the terminal is narrow.
std::string batchProgressLine(const BatchCounts& counts, int columns);

// "1:05", "1:02:03".
std::string clockTime(double seconds);

class BatchStatus {
 public:
  BatchStatus(int total, int slots, bool drawBar);

  // A worker (`slot`) took a page / the page moved on / the page ended.
  void started(int slot);
  void progress(int slot, int permille);
  void finished(int slot, bool skipped);

  // Runs `write` (which prints whole lines on stderr, or asks a question) with
  // the bar out of the way, then draws it again.
  void withTerminal(const std::function<void()>& write);

  // Takes the bar away for good.
  void close();

  double elapsedSeconds() const;

 private:
  void drawLocked(bool force);
  void clearLocked();

  using Clock = std::chrono::steady_clock;
  const Clock::time_point start_ = Clock::now();
  std::mutex mutex_;
  std::vector<int> slotPermille_;  // -1: idle
  BatchCounts counts_;
  bool drawBar_;
  bool drawn_ = false;
  std::string lastLine_;
  Clock::time_point lastDraw_{};
};

}  // namespace glimmer::cli
