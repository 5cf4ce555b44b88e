// glimmer-cli: the batch front end. Processes each input in turn; one failure
// does not stop the rest.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/cli_host.h"
#include "app/cli/cli_options.h"
#include "formats/jpeg_conversion.h"
#include "pipeline/driver.h"
#include "system/core_count.h"

namespace {

using glimmer::cli::Options;

int usageError(const std::string& message) {
  std::fprintf(stderr, "glimmer-cli: %s\nTry 'glimmer-cli --help'.\n", message.c_str());
  return 2;
}

// Runs one input; returns the reason it failed, or nothing on success.
std::optional<std::string> processOne(const Options& options, const std::string& input, int bands) {
  const bool stderrIsTerminal = ::isatty(STDERR_FILENO) != 0;
  glimmer::cli::HostSettings settings;
  settings.assumeYes = options.assumeYes;
  settings.canAsk = stderrIsTerminal && ::isatty(STDIN_FILENO) != 0;
  settings.showProgress = stderrIsTerminal && !options.verbose;
  settings.verbose = options.verbose;
  glimmer::cli::CliHost host(settings, input, bands);

  glimmer::ProcessRequest request;
  request.inputPath = input;
  request.outputPath = glimmer::cli::outputPathFor(options, input);
  request.writeRows = options.writeRows;
  request.writeChars = options.writeChars;
  request.keepMarks = options.keepMarks;
  request.coordinateFolder = glimmer::cli::coordinateFolderFor(options);
  request.bandCount = bands;
  std::string processedPnm;
  const int status = glimmer::processImageFile(request, host, processedPnm);
  host.finishProgress();
  if (status != 0) return host.failure().empty() ? std::string("failed") : host.failure();

  glimmer::removeConvertedPnm(processedPnm);  // the decoded page of a JPEG input; any other path is left alone
  if (stderrIsTerminal) std::fprintf(stderr, "%s -> %s\n", input.c_str(), request.outputPath.c_str());
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  const glimmer::cli::ParseResult parsed = glimmer::cli::parseArguments({argv + 1, argv + argc});
  if (!parsed.error.empty()) return usageError(parsed.error);
  const Options& options = parsed.options;
  if (options.help) {
    std::fputs(glimmer::cli::kUsage, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("glimmer-cli %s\n", GLIMMER_VERSION);
    return 0;
  }
  if (!options.outputDir.empty() && !std::filesystem::is_directory(options.outputDir)) {
    std::fprintf(stderr, "glimmer-cli: Output folder does not exist: %s\n", options.outputDir.c_str());
    return 1;
  }

  const int bands = options.bands.value_or(std::clamp(glimmer::countProcessorCores(), 1, 64));
  std::vector<std::pair<std::string, std::string>> failures;
  for (const std::string& input : options.inputs) {
    if (auto failure = processOne(options, input, bands)) failures.emplace_back(input, *failure);
  }
  if (failures.empty()) return 0;
  if (options.inputs.size() > 1) {
    std::fprintf(stderr, "glimmer-cli: %zu of %zu inputs failed:\n", failures.size(), options.inputs.size());
    for (const auto& [input, reason] : failures) std::fprintf(stderr, "  %s: %s\n", input.c_str(), reason.c_str());
  }
  return 1;
}
