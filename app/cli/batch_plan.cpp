#include "app/cli/batch_plan.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <utility>

#include "formats/jpeg_conversion.h"
#include "formats/page_reader.h"
#include "system/path_text.h"

namespace glimmer::cli {

namespace {

namespace fs = std::filesystem;

using FileIdentity = std::pair<dev_t, ino_t>;

std::optional<FileIdentity> identityOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileIdentity{status.st_dev, status.st_ino};
}

struct FoundPage {
  std::string path;
  std::string subfolder;
};

// The page files below `folder`, sorted by their path; hidden entries, links
// to folders and the folders in `passOver` are left out.
std::vector<FoundPage> pagesInFolder(const std::string& folder, bool recursive, const std::set<FileIdentity>& passOver,
                                     bool& foundSubfolders) {
  std::vector<FoundPage> pages;
  std::vector<std::string> pending{""};
  while (!pending.empty()) {
    const std::string relative = pending.back();
    pending.pop_back();
    std::error_code error;
    for (fs::directory_iterator entry(fs::path(folder) / relative, error), end; !error && entry != end;
         entry.increment(error)) {
      const std::string name = entry->path().filename().string();
      if (name.starts_with(".")) continue;
      const std::string path = entry->path().string();
      std::error_code statusError;
      if (entry->symlink_status(statusError).type() == fs::file_type::directory) {
        const auto identity = identityOf(path);
        if (identity && passOver.contains(*identity)) continue;
        foundSubfolders = true;
        if (recursive) pending.push_back((fs::path(relative) / name).string());
        continue;
      }
      if (entry->is_regular_file(statusError) && isPageFile(path)) pages.push_back({path, relative});
    }
  }
  std::sort(pages.begin(), pages.end(), [](const FoundPage& a, const FoundPage& b) { return a.path < b.path; });
  return pages;
}

// The entries of a list file, one a line; blank lines skipped, a line's
// carriage return dropped.
std::optional<std::vector<std::string>> readList(const std::string& name, std::string& error) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (name != kStandardInput) {
    if (folderExists(name)) {
      error = "cannot read the list " + printablePath(name) + ": " + std::strerror(EISDIR);
      return std::nullopt;
    }
    file.open(name, std::ios::binary);
    if (!file) {
      error = "cannot read the list " + printablePath(name) + ": " + std::strerror(errno);
      return std::nullopt;
    }
    in = &file;
  }
  std::vector<std::string> entries;
  for (std::string line; std::getline(*in, line);) {
    if (line.ends_with('\r')) line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    entries.push_back(line);
  }
  if (in->bad()) {
    error = "cannot read the list " + printablePath(name);
    return std::nullopt;
  }
  return entries;
}

// Where outputs from different spellings of one place meet: the absolute,
// normalised path with links resolved as far as they exist.
std::string placeOf(const std::string& path) {
  std::error_code error;
  const fs::path place = fs::weakly_canonical(fs::absolute(path), error);
  return error ? fs::absolute(path).lexically_normal().string() : place.string();
}

}  // namespace

bool isPageFile(const std::string& path) {
  return isJpegPath(fs::path(path).filename().string()) || detectPageFileFormat(path) != PageFormat::unknown;
}

std::string printablePath(const std::string& path) {
  std::string out;
  for (std::size_t i = 0; i < path.size();) {
    const auto byte = static_cast<unsigned char>(path[i]);
    // The length of a well-formed UTF-8 sequence starting here, or 0.
    std::size_t length = byte < 0x80           ? 1
                         : (byte >> 5) == 0x6  ? 2
                         : (byte >> 4) == 0xE  ? 3
                         : (byte >> 3) == 0x1E ? 4
                                               : 0;
    if (length > 1 && (byte == 0xC0 || byte == 0xC1 || byte > 0xF4)) length = 0;
    for (std::size_t k = 1; k < length; ++k) {
      if (i + k >= path.size() || (static_cast<unsigned char>(path[i + k]) & 0xC0) != 0x80) length = 0;
    }
    if (length == 0 || (length == 1 && (byte < 0x20 || byte == 0x7F))) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
      ++i;
      continue;
    }
    out.append(path, i, length);
    i += length;
  }
  return out;
}

