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
  std::vector<std::string> inputs;
  std::string outputFile;  // -o: only with one input
  std::string outputDir;   // --output-dir: empty means beside each input
  bool writeRows = false;
  bool writeChars = false;
  bool keepMarks = false;
  std::optional<int> bands;    // default: the machine's core count
  std::string format = "bmp";  // --format: the extension of the outputs it names
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
// default) in the output folder or beside the input.
std::string outputPathFor(const Options& options, const std::string& input);

// The folder for the coordinate files: the output folder when one is given,
// else beside the input (beside the output for standard input).
std::string coordinateFolderFor(const Options& options, const std::string& input);

// The folder every output goes to when one is fixed (--output-dir, or the
// folder of -o, "." for a bare name); empty when outputs go beside each input.
std::string outputFolderOf(const Options& options);

extern const char* const kUsage;

}  // namespace glimmer::cli
