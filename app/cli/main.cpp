// glimmer-cli: the batch front end. Processes each input in turn; one failure
// does not stop the rest.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/cli_host.h"
#include "app/cli/cli_options.h"
#include "pipeline/driver.h"
#include "system/core_count.h"
#include "system/interrupt_cleanup.h"

namespace {

using glimmer::cli::Options;

int usageError(const std::string& message) {
  std::fprintf(stderr, "glimmer-cli: %s\nTry 'glimmer-cli --help'.\n", message.c_str());
  return 2;
}

// The outputs written so far in this run, by file identity, with the input
// each was made from: two inputs of a batch may map to one output name.
using WrittenOutputs = std::map<std::pair<dev_t, ino_t>, std::string>;

std::optional<std::pair<dev_t, ino_t>> identityOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return std::make_pair(status.st_dev, status.st_ino);
}

// Runs one input; returns the reason it failed, or nothing on success.
std::optional<std::string> processOne(const Options& options, const std::string& input, int bands,
                                      WrittenOutputs& written) {
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
  request.coordinateFolder = glimmer::cli::coordinateFolderFor(options);
  request.bandCount = bands;
  request.dashIsStandardOutput = true;
  const bool toStandardOutput = request.outputPath == "-";
  const auto earlier = toStandardOutput ? std::nullopt : identityOf(request.outputPath);
  if (const auto found = earlier ? written.find(*earlier) : written.end(); found != written.end()) {
    host.showError("BMP file (" + request.outputPath + ") was already written for " + found->second +
                       " in this run - not replaced",
                   glimmer::kErrorTitle);
    return host.failure();
  }
  std::string processedPnm;
  const int status = glimmer::processImageFile(request, host, processedPnm);
  host.finishProgress();
  if (status != 0) return host.failure().empty() ? std::string("failed") : host.failure();

  if (const auto made = identityOf(request.outputPath); made && !toStandardOutput) written[*made] = input;
  if (stderrIsTerminal) std::fprintf(stderr, "%s -> %s\n", input.c_str(), request.outputPath.c_str());
  return std::nullopt;
}

// Standard output carries the help, the version, the --verbose lines and an
// image written to "-": losing any of it fails the run. A reader that went away
// (a closed pipe) ends it quietly.
int withStandardOutputChecked(int status) {
  errno = 0;
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return status;
  if (errno != EPIPE) {
    std::fprintf(stderr, "glimmer-cli: cannot write to standard output: %s\n",
                 errno != 0 ? std::strerror(errno) : "write error");
  }
  return 1;
}

int run(int argc, char** argv) {
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
  WrittenOutputs written;
  for (const std::string& input : options.inputs) {
    if (auto failure = processOne(options, input, bands, written)) failures.emplace_back(input, *failure);
  }
  if (failures.empty()) return 0;
  if (options.inputs.size() > 1) {
    std::fprintf(stderr, "glimmer-cli: %zu of %zu inputs failed:\n", failures.size(), options.inputs.size());
    for (const auto& [input, reason] : failures) std::fprintf(stderr, "  %s: %s\n", input.c_str(), reason.c_str());
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Temporaries of a run that a signal ends are removed, and the decoder with it.
  glimmer::installInterruptCleanup();
  return withStandardOutputChecked(run(argc, argv));
}
