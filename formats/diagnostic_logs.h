// The run's diagnostic files in a folder (the current one unless told
// otherwise): scores.txt, written by
// the stroke-width test and the vote summary, and logger.txt, which stays empty.
// Both replace the previous run's files when the run ends, however it ends (a
// run that stops at a check leaves them empty). They are the program's own
// names: a link or anything but a regular file under them is left alone, and
// a file that cannot be written is skipped silently: diagnostics never stop a run.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "common/line_sink.h"
#include "system/output_file.h"

namespace glimmer {

inline constexpr const char* kScoresFileName = "scores.txt";
inline constexpr const char* kLoggerFileName = "logger.txt";

// `name` in `folder`; the name alone for the current folder ".".
std::string diagnosticFilePath(const std::string& folder, const char* name);

class DiagnosticFiles {
 public:
  explicit DiagnosticFiles(const std::string& folder = ".");
  ~DiagnosticFiles();
  DiagnosticFiles(const DiagnosticFiles&) = delete;
  DiagnosticFiles& operator=(const DiagnosticFiles&) = delete;

  // scores.txt; safe to write from any thread, each call's text kept whole.
  LineSink& scores() { return scores_; }

 private:
  class LockedFileSink : public LineSink {
   public:
    explicit LockedFileSink(const std::string& path);
    void write(std::string_view text) override;
    void commit();

   private:
    std::mutex mutex_;
    OutputFile file_;
  };

  LockedFileSink scores_;
  LockedFileSink logger_;
};

}  // namespace glimmer
