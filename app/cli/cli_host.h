// How glimmer-cli hosts one driver run: errors and questions on stderr, an
// optional progress bar on stderr, and the driver's diagnostic lines on stdout
// only when asked for.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/batch_status.h"
#include "pipeline/driver_host.h"

namespace glimmer::cli {

struct HostSettings {
  bool assumeYes = false;     // answer Yes to overwrite questions
  bool canAsk = false;        // a person at a terminal can answer questions
  bool showProgress = false;  // draw a progress bar on stderr
  bool verbose = false;       // pass diagnostic lines through to stdout
  bool holdLines = false;     // keep the diagnostic lines for heldLines() instead
  // A page analysed longer than this is stopped.
  std::optional<std::chrono::duration<double>> timeLimit;
  // In a batch: progress and messages go through the batch's status line, as
  // worker `slot`; the host then draws no bar of its own.
  BatchStatus* batch = nullptr;
  int slot = 0;
};

class CliHost : public DriverHost {
 public:
  CliHost(HostSettings settings, std::string inputLabel, int bandCount);

  void showError(const std::string& text, const std::string& title) override;
  void showWarning(const std::string& text) override;
  bool askYesNo(const std::string& text, const std::string& title) override;
  void reportProgress(int band, int thousandths) override;
  void startPage(int index, int count) override;
  void diagnosticLine(std::string_view line) override;
  std::string stopReason() override;

  // Clears the progress bar line, if one was drawn.
  void finishProgress();

  // What went wrong in this run, for the batch summary; empty when nothing did.
  const std::string& failure() const { return failure_; }

  // The page was processed but is damaged (a warning was shown).
  bool damaged() const { return damaged_; }

  // The person at the terminal answered no to an overwrite question.
  bool declinedOverwrite() const { return declinedOverwrite_; }

  // The diagnostic lines kept back with `holdLines`.
  const std::string& heldLines() const { return heldLines_; }

 private:
  void drawBar(int permille);
  void clearBar();
  // Prints one message line on stderr, clear of any progress bar.
  void printLine(const std::string& line);

  HostSettings settings_;
  std::string label_;
  std::mutex mutex_;
  std::vector<int> bandProgress_;
  int page_ = 0;  // the page under way, of pageCount_: the bar covers them all
  int pageCount_ = 1;
  int drawnPercent_ = -1;
  std::string failure_;
  bool declinedOverwrite_ = false;
  bool damaged_ = false;
  std::string heldLines_;
  using Clock = std::chrono::steady_clock;
  std::atomic<Clock::rep> pageDeadline_{Clock::time_point::max().time_since_epoch().count()};
};

// The progress line for `label` at `permille`, at most `columns` - 1
// characters wide so that the terminal never wraps it: the label loses its
// start first ("...name.pnm"), then the bar narrows, then the label goes.
std::string progressLine(const std::string& label, int permille, int columns);

}  // namespace glimmer::cli
