#include "app/cli/cli_host.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <numeric>

namespace glimmer::cli {

CliHost::CliHost(HostSettings settings, std::string inputLabel, int bandCount)
    : settings_(settings), label_(std::move(inputLabel)), bandProgress_(static_cast<std::size_t>(bandCount), 0) {}

void CliHost::showError(const std::string& text, const std::string&) {
  std::lock_guard lock(mutex_);
  clearBar();
  failure_ = text;
  std::fprintf(stderr, "glimmer-cli: %s: %s\n", label_.c_str(), text.c_str());
}

void CliHost::showWarning(const std::string& text) {
  std::lock_guard lock(mutex_);
  clearBar();
  damaged_ = true;
  std::fprintf(stderr, "glimmer-cli: %s: warning: %s\n", label_.c_str(), text.c_str());
}

bool CliHost::askYesNo(const std::string& text, const std::string&) {
  if (settings_.assumeYes) return true;
  std::lock_guard lock(mutex_);
  if (!settings_.canAsk) {
    failure_ = text + " (not overwritten; use --yes)";
    std::fprintf(stderr, "glimmer-cli: %s: %s\n", label_.c_str(), failure_.c_str());
    return false;
  }
  std::fprintf(stderr, "glimmer-cli: %s [y/N] ", text.c_str());
  std::fflush(stderr);
  std::string answer;
  std::getline(std::cin, answer);
  const bool yes = answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
  declinedOverwrite_ = !yes;
  return yes;
}

void CliHost::reportProgress(int band, int thousandths) {
  if (!settings_.showProgress) return;
  std::lock_guard lock(mutex_);
  if (band < 0 || static_cast<std::size_t>(band) >= bandProgress_.size()) return;
  bandProgress_[static_cast<std::size_t>(band)] = thousandths;
  const long sum = std::accumulate(bandProgress_.begin(), bandProgress_.end(), 0L);
  drawBar(inputProgress(page_, pageCount_, static_cast<int>(sum / static_cast<long>(bandProgress_.size()))));
}

void CliHost::startPage(int index, int count) {
  std::lock_guard lock(mutex_);
  page_ = index;
  pageCount_ = count;
  std::fill(bandProgress_.begin(), bandProgress_.end(), 0);
}

namespace {

constexpr int kFullBar = 30;
constexpr int kShortestLabel = 12;  // the bar narrows before the label gets shorter than this
constexpr int kDefaultColumns = 80;

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

// The terminal's width, read afresh at every redraw so that a resized window is followed.
int terminalColumns() {
  struct winsize size {};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return kDefaultColumns;
}

}  // namespace

std::string progressLine(const std::string& label, int permille, int columns) {
  char percent[8];
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
