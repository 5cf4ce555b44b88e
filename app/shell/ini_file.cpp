#include "app/shell/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "system/output_file.h"
#include "system/path_text.h"

namespace glimmer {

namespace {

std::string trimBlanks(const std::string& text) {
  const char* blanks = " \t\r";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool sameName(const std::string& a, const std::string& b) { return toLowerCopy(trimBlanks(a)) == toLowerCopy(b); }

// The section name of a "[name]" header line.
std::optional<std::string> sectionHeaderName(const std::string& line) {
  const std::string trimmed = trimBlanks(line);
  if (trimmed.size() < 2 || trimmed.front() != '[') return std::nullopt;
  const std::size_t close = trimmed.find(']');
  if (close == std::string::npos) return std::nullopt;
  return trimmed.substr(1, close - 1);
}

// True when `line` is a "key=value" line for `key`; a comment line never is.
bool isKeyLine(const std::string& line, const std::string& key) {
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos) return false;
  const std::string name = trimBlanks(line.substr(0, equals));
  return !name.empty() && name.front() != ';' && sameName(name, key);
}

bool isSectionLine(const std::string& line, const std::string& section) {
  const std::optional<std::string> name = sectionHeaderName(line);
  return name && sameName(*name, section);
}

// The file split at "\n"; a final line without one counts as a line. Only a
// regular file is read: a FIFO under the name would hold the program for ever.
std::optional<std::vector<std::string>> readLines(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat status {};
  std::string content;
  bool failed = ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode);
  char buffer[4096];
  while (!failed) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      failed = count < 0;
      break;
    }
    content.append(buffer, static_cast<std::size_t>(count));
  }
  ::close(fd);
  if (failed) return std::nullopt;
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    lines.push_back(content.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Replaced whole or not at all, keeping the old file's mode; a settings file
// kept as a link to a dotfile is written at the link's target.
bool writeFileAtomically(const std::string& path, const std::string& content) {
  std::error_code ignored;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
  OutputFile output(path, {.mayReplace = true});
  return output.write(content) && output.commit();
}

}  // namespace

std::optional<std::string> readIniValue(const std::string& path, const std::string& section, const std::string& key) {
  const std::optional<std::vector<std::string>> lines = readLines(path);
  if (!lines) return std::nullopt;
  bool inSection = false;
  bool sectionSeen = false;
  for (const std::string& line : *lines) {
    if (const std::optional<std::string> name = sectionHeaderName(line)) {
      if (sectionSeen) return std::nullopt;  // only the first such section counts
      inSection = sameName(*name, section);
      sectionSeen = inSection;
    } else if (inSection && isKeyLine(line, key)) {
      return trimBlanks(line.substr(line.find('=') + 1));
    }
  }
  return std::nullopt;
}

bool writeIniValue(const std::string& path, const std::string& section, const std::string& key,
                   const std::string& value) {
  if (path.empty()) return false;
  std::optional<std::vector<std::string>> existing = readLines(path);
  if (!existing && fileExists(path)) return false;  // never replace a file we could not read
  std::vector<std::string> lines = existing.value_or(std::vector<std::string>{});
  const std::string keyLine = key + "=" + value;

  std::size_t header = 0;
  while (header < lines.size() && !isSectionLine(lines[header], section)) ++header;
  if (header == lines.size()) {
    lines.push_back("[" + section + "]");
    lines.push_back(keyLine);
  } else {
    // New keys go after the section's last key line, before any blank lines
    // or comments that separate it from the next section.
    std::size_t insertAt = header + 1;
    bool replaced = false;
    for (std::size_t i = header + 1; i < lines.size() && !sectionHeaderName(lines[i]); ++i) {
      if (isKeyLine(lines[i], key)) {
        lines[i] = keyLine;
        replaced = true;
        break;
      }
      if (lines[i].find('=') != std::string::npos) insertAt = i + 1;
    }
    if (!replaced) lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), keyLine);
  }

  std::string content;
  for (const std::string& line : lines) content += line + "\n";
  return writeFileAtomically(path, content);
}

}  // namespace glimmer
