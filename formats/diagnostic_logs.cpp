#include "formats/diagnostic_logs.h"

namespace glimmer {

DiagnosticFiles::DiagnosticFiles() : scores_(kScoresFileName), logger_(kLoggerFileName) {}

DiagnosticFiles::~DiagnosticFiles() {
  scores_.commit();
  logger_.commit();
}

DiagnosticFiles::LockedFileSink::LockedFileSink(const char* name)
    : file_(name, {.mayReplace = true, .ownName = true}) {}

void DiagnosticFiles::LockedFileSink::write(std::string_view text) {
  std::lock_guard lock(mutex_);
  file_.write(text);
}

void DiagnosticFiles::LockedFileSink::commit() {
  std::lock_guard lock(mutex_);
  file_.commit();
}

}  // namespace glimmer
