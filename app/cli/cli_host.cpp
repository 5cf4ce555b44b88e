#include "app/cli/cli_host.h"

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
  if (!yes) failure_ = "not overwritten";
  return yes;
}

void CliHost::reportProgress(int band, int thousandths) {
  if (!settings_.showProgress) return;
  std::lock_guard lock(mutex_);
  if (band < 0 || static_cast<std::size_t>(band) >= bandProgress_.size()) return;
  bandProgress_[static_cast<std::size_t>(band)] = thousandths;
  const long sum = std::accumulate(bandProgress_.begin(), bandProgress_.end(), 0L);
  drawBar(static_cast<int>(sum / static_cast<long>(bandProgress_.size())));
}

void CliHost::drawBar(int permille) {
  constexpr int kWidth = 30;
  const int percent = permille / 10;
  if (percent == drawnPercent_) return;
  drawnPercent_ = percent;
  const int filled = permille * kWidth / 1000;
  std::fprintf(stderr, "\r%s [%s%s] %3d%%", label_.c_str(), std::string(static_cast<std::size_t>(filled), '#').c_str(),
               std::string(static_cast<std::size_t>(kWidth - filled), '.').c_str(), percent);
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