BatchPlan planBatch(const Options& options) {
  BatchPlan plan;
  std::vector<std::string> named = options.inputs;
  for (const std::string& list : options.listFiles) {
    const auto entries = readList(list, plan.usageError);
    if (!entries) return plan;
    named.insert(named.end(), entries->begin(), entries->end());
  }

  // The output and diagnostics folders are never searched for pages.
  std::set<FileIdentity> passOver;
  for (const std::string& folder : {options.outputDir, options.diagnosticsDir}) {
    if (const auto identity = folder.empty() ? std::nullopt : identityOf(folder)) passOver.insert(*identity);
  }

  const auto addItem = [&](const std::string& input, const std::string& subfolder) {
    BatchItem item;
    item.input = input;
    item.label = input == kStandardInput ? "(standard input)" : printablePath(input);
    item.subfolder = subfolder;
    item.outputPath = outputPathFor(options, input, subfolder);
    item.coordinateFolder = coordinateFolderFor(options, input);
    if (!options.outputDir.empty() && !subfolder.empty()) {
      item.coordinateFolder = (fs::path(options.outputDir) / subfolder).string();
    }
    item.diagnosticsFolder = diagnosticsFolderFor(options, item.outputPath, subfolder);
    plan.items.push_back(std::move(item));
  };
  for (const std::string& input : named) {
    if (input == kStandardInput || !folderExists(input)) {
      addItem(input, {});
      continue;
    }
    bool foundSubfolders = false;
    const std::vector<FoundPage> pages = pagesInFolder(input, options.recursive, passOver, foundSubfolders);
    for (const FoundPage& page : pages) addItem(page.path, page.subfolder);
    if (pages.empty()) {
      addItem(input, {});
      plan.items.back().problem = foundSubfolders && !options.recursive
                                      ? "no page files in this folder (-r searches its subfolders)"
                                      : "no page files in this folder";
    }
  }
  if (!options.outputFile.empty() && plan.items.size() != 1) {
    plan.usageError = "--output takes a single input; the inputs name " + std::to_string(plan.items.size()) +
                      " pages: use --output-dir";
    return plan;
  }

  // One item per input file; one input per output; no output over an input.
  std::map<FileIdentity, std::string> inputs;
  std::map<std::string, std::string> missingInputs;  // by place: they have no identity
  std::map<std::string, std::string> outputs;
  for (BatchItem& item : plan.items) {
    if (!item.problem.empty() || item.input == kStandardInput) continue;
    const auto identity = identityOf(item.input);
    const bool isNew = identity ? inputs.emplace(*identity, item.label).second
                                : missingInputs.emplace(placeOf(item.input), item.label).second;
    if (!isNew) {
      const std::string& first = identity ? inputs[*identity] : missingInputs[placeOf(item.input)];
      item.problem = "listed before (as " + first + "); done once";
      item.skip = true;
    }
  }
  for (BatchItem& item : plan.items) {
    if (!item.problem.empty() || item.outputPath == kStandardOutput) continue;
    const auto target = identityOf(item.outputPath);
    const auto own = identityOf(item.input);
    if (const auto found = target ? inputs.find(*target) : inputs.end(); found != inputs.end() && target != own) {
      item.problem = "its output " + printablePath(item.outputPath) + " would replace the input " + found->second +
                     " - choose another --format or --output-dir";
      continue;
    }
    const auto [first, isNew] = outputs.emplace(placeOf(item.outputPath), item.label);
    if (!isNew) {
      item.problem = "its output " + printablePath(item.outputPath) + " is also the output of " + first->second +
                     " in this run - not written";
    }
  }
  return plan;
}

}  // namespace glimmer::cli
