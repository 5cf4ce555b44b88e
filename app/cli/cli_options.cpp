#include "app/cli/cli_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <string_view>

#include "formats/page_reader.h"
#include "formats/page_writer.h"

namespace glimmer::cli {

const char* const kUsage =
    "Usage: glimmer-cli [options] INPUT...\n"
    "Removes the background from scanned pages and writes each page's words on white.\n"
    "An INPUT is a page file or a folder: every page file in it, sorted by name.\n"
    "Pages in: Netpbm (P1-P7), PNG, TIFF (every page), WebP, PDF (every page), told\n"
    "by the file's first bytes, and JPEG through djpeg. Pages out: 24-bit BMP\n"
    "(default), PNG, TIFF or PDF, lossless, chosen by the output's extension. An\n"
    "INPUT of '-' reads a page file from standard input; its outputs are named stdin\n"
    "(stdin.bmp).\n"
    "\n"
    "Options (a value may follow as the next argument or as --option=VALUE):\n"
    "  -o, --output FILE     output file, its extension the format (only with a single\n"
    "                        input); - for standard output (a BMP)\n"
    "      --output-dir DIR  folder for the outputs (default: beside each input, NAME.bmp)\n"
    "      --rows            also write INPUT.rows.coords.lisp (word boxes)\n"
    "      --chars           also append to INPUT.chars.coords.lisp (letters)\n"
    "      --format FORMAT   bmp, png, tif or pdf: the outputs --output-dir or the input's\n"
    "                        folder get (NAME.png, ...); with -o its extension chooses\n"
    "      --bilevel         one bit a pixel, every pixel below 255 black (PNG 1-bit,\n"
    "                        TIFF Group 4, PDF Group 4); not for BMP\n"
    "      --pdf-dpi N       resolution PDF pages are drawn at, 10 to 2400 (default 300)\n"
    "      --keep-marks      also keep dots, accents, punctuation; clear filled counters\n"
    "      --bands N         analysis threads a page, 1 to 64 (default: physical cores,\n"
    "                        shared among the jobs)\n"
    "      --jobs N          pages processed at once, 0 to 64 (default 1); 0 means one\n"
    "                        page a physical core, each at one band\n"
    "  -r, --recursive       search folder inputs in their subfolders too\n"
    "      --from LIST       also take the inputs named in LIST, one a line (- for\n"
    "                        standard input); blank lines are skipped\n"
    "      --skip-existing   skip an input whose output exists: run a stopped batch\n"
    "                        again to finish it\n"
    "      --diagnostics DIR write each page's scores.txt, logger.txt and skeleton.bmp\n"
    "                        to DIR/NAME/ (NAME: the output's name without extension)\n"
    "      --time-limit SEC  give up a page still being analysed after SEC seconds\n"
    "                        (up to 86400); it counts as failed and the batch goes on\n"
    "  -y, --yes             overwrite existing outputs without asking\n"
    "      --verbose         print the driver's per-column diagnostics on standard output\n"
    "  -h, --help            show this help\n"
    "      --version         show the version\n"
    "\n"
    "INPUT.rows.coords.lisp carries the input's whole name (page.pnm.rows.coords.lisp),\n"
    "in the output folder when one is given, else beside the input.\n"
    "A value that starts with '-' is refused as a likely slip (-o -y); write --output=-y\n"
    "or ./-y for a file of that name. Arguments after -- are all inputs.\n"
    "An input of several pages gives one TIFF or PDF holding every page, in order, or\n"
    "one BMP or PNG a page: NAME-0001.bmp, NAME-0002.bmp, ... A page that cannot be\n"
    "read stops that input; the pages before it are kept.\n"
    "Without --diagnostics, scores.txt, logger.txt and skeleton.bmp are written to the\n"
    "current directory when one page runs at a time (--jobs 1), and not at all with\n"
    "more jobs, so that no two pages write one file. For an input of several pages\n"
    "they describe the last page processed.\n"
    "Folder inputs: page files are told by their first bytes (JPEG by .jpg/.jpeg);\n"
    "hidden files and links to folders are passed over, and so are the output and\n"
    "diagnostics folders. With --output-dir, pages from subfolders keep them.\n"
    "Answering no to an overwrite question keeps the old file and skips that input.\n"
    "Ctrl-C (or SIGTERM) stops a batch: running pages are abandoned, nothing partial\n"
    "is left, and the summary says what was done; a second Ctrl-C ends it at once.\n"
    "Exit status: 0 when no input failed (skipped ones included), 1 when any failed,\n"
    "2 for bad usage, 130 when stopped by Ctrl-C (SIGINT), 143 by SIGTERM.\n";

namespace {

std::optional<int> parseWholeNumber(const std::string& text, int least, int most) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < least || value > most) return std::nullopt;
  return value;
}

