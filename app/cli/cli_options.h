// The command line of glimmer-cli and how each input maps to its outputs.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace glimmer::cli {

struct Options {
  std::vector<std::string> inputs;
  std::string outputFile;  // -o: only with one input
  std::string outputDir;   // --output-dir: empty means beside each input
  bool writeRows = false;
  bool writeChars = false;
  bool keepMarks = false;
  std::optional<int> bands;  // default: the machine's core count
  bool assumeYes = false;
  bool verbose = false;
  bool help = false;
  bool version = false;
};

struct ParseResult {
  Options options;
  std::string error;  // non-empty: bad usage
};

ParseResult parseArguments(const std::vector<std::string>& arguments);

// Where one input's BMP goes: -o, else NAME.bmp in the output folder or beside the input.
std::string outputPathFor(const Options& options, const std::string& input);

// The folder for the coordinate files: the output folder when one is given, else beside the input.
std::string coordinateFolderFor(const Options& options);

extern const char* const kUsage;

}  // namespace glimmer::cli
