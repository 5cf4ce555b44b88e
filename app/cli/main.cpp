// glimmer-cli: the batch front end. Processes each input in turn; one failure
// does not stop the rest.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/cli_host.h"
#include "app/cli/cli_options.h"
#include "app/shell/output_folder.h"
#include "pipeline/driver.h"
#include "system/core_count.h"
#include "system/interrupt_cleanup.h"

namespace {

namespace fs = std::filesystem;
using glimmer::cli::Options;

int usageError(const std::string& message) {
  std::fprintf(stderr, "glimmer-cli: %s\nTry 'glimmer-cli --help'.\n", message.c_str());
  return 2;
}

// The page read from standard input, stored as kStandardInputName in a
// private temporary folder for the run, so that the driver reads it like any
// file; removed with the folder, also when a signal ends the run.
class StandardInputPage {
 public:
  StandardInputPage() = default;
  StandardInputPage(const StandardInputPage&) = delete;
  StandardInputPage& operator=(const StandardInputPage&) = delete;
  ~StandardInputPage() {
    pageCleanup_.release();
    folderCleanup_.release();
    if (folder_ >= 0) {
      ::unlinkat(folder_, glimmer::cli::kStandardInputName, 0);
      ::close(folder_);
    }
    if (parent_ >= 0) {
      ::unlinkat(parent_, folderName_.c_str(), AT_REMOVEDIR);
      ::close(parent_);
    }
  }

