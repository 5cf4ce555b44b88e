// Small path and text helpers shared by the shell and the file writers.
// Paths are kept with '/' as the folder separator.
#pragma once

#include <string>

namespace glimmer {

// A copy of `source` with every occurrence of `search` replaced, left to right,
// without overlaps; a replacement is never scanned again. An empty `search`
// leaves the text unchanged.
std::string replaceAll(const std::string& source, const std::string& search, const std::string& replacement);

// A copy with the ASCII letters A to Z lowered; every other byte unchanged.
std::string toLowerCopy(const std::string& text);

// True when the path names anything that exists, a folder included.
bool fileExists(const std::string& path);

// True when the path names an existing folder; a trailing separator and a root
// ("/") are accepted.
bool folderExists(const std::string& path);

}  // namespace glimmer
