// glimmer-cli: the batch front end. Turns the inputs into a plan of pages and
// runs it; one failure does not stop the rest.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/cli/batch_plan.h"
#include "app/cli/batch_run.h"
#include "app/cli/cli_options.h"
#include "app/shell/output_folder.h"
#include "system/core_count.h"
#include "system/interrupt_cleanup.h"

namespace {

int usageError(const std::string& message) {
  std::fprintf(stderr, "glimmer-cli: %s\nTry 'glimmer-cli --help'.\n", message.c_str());
  return 2;
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
  const glimmer::cli::Options& options = parsed.options;
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

  const glimmer::cli::BatchPlan plan = glimmer::cli::planBatch(options);
  if (glimmer::stopSignal() != 0) glimmer::endByStopSignal();  // while a list was read
  if (!plan.usageError.empty()) return usageError(plan.usageError);
  const glimmer::cli::Parallelism parallelism = glimmer::cli::parallelismFor(options, glimmer::countProcessorCores());
  return glimmer::cli::runBatch(options, plan.items, parallelism);
}

}  // namespace

int main(int argc, char** argv) {
  // Temporaries of a run that a signal ends are removed, and the decoders with
  // it; the first Ctrl-C lets a batch wind down and report what it finished.
  glimmer::installInterruptCleanup();
  glimmer::stopGentlyOnInterrupt();
  return withStandardOutputChecked(run(argc, argv));
}
