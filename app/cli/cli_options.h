// The command line of glimmer-cli and how each input maps to its outputs.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace glimmer::cli {

// An input of "-" reads the page from standard input; its outputs are named
// after kStandardInputName.
inline constexpr const char* kStandardInput = "-";
inline constexpr const char* kStandardInputName = "stdin";
// An output file of "-" is standard output.
inline constexpr const char* kStandardOutput = "-";

struct Options {
  std::vector<std::string> inputs;     // files and folders
  std::vector<std::string> listFiles;  // --from: files naming one input a line ("-": standard input)
  bool recursive = false;              // -r: folders are searched in their subfolders too
  std::string outputFile;              // -o: only with one input
  std::string outputDir;               // --output-dir: empty means beside each input
  bool writeRows = false;
  bool writeChars = false;
  bool keepMarks = false;
  std::optional<int> bands;                // default: the machine's core count, shared among the jobs
  std::optional<int> jobs;                 // --jobs: pages at once; 0 is one a physical core at one band
  bool skipExisting = false;               // an input whose outputs exist is skipped
  std::string diagnosticsDir;              // --diagnostics: DIR/NAME/ keeps each page's diagnostic files
  std::optional<double> timeLimitSeconds;  // a page analysed longer is abandoned
  std::string format = "bmp";              // --format: the extension of the outputs it names
  bool formatGiven = false;
  bool bilevel = false;  // PNG, TIFF, PDF outputs of one bit a pixel
  int pdfDpi = 300;      // resolution PDF pages are drawn at
  bool assumeYes = false;
  bool verbose = false;
  bool help = false;
  bool version = false;
};

struct ParseResult {
  Options options;
  std::string error;  // non-empty: bad usage
};

// Options as "--name value", "--name=value" or "-o value"; "--" ends the options.
ParseResult parseArguments(const std::vector<std::string>& arguments);

// Where one input's output goes: -o, else NAME.EXT (EXT from --format, bmp by
// default) in the output folder or beside the input. `subfolder` is where a
// page found in a folder input lies below it; the output folder keeps it.
std::string outputPathFor(const Options& options, const std::string& input, const std::string& subfolder = {});

// The folder for the coordinate files: the output folder when one is given,
// else beside the input (beside the output for standard input).
std::string coordinateFolderFor(const Options& options, const std::string& input);

// The folder for one input's scores.txt, logger.txt and skeleton.bmp:
// DIR/SUBFOLDER/NAME with --diagnostics (NAME: the output's name without its
// extension), the current folder for one job at a time, none otherwise.
std::optional<std::string> diagnosticsFolderFor(const Options& options, const std::string& outputPath,
                                                const std::string& subfolder);

// Pages at once and bands a page: --jobs 0 is one job a physical core at one
// band; the bands default to the cores shared among the jobs.
struct Parallelism {
  int jobs = 1;
  int bands = 1;
};
Parallelism parallelismFor(const Options& options, int physicalCores);

// The folder every output goes to when one is fixed (--output-dir, or the
// folder of -o, "." for a bare name); empty when outputs go beside each input.
std::string outputFolderOf(const Options& options);

extern const char* const kUsage;

}  // namespace glimmer::cli
