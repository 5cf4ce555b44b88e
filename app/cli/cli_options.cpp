#include "app/cli/cli_options.h"

#include <charconv>
#include <filesystem>

namespace glimmer::cli {

const char* const kUsage =
    "Usage: glimmer-cli [options] INPUT...\n"
    "Removes the background from scanned pages (binary PNM, or JPEG through djpeg) and\n"
    "writes each page's words on white as a 24-bit BMP.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE     output BMP (only with a single input)\n"
    "      --output-dir DIR  folder for the outputs (default: beside each input, NAME.bmp)\n"
    "      --rows            also write NAME.rows.coords.lisp (word boxes)\n"
    "      --chars           also append to NAME.chars.coords.lisp (letters)\n"
    "      --keep-marks      also keep dots, accents, punctuation; clear filled counters\n"
    "      --bands N         analysis threads, 1 to 64 (default: physical cores)\n"
    "  -y, --yes             overwrite existing outputs without asking\n"
    "      --verbose         print the driver's per-column diagnostics on standard output\n"
    "  -h, --help            show this help\n"
    "      --version         show the version\n"
    "\n"
    "scores.txt, logger.txt and skeleton.bmp are written to the current directory.\n"
    "Exit status: 0 when every input succeeded, 1 when any failed, 2 for bad usage.\n";

namespace {

std::optional<int> parseBandCount(const std::string& text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > 64) return std::nullopt;
  return value;
}

}  // namespace

ParseResult parseArguments(const std::vector<std::string>& arguments) {
  ParseResult result;
  Options& options = result.options;
  bool onlyInputs = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    auto value = [&](const char* name) -> std::optional<std::string> {
      if (i + 1 >= arguments.size()) {
        result.error = std::string("option ") + name + " needs a value";
        return std::nullopt;
      }
      return arguments[++i];
    };
    if (onlyInputs || argument == "-" || !argument.starts_with("-")) {
      options.inputs.push_back(argument);
    } else if (argument == "--") {
      onlyInputs = true;
    } else if (argument == "-o" || argument == "--output") {
      if (auto file = value("--output")) options.outputFile = *file;
    } else if (argument == "--output-dir") {
      if (auto dir = value("--output-dir")) options.outputDir = *dir;
    } else if (argument == "--bands") {
      if (auto count = value("--bands")) {
        options.bands = parseBandCount(*count);
        if (!options.bands) result.error = "--bands takes a whole number from 1 to 64, not '" + *count + "'";
      }
    } else if (argument == "--rows") {
      options.writeRows = true;
    } else if (argument == "--chars") {
      options.writeChars = true;
    } else if (argument == "--keep-marks") {
      options.keepMarks = true;
    } else if (argument == "-y" || argument == "--yes") {
      options.assumeYes = true;
    } else if (argument == "--verbose") {
      options.verbose = true;
    } else if (argument == "-h" || argument == "--help") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else {
      result.error = "unknown option '" + argument + "'";
    }
    if (!result.error.empty()) return result;
  }
  if (options.help || options.version) return result;
  if (options.inputs.empty()) {
    result.error = "no input file given";
  } else if (!options.outputFile.empty() && !options.outputDir.empty()) {
    result.error = "--output and --output-dir cannot be combined";
  } else if (!options.outputFile.empty() && options.inputs.size() > 1) {
    result.error = "--output takes a single input; use --output-dir for several";
  }
  return result;
}

std::string outputPathFor(const Options& options, const std::string& input) {
  if (!options.outputFile.empty()) return options.outputFile;
  std::filesystem::path name = std::filesystem::path(input).filename();
  name.replace_extension(".bmp");
  if (options.outputDir.empty()) return (std::filesystem::path(input).parent_path() / name).string();
  return (std::filesystem::path(options.outputDir) / name).string();
}

std::string coordinateFolderFor(const Options& options) { return options.outputDir; }

}  // namespace glimmer::cli
