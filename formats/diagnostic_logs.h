// The run's diagnostic files in the current directory: scores.txt, written by
// the stroke-width test and the vote summary, and logger.txt, which stays empty.
// Both are created, or emptied, when a run starts. A file that cannot be
// created is skipped silently: diagnostics never stop a run.
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <string_view>

#include "common/line_sink.h"

namespace glimmer {

class DiagnosticFiles {
 public:
  DiagnosticFiles();

  // scores.txt; safe to write from any thread, each call's text kept whole.
  LineSink& scores() { return scores_; }

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  using File = std::unique_ptr<std::FILE, FileCloser>;

  class LockedFileSink : public LineSink {
   public:
    explicit LockedFileSink(std::FILE* file) : file_(file) {}
    void write(std::string_view text) override;

   private:
    std::mutex mutex_;
    File file_;
  };

  LockedFileSink scores_;
  File logger_;
};

}  // namespace glimmer
