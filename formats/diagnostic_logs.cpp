#include "formats/diagnostic_logs.h"

namespace glimmer {

DiagnosticFiles::DiagnosticFiles()
    : scores_(std::fopen("scores.txt", "w+b")), logger_(std::fopen("logger.txt", "w+b")) {}

void DiagnosticFiles::LockedFileSink::write(std::string_view text) {
  if (!file_) return;
  std::lock_guard lock(mutex_);
  std::fwrite(text.data(), 1, text.size(), file_.get());
}

}  // namespace glimmer
