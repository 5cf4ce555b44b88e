#include "formats/diagnostic_logs.h"

namespace glimmer {

std::string diagnosticFilePath(const std::string& folder, const char* name) {
  if (folder.empty() || folder == ".") return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

DiagnosticFiles::DiagnosticFiles(const std::string& folder)
    : scores_(diagnosticFilePath(folder, kScoresFileName)), logger_(diagnosticFilePath(folder, kLoggerFileName)) {}

DiagnosticFiles::~DiagnosticFiles() {
  scores_.commit();
  logger_.commit();
}

DiagnosticFiles::LockedFileSink::LockedFileSink(const std::string& path)
    : file_(path, {.mayReplace = true, .ownName = true}) {}

void DiagnosticFiles::LockedFileSink::write(std::string_view text) {
  std::lock_guard lock(mutex_);
  file_.write(text);
}

void DiagnosticFiles::LockedFileSink::commit() {
  std::lock_guard lock(mutex_);
  file_.commit();
}

}  // namespace glimmer