// Seconds as a decimal number above 0 and at most `most`.
std::optional<double> parseSeconds(const std::string& text, double most) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value <= 0 || value > most) {
    return std::nullopt;
  }
  return value;
}

constexpr int kMaxJobs = 64;
constexpr double kMaxTimeLimit = 86400;

// One option: its names and what it does. A flag sets its member; an option
// with a value hands it to `apply`, which returns an error text, or the empty
// text when the value was fine.
struct OptionSpec {
  std::string_view longName;  // without the leading "--"
  char shortName;             // 0: none
  bool Options::*flag;
  std::string (*apply)(Options& options, const std::string& value);
  bool takesValue() const { return apply != nullptr; }
};

constexpr OptionSpec kOptions[] = {
    {"output", 'o', nullptr,
     [](Options& o, const std::string& v) {
       o.outputFile = v;
       return std::string();
     }},
    {"output-dir", 0, nullptr,
     [](Options& o, const std::string& v) {
       o.outputDir = v;
       return std::string();
     }},
    {"bands", 0, nullptr,
     [](Options& o, const std::string& v) {
       o.bands = parseWholeNumber(v, 1, 64);
       return o.bands ? std::string() : "--bands takes a whole number from 1 to 64, not '" + v + "'";
     }},
    {"format", 0, nullptr,
     [](Options& o, const std::string& v) {
       o.format = v == "tiff" ? "tif" : v;
       o.formatGiven = true;
       return o.format == "bmp" || o.format == "png" || o.format == "tif" || o.format == "pdf"
                  ? std::string()
                  : "--format takes bmp, png, tif or pdf, not '" + v + "'";
     }},
    {"pdf-dpi", 0, nullptr,
     [](Options& o, const std::string& v) {
       const std::optional<int> dpi = parseWholeNumber(v, kMinPdfDpi, kMaxPdfDpi);
       o.pdfDpi = dpi.value_or(0);
       return dpi ? std::string() : "--pdf-dpi takes a whole number from 10 to 2400, not '" + v + "'";
     }},
    {"jobs", 0, nullptr,
     [](Options& o, const std::string& v) {
       o.jobs = parseWholeNumber(v, 0, kMaxJobs);
       return o.jobs ? std::string() : "--jobs takes a whole number from 0 to 64, not '" + v + "'";
     }},
    {"from", 0, nullptr,
     [](Options& o, const std::string& v) {
       o.listFiles.push_back(v);
       return std::string();
     }},
    {"diagnostics", 0, nullptr,
     [](Options& o, const std::string& v) {
       o.diagnosticsDir = v;
       return std::string();
     }},
    {"time-limit", 0, nullptr,
     [](Options& o, const std::string& v) {
       o.timeLimitSeconds = parseSeconds(v, kMaxTimeLimit);
       return o.timeLimitSeconds ? std::string()
                                 : "--time-limit takes seconds above 0 and up to 86400, not '" + v + "'";
     }},
    {"recursive", 'r', &Options::recursive, nullptr},
    {"skip-existing", 0, &Options::skipExisting, nullptr},
    {"bilevel", 0, &Options::bilevel, nullptr},
    {"rows", 0, &Options::writeRows, nullptr},
    {"chars", 0, &Options::writeChars, nullptr},
    {"keep-marks", 0, &Options::keepMarks, nullptr},
    {"yes", 'y', &Options::assumeYes, nullptr},
    {"verbose", 0, &Options::verbose, nullptr},
    {"help", 'h', &Options::help, nullptr},
    {"version", 0, &Options::version, nullptr},
};

const OptionSpec* findLong(std::string_view name) {
  for (const OptionSpec& spec : kOptions) {
    if (spec.longName == name) return &spec;
  }
  return nullptr;
}

const OptionSpec* findShort(std::string_view argument) {
  if (argument.size() != 2) return nullptr;
  for (const OptionSpec& spec : kOptions) {
    if (spec.shortName != 0 && spec.shortName == argument[1]) return &spec;
  }
  return nullptr;
}

std::string validate(const Options& options) {
  if (options.help || options.version) return {};
  if (options.inputs.empty() && options.listFiles.empty()) return "no input file given";
  if (!options.outputFile.empty() && !options.outputDir.empty()) return "--output and --output-dir cannot be combined";
  if (!options.outputFile.empty() && options.inputs.size() > 1) {
    return "--output takes a single input; use --output-dir for several";
  }
  if (std::count(options.inputs.begin(), options.inputs.end(), kStandardInput) +
          std::count(options.listFiles.begin(), options.listFiles.end(), kStandardInput) >
      1) {
    return "standard input ('-') can be read only once";
  }
  if (options.formatGiven && !options.outputFile.empty()) {
    return "--format names the outputs; with --output the file's extension chooses the format";
  }
  const std::string anyInput = options.inputs.empty() ? "list" : options.inputs.front();
  if (options.bilevel && outputFormatOf(outputPathFor(options, anyInput)) == OutputFormat::bmp) {
    return "--bilevel needs a PNG, TIFF or PDF output, not BMP";
  }
  if (options.outputFile == kStandardOutput && options.verbose) {
    return "--output - writes the image to standard output, where --verbose writes its lines";
  }
  return {};
}

}  // namespace