  // Copies standard input; returns why it could not, or nothing.
  std::optional<std::string> store() {
    if (::isatty(STDIN_FILENO) != 0) return "standard input is a terminal, not a page";
    const fs::path temporaryFolder = fs::temp_directory_path();
    std::string pattern = (temporaryFolder / "glimmer-stdin-XXXXXX").string();
    parent_ = ::open(temporaryFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (parent_ < 0) return "cannot store standard input (" + reason() + ")";
    {
      const glimmer::InterruptsHeld held;  // the folder and its removal in one step
      if (::mkdtemp(pattern.data()) == nullptr) return "cannot store standard input (" + reason() + ")";
      folderName_ = fs::path(pattern).filename();
      folderCleanup_ = glimmer::InterruptCleanup::removeFolder(parent_, folderName_);
    }
    folder_ = ::open(pattern.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0) return "cannot store standard input (" + reason() + ")";
    pageCleanup_ = glimmer::InterruptCleanup::removeFile(folder_, glimmer::cli::kStandardInputName);
    path_ = (fs::path(pattern) / glimmer::cli::kStandardInputName).string();
    std::FILE* file = std::fopen(path_.c_str(), "wbx");
    if (file == nullptr) return "cannot store standard input (" + reason() + ")";
    char buffer[1 << 16];
    bool failed = false;
    for (std::size_t got = 0; !failed && (got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) {
      failed = std::fwrite(buffer, 1, got, file) != got;
    }
    failed = std::fclose(file) != 0 || failed;
    if (failed) return "cannot store standard input (" + reason() + ")";
    if (std::ferror(stdin)) return "cannot read standard input";
    return std::nullopt;
  }

  const std::string& path() const { return path_; }

 private:
  static std::string reason() { return std::strerror(errno); }
  int parent_ = -1;
  int folder_ = -1;
  std::string folderName_;
  std::string path_;
  glimmer::InterruptCleanup folderCleanup_;
  glimmer::InterruptCleanup pageCleanup_;
};

enum class Outcome { Done, Damaged, Skipped, Failed };

struct InputResult {
  Outcome outcome = Outcome::Done;
  std::string reason;  // why it failed
};

// The outputs written so far in this run, by file identity, with the input
// each was made from: two inputs of a batch may map to one output name.
using WrittenOutputs = std::map<std::pair<dev_t, ino_t>, std::string>;

std::optional<std::pair<dev_t, ino_t>> identityOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return std::make_pair(status.st_dev, status.st_ino);
}

InputResult processOne(const Options& options, const std::string& input, int bands, WrittenOutputs& written) {
  const bool fromStandardInput = input == glimmer::cli::kStandardInput;
  const std::string label = fromStandardInput ? "(standard input)" : input;
  StandardInputPage standardInput;
  if (fromStandardInput) {
    if (auto problem = standardInput.store()) {
      std::fprintf(stderr, "glimmer-cli: %s: %s\n", label.c_str(), problem->c_str());
      return {Outcome::Failed, *problem};
    }
  }

  const bool stderrIsTerminal = ::isatty(STDERR_FILENO) != 0;
  glimmer::cli::HostSettings settings;
  settings.assumeYes = options.assumeYes;
  // An answer read from standard input would be read from the page.
  settings.canAsk = stderrIsTerminal && ::isatty(STDIN_FILENO) != 0 && !fromStandardInput;
  settings.showProgress = stderrIsTerminal && !options.verbose;
  settings.verbose = options.verbose;
  glimmer::cli::CliHost host(settings, label, bands);

  glimmer::ProcessRequest request;
  request.inputPath = fromStandardInput ? standardInput.path() : input;
  request.outputPath = glimmer::cli::outputPathFor(options, input);
  request.writeRows = options.writeRows;
  request.writeChars = options.writeChars;
  request.keepMarks = options.keepMarks;
  request.coordinateFolder = glimmer::cli::coordinateFolderFor(options, input);
  request.bandCount = bands;
  request.pdfDpi = options.pdfDpi;
  request.bilevel = options.bilevel;
  request.dashIsStandardOutput = true;
  const bool toStandardOutput = request.outputPath == glimmer::cli::kStandardOutput;
  const auto earlier = toStandardOutput ? std::nullopt : identityOf(request.outputPath);
  if (const auto found = earlier ? written.find(*earlier) : written.end(); found != written.end()) {
    host.showError("BMP file (" + request.outputPath + ") was already written for " + found->second +
                       " in this run - not replaced",
                   glimmer::kErrorTitle);
    return {Outcome::Failed, host.failure()};
  }
  std::string processedPnm;
  const int status = glimmer::processImageFile(request, host, processedPnm);
  host.finishProgress();
  if (status != 0 && host.declinedOverwrite()) {
    std::fprintf(stderr, "glimmer-cli: kept %s (not overwritten)\n", request.outputPath.c_str());
    return {Outcome::Skipped, {}};
  }
  if (status != 0) return {Outcome::Failed, host.failure().empty() ? std::string("failed") : host.failure()};

  if (const auto made = identityOf(request.outputPath); made && !toStandardOutput) written[*made] = label;
  if (stderrIsTerminal) std::fprintf(stderr, "%s -> %s\n", label.c_str(), request.outputPath.c_str());
  return {host.damaged() ? Outcome::Damaged : Outcome::Done, {}};
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
  if (options.outputFile == glimmer::cli::kStandardOutput && ::isatty(STDOUT_FILENO) != 0) {
    std::fprintf(stderr, "glimmer-cli: standard output is a terminal, not a place for an image (-o -)\n");
    return 1;
  }
  // A folder that cannot take the outputs is reported before any page is analysed.
  const std::string outputFolder = glimmer::cli::outputFolderOf(options);
  if (!outputFolder.empty()) {
    if (const std::string problem = glimmer::outputFolderProblem(outputFolder); !problem.empty()) {
      std::fprintf(stderr, "glimmer-cli: %s: %s\n", problem.c_str(), outputFolder.c_str());
      return 1;
    }
  }

  const int bands = options.bands.value_or(std::clamp(glimmer::countProcessorCores(), 1, 64));
  std::vector<std::pair<std::string, std::string>> failures;
  WrittenOutputs written;
  std::size_t damaged = 0;
  for (const std::string& input : options.inputs) {
    const InputResult result = processOne(options, input, bands, written);
    if (result.outcome == Outcome::Failed) failures.emplace_back(input, result.reason);
    if (result.outcome == Outcome::Damaged) ++damaged;
  }
  // Damaged pages have their output, but are not passed off as sound.
  if (damaged > 0) {
    std::fprintf(stderr, "glimmer-cli: %zu of %zu inputs damaged (processed with a warning)\n", damaged,
                 options.inputs.size());
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
