// What a glimmer-cli run will do: its inputs (files, folders, list files)
// turned into one item a page file, each with its outputs, and the items
// that must not run (listed twice, or writing where another item writes).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/cli/cli_options.h"

namespace glimmer::cli {

struct BatchItem {
  std::string input;      // as given, or as found below a folder input
  std::string label;      // the input for messages, unprintable bytes escaped
  std::string subfolder;  // where a page found in a folder lies below it
  std::string outputPath;
  std::string coordinateFolder;
  std::optional<std::string> diagnosticsFolder;
  // Set when the item must not run: it fails with this reason, or is skipped
  // when `skip` is set.
  std::string problem;
  bool skip = false;
};

struct BatchPlan {
  std::vector<BatchItem> items;
  std::string usageError;  // a list that cannot be read, -o with several pages: nothing runs
};

BatchPlan planBatch(const Options& options);

// True when the file's first bytes (or, for JPEG, its name) make it a page
// file this program reads.
bool isPageFile(const std::string& path);

// The path with every byte that is not printable UTF-8 written as \xNN.
std::string printablePath(const std::string& path);

}  // namespace glimmer::cli
