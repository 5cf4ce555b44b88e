#include "app/cli/cli_host.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <numeric>

#include "app/cli/terminal.h"
#include "system/interrupt_cleanup.h"

namespace glimmer::cli {

CliHost::CliHost(HostSettings settings, std::string inputLabel, int bandCount)
    : settings_(settings), label_(std::move(inputLabel)), bandProgress_(static_cast<std::size_t>(bandCount), 0) {}

void CliHost::printLine(const std::string& line) {
  const auto print = [&] { std::fprintf(stderr, "glimmer-cli: %s: %s\n", label_.c_str(), line.c_str()); };
  if (settings_.batch != nullptr) {
    settings_.batch->withTerminal(print);
    return;
  }
  clearBar();
  print();
}

void CliHost::showError(const std::string& text, const std::string&) {
  std::lock_guard lock(mutex_);
  failure_ = text;
  printLine(text);
}

void CliHost::showWarning(const std::string& text) {
  std::lock_guard lock(mutex_);
  damaged_ = true;
  printLine("warning: " + text);
}

bool CliHost::askYesNo(const std::string& text, const std::string&) {
  if (settings_.assumeYes) return true;
  std::lock_guard lock(mutex_);
  if (!settings_.canAsk) {
    failure_ = text + " (not overwritten; use --yes)";
    printLine(failure_);
    return false;
  }
  bool yes = false;
  const auto ask = [&] {
    std::fprintf(stderr, "glimmer-cli: %s [y/N] ", text.c_str());
    std::fflush(stderr);
    std::string answer;
    std::getline(std::cin, answer);
    yes = answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
  };
  if (settings_.batch != nullptr) {
    settings_.batch->withTerminal(ask);  // one question at a time, the bar out of the way
  } else {
    clearBar();
    ask();
  }
  declinedOverwrite_ = !yes;
  return yes;
}

void CliHost::reportProgress(int band, int thousandths) {
  if (!settings_.showProgress && settings_.batch == nullptr) return;
  std::lock_guard lock(mutex_);
  if (band < 0 || static_cast<std::size_t>(band) >= bandProgress_.size()) return;
  bandProgress_[static_cast<std::size_t>(band)] = thousandths;
  const long sum = std::accumulate(bandProgress_.begin(), bandProgress_.end(), 0L);
  const int permille =
      inputProgress(page_, pageCount_, static_cast<int>(sum / static_cast<long>(bandProgress_.size())));
  if (settings_.batch != nullptr) {
    settings_.batch->progress(settings_.slot, permille);
  } else {
    drawBar(permille);
  }
}

void CliHost::startPage(int index, int count) {
  std::lock_guard lock(mutex_);
  page_ = index;
  pageCount_ = count;
  std::fill(bandProgress_.begin(), bandProgress_.end(), 0);
  if (settings_.timeLimit) {
    const auto limit = std::chrono::duration_cast<Clock::duration>(*settings_.timeLimit);
    pageDeadline_.store((Clock::now() + limit).time_since_epoch().count());
  }
}

std::string CliHost::stopReason() {
  if (const int signalNumber = stopSignal(); signalNumber != 0) {
    return signalNumber == SIGINT ? "interrupted (SIGINT)" : "terminated (SIGTERM)";
  }
  if (settings_.timeLimit && Clock::now().time_since_epoch().count() > pageDeadline_.load()) {
    char text[64];
    std::snprintf(text, sizeof text, "over the time limit of %g s", settings_.timeLimit->count());
    return text;
  }
  return {};
}

namespace {

constexpr int kFullBar = 30;
constexpr int kShortestLabel = 12;  // the bar narrows before the label gets shorter than this

// The last `room` characters of a UTF-8 text, "..." in front when cut; a cut
// never splits a character.
std::string tailThatFits(const std::string& text, std::size_t room) {
  auto isContinuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
  std::size_t characters = 0;
  for (char c : text) characters += isContinuation(c) ? 0 : 1;
  if (characters <= room) return text;
  if (room <= 3) return {};
  std::size_t start = text.size();
  for (std::size_t kept = 0; kept < room - 3 && start > 0;) {
    --start;
    if (!isContinuation(text[start])) ++kept;
  }
  return "..." + text.substr(start);
}

}  // namespace

std::string progressLine(const std::string& label, int permille, int columns) {
  char percent[16];  // room for any int, as the compiler cannot always see the clamp
  std::snprintf(percent, sizeof percent, "%3d%%", std::clamp(permille, 0, 1000) / 10);
  const int room = std::max(columns - 1, 0);
  // " [" bar "] " percent
  const int barWidth = std::clamp(room - kShortestLabel - 4 - static_cast<int>(std::strlen(percent)), 0, kFullBar);
  std::string tail = percent;
  if (barWidth > 0) {
    const int filled = std::clamp(permille, 0, 1000) * barWidth / 1000;
    tail = " [" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(barWidth - filled), '.') + "] " + tail;
  } else {
    tail = " " + tail;
  }
  const int labelRoom = room - static_cast<int>(tail.size());
  const std::string shortened = labelRoom > 0 ? tailThatFits(label, static_cast<std::size_t>(labelRoom)) : "";
  return shortened.empty() ? std::string(percent) : shortened + tail;
}

void CliHost::drawBar(int permille) {
  const int percent = permille / 10;
  if (percent == drawnPercent_) return;
  drawnPercent_ = percent;
  std::fprintf(stderr, "\r%s\033[K", progressLine(label_, permille, terminalColumns()).c_str());
  std::fflush(stderr);
}

void CliHost::diagnosticLine(std::string_view line) {
  if (!settings_.verbose) return;
  if (settings_.holdLines) {
    std::lock_guard lock(mutex_);
    heldLines_ += line;
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);  // one locked write: lines stay whole
}

void CliHost::finishProgress() {
  std::lock_guard lock(mutex_);
  clearBar();
}

void CliHost::clearBar() {
  if (drawnPercent_ < 0) return;
  std::fprintf(stderr, "\r\033[K");
  drawnPercent_ = -1;
}

}  // namespace glimmer::cli
