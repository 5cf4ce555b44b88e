#include "system/path_text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace glimmer {

std::string replaceAll(const std::string& source, const std::string& search, const std::string& replacement) {
  if (search.empty()) return source;
  std::string result;
  std::size_t scan = 0;
  for (std::size_t found = source.find(search); found != std::string::npos; found = source.find(search, scan)) {
    result.append(source, scan, found - scan);
    result += replacement;
    scan = found + search.size();
  }
  result.append(source, scan, std::string::npos);
  return result;
}

std::string toLowerCopy(const std::string& text) {
  std::string lowered = text;
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

bool fileExists(const std::string& path) { return !path.empty() && access(path.c_str(), F_OK) == 0; }

bool regularFileExists(const std::string& path) {
  struct stat status {};
  return !path.empty() && stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool folderExists(const std::string& path) {
  // The status query follows a trailing separator and a root as it is, so the
  // path needs no trimming; the status is only read when the query succeeded.
  struct stat status {};
  return !path.empty() && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string pageOutputPath(const std::string& outputPath, std::int32_t page, std::int32_t pageCount) {
  if (pageCount <= 1) return outputPath;
  char number[16];
  std::snprintf(number, sizeof number, "-%04d", page + 1);
  const std::size_t slash = outputPath.rfind('/');
  const std::size_t dot = outputPath.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) {
    return outputPath + number;
  }
  return outputPath.substr(0, dot) + number + outputPath.substr(dot);
}

}  // namespace glimmer
