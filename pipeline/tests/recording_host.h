// A DriverHost for tests: records what the driver and its bands report.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pipeline/driver_host.h"

namespace glimmer::test_support {

class RecordingHost : public DriverHost {
 public:
  explicit RecordingHost(bool answerYes = true) : answerYes_(answerYes) {}

  void showError(const std::string& text, const std::string& title) override {
    std::lock_guard lock(mutex_);
    errors.emplace_back(text, title);
  }
  void showWarning(const std::string& text) override {
    std::lock_guard lock(mutex_);
    warnings.push_back(text);
  }
  bool askYesNo(const std::string& text, const std::string&) override {
    std::lock_guard lock(mutex_);
    questions.push_back(text);
    return answerYes_;
  }
  void reportProgress(int band, int thousandths) override {
    std::lock_guard lock(mutex_);
    progress[band].push_back(thousandths);
  }
  // Stops the run once `stopAfterReports` progress reports have come in.
  std::string stopReason() override {
    std::lock_guard lock(mutex_);
    std::size_t reports = 0;
    for (const auto& [band, values] : progress) reports += values.size();
    return stopAfterReports >= 0 && reports >= static_cast<std::size_t>(stopAfterReports) ? "told to stop" : "";
  }
  void diagnosticLine(std::string_view line) override {
    std::lock_guard lock(mutex_);
    lines.emplace_back(line);
  }

  std::vector<std::pair<std::string, std::string>> errors;
  std::vector<std::string> warnings;
  std::vector<std::string> questions;
  std::map<int, std::vector<int>> progress;
  std::vector<std::string> lines;
  int stopAfterReports = -1;

 private:
  std::mutex mutex_;
  bool answerYes_;
};

}  // namespace glimmer::test_support
