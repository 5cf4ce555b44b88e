#include "system/child_process.h"

namespace glimmer {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false;  // distinguishes an empty quoted argument from none
  bool inQuotes = false;
  std::size_t i = 0;
  while (i < commandLine.size()) {
    const char c = commandLine[i];
    if (c == '\\') {
      std::size_t backslashes = 0;
      while (i < commandLine.size() && commandLine[i] == '\\') {
        ++backslashes;
        ++i;
      }
      inArgument = true;
      if (i < commandLine.size() && commandLine[i] == '"') {
        current.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          current += '"';
          ++i;
        }
      } else {
        current.append(backslashes, '\\');
      }
      continue;
    }
    if (c == '"') {
      inQuotes = !inQuotes;
      inArgument = true;
    } else if (isBlank(c) && !inQuotes) {
      if (inArgument) arguments.push_back(std::move(current));
      current.clear();
      inArgument = false;
    } else {
      current += c;
      inArgument = true;
    }
    ++i;
  }
  if (inArgument) arguments.push_back(std::move(current));
  return arguments;
}

}  // namespace glimmer
