// Small path and text helpers shared by the shell and the file writers.
// Paths are kept with '/' as the folder separator.
#pragma once

#include <cstdint>
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

// True when the path leads, through any links, to an existing regular file.
bool regularFileExists(const std::string& path);

// True when the path names an existing folder; a trailing separator and a root
// ("/") are accepted.
bool folderExists(const std::string& path);

// Where page `page` (from 0) of an input of `pageCount` pages is written when
// every page is a file of its own: the path itself for a single page, else
// NAME-0001.EXT, NAME-0002.EXT, ... ("-0001" alone for an empty path).
std::string pageOutputPath(const std::string& path, std::int32_t page, std::int32_t pageCount);

}  // namespace glimmer