ParseResult parseArguments(const std::vector<std::string>& arguments) {
  ParseResult result;
  Options& options = result.options;
  bool onlyInputs = false;
  for (std::size_t i = 0; i < arguments.size() && result.error.empty(); ++i) {
    const std::string& argument = arguments[i];
    if (onlyInputs || argument == kStandardInput || !argument.starts_with("-")) {
      options.inputs.push_back(argument);
      continue;
    }
    if (argument == "--") {
      onlyInputs = true;
      continue;
    }
    const bool isLong = argument.starts_with("--");
    const std::size_t equals = isLong ? argument.find('=') : std::string::npos;
    const std::string name = argument.substr(0, equals);
    const OptionSpec* spec = isLong ? findLong(std::string_view(name).substr(2)) : findShort(argument);
    if (spec == nullptr) {
      result.error = "unknown option '" + name + "'";
      continue;
    }
    const std::string longName = "--" + std::string(spec->longName);
    if (!spec->takesValue()) {
      if (equals != std::string::npos) result.error = "option " + longName + " takes no value";
      options.*(spec->flag) = true;
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = argument.substr(equals + 1);  // attached: taken as it stands, a leading '-' included
    } else if (i + 1 >= arguments.size()) {
      result.error = "option " + longName + " needs a value";
      continue;
    } else {
      value = arguments[++i];
      // "-o -y" is far more often a forgotten value than a file named -y; "-o -"
      // is standard output and "--from -" standard input.
      const bool dashMeansStream = spec->longName == "output" || spec->longName == "from";
      if (value.starts_with("-") && !(value == "-" && dashMeansStream)) {
        result.error = "option " + longName + " needs a value, not '" + value + "' (write " + longName + "=" + value +
                       " if that is meant)";
        continue;
      }
    }
    if (value.empty()) {
      result.error = "option " + longName + " needs a value";
      continue;
    }
    result.error = spec->apply(options, value);
  }
  if (result.error.empty()) result.error = validate(options);
  return result;
}

std::string outputPathFor(const Options& options, const std::string& input, const std::string& subfolder) {
  if (!options.outputFile.empty()) return options.outputFile;
  const bool fromStandardInput = input == kStandardInput;
  std::filesystem::path name =
      fromStandardInput ? std::filesystem::path(kStandardInputName) : std::filesystem::path(input).filename();
  name.replace_extension("." + options.format);
  if (!options.outputDir.empty()) return (std::filesystem::path(options.outputDir) / subfolder / name).string();
  if (fromStandardInput) return name.string();
  return (std::filesystem::path(input).parent_path() / name).string();
}

std::string coordinateFolderFor(const Options& options, const std::string& input) {
  if (!options.outputDir.empty() || input != kStandardInput) return options.outputDir;
  // A page from standard input has no folder of its own: its files go with its output.
  const std::string folder = std::filesystem::path(outputPathFor(options, input)).parent_path().string();
  return folder.empty() ? "." : folder;
}

std::optional<std::string> diagnosticsFolderFor(const Options& options, const std::string& outputPath,
                                                const std::string& subfolder) {
  if (!options.diagnosticsDir.empty()) {
    const std::filesystem::path name = std::filesystem::path(outputPath).stem();
    return (std::filesystem::path(options.diagnosticsDir) / subfolder / name).string();
  }
  if (options.jobs.value_or(1) == 1) return std::string(".");
  return std::nullopt;
}

Parallelism parallelismFor(const Options& options, int physicalCores) {
  const int cores = std::clamp(physicalCores, 1, kMaxJobs);
  Parallelism parallelism;
  parallelism.jobs = options.jobs.value_or(1) == 0 ? cores : options.jobs.value_or(1);
  const int sharedBands = options.jobs.value_or(1) == 0 ? 1 : std::max(1, cores / parallelism.jobs);
  parallelism.bands = options.bands.value_or(sharedBands);
  return parallelism;
}

std::string outputFolderOf(const Options& options) {
  if (!options.outputDir.empty()) return options.outputDir;
  if (options.outputFile.empty()) return {};
  const std::string folder = std::filesystem::path(options.outputFile).parent_path().string();
  return folder.empty() ? "." : folder;
}

}  // namespace glimmer::cli
