#include "app/cli/batch_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <numeric>
#include <optional>
#include <string>
#include <thread>

#include "app/cli/batch_status.h"
#include "app/cli/cli_host.h"
#include "formats/page_reader.h"
#include "formats/page_writer.h"
#include "pipeline/driver.h"
#include "system/interrupt_cleanup.h"
#include "system/path_text.h"

namespace glimmer::cli {

namespace {

namespace fs = std::filesystem;

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
      ::unlinkat(folder_, kStandardInputName, 0);
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
      const InterruptsHeld held;  // the folder and its removal in one step
      if (::mkdtemp(pattern.data()) == nullptr) return "cannot store standard input (" + reason() + ")";
      folderName_ = fs::path(pattern).filename();
      folderCleanup_ = InterruptCleanup::removeFolder(parent_, folderName_);
    }
    folder_ = ::open(pattern.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0) return "cannot store standard input (" + reason() + ")";
    pageCleanup_ = InterruptCleanup::removeFile(folder_, kStandardInputName);
    path_ = (fs::path(pattern) / kStandardInputName).string();
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
  InterruptCleanup folderCleanup_;
  InterruptCleanup pageCleanup_;
};

enum class Outcome { NotStarted, Done, Damaged, Skipped, Failed, Abandoned };

struct ItemResult {
  Outcome outcome = Outcome::NotStarted;
  std::string reason;  // why it failed or was skipped
  std::string lines;   // its diagnostic lines, when they are kept for their turn
  bool finished = false;
};

ItemResult ended(Outcome outcome, std::string reason) {
  ItemResult result;
  result.outcome = outcome;
  result.reason = std::move(reason);
  return result;
}

// Every output the item would write exists: its one file, or for a TIFF or
// PDF input written page by page, the file of every page.
bool outputsExist(const BatchItem& item, const Options& options) {
  if (item.outputPath == kStandardOutput || item.input == kStandardInput) return false;
  if (regularFileExists(item.outputPath)) return true;
  if (holdsManyPages(outputFormatOf(item.outputPath))) return false;
  const PageFormat format = detectPageFileFormat(item.input);
  if (format != PageFormat::tiff && format != PageFormat::pdf) return false;
  ReadOptions readOptions;
  readOptions.pdfDpi = options.pdfDpi;
  const OpenOutcome opened = openPageFile(item.input, readOptions);
  if (!opened.source) return false;
  const std::int32_t count = opened.source->pageCount();
  for (std::int32_t page = 0; page < count; ++page) {
    if (!regularFileExists(pageOutputPath(item.outputPath, page, count))) return false;
  }
  return count > 0;
}

class BatchRun {
 public:
  BatchRun(const Options& options, const std::vector<BatchItem>& items, Parallelism parallelism)
      : options_(options),
        items_(items),
        parallelism_(parallelism),
        jobs_(std::clamp(parallelism.jobs, 1, static_cast<int>(std::max<std::size_t>(items.size(), 1)))),
        stderrIsTerminal_(::isatty(STDERR_FILENO) != 0),
        results_(items.size()),
        status_(static_cast<int>(items.size()), jobs_, stderrIsTerminal_ && !options.verbose && items.size() > 1) {}

  int run() {
    // With several jobs the largest files go first, so that one long page does
    // not run alone at the end while the other cores wait. The results, and
    // the --verbose lines, keep the input order.
    order_.resize(items_.size());
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    if (jobs_ > 1) {
      std::vector<std::uintmax_t> sizes(items_.size());
      for (std::size_t i = 0; i < items_.size(); ++i) {
        std::error_code unknown;
        sizes[i] = items_[i].input == kStandardInput ? 0 : fs::file_size(items_[i].input, unknown);
        if (unknown) sizes[i] = 0;
      }
      std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) { return sizes[a] > sizes[b]; });
    }
    std::vector<std::thread> workers;
    for (int slot = 0; slot < jobs_; ++slot) workers.emplace_back([this, slot] { work(slot); });
    for (std::thread& worker : workers) worker.join();
    // A stopped batch still passes on the lines of every page that finished,
    // in input order, past the pages it never started.
    for (; printed_ < results_.size(); ++printed_) {
      const std::string& lines = results_[printed_].lines;
      std::fwrite(lines.data(), 1, lines.size(), stdout);
    }
    status_.close();
    return summarise();
  }

 private:
  void work(int slot) {
    for (std::size_t next; stopSignal() == 0 && (next = next_.fetch_add(1)) < items_.size();) {
      const std::size_t index = order_[next];
      status_.started(slot);
      ItemResult result = runItem(items_[index], slot);
      status_.finished(slot, result.outcome == Outcome::Skipped);
      publish(index, std::move(result));
    }
  }

  // Records the item's result and passes on, in input order, the diagnostic
  // lines of every item whose turn has come.
  void publish(std::size_t index, ItemResult result) {
    std::lock_guard lock(resultsMutex_);
    results_[index] = std::move(result);
    results_[index].finished = true;
    for (; printed_ < results_.size() && results_[printed_].finished; ++printed_) {
      std::string& lines = results_[printed_].lines;
      std::fwrite(lines.data(), 1, lines.size(), stdout);
      lines = std::string();
    }
  }

  void say(const BatchItem& item, const std::string& text) {
    status_.withTerminal([&] { std::fprintf(stderr, "glimmer-cli: %s: %s\n", item.label.c_str(), text.c_str()); });
  }

  ItemResult runItem(const BatchItem& item, int slot) {
    if (item.skip) {
      say(item, item.problem);
      return ended(Outcome::Skipped, item.problem);
    }
    if (!item.problem.empty()) {
      say(item, item.problem);
      return ended(Outcome::Failed, item.problem);
    }
    if (options_.skipExisting && outputsExist(item, options_)) return ended(Outcome::Skipped, "its output exists");
    // A page found in a subfolder keeps it below the output folder; the
    // output folder itself was checked before the batch began.
    std::vector<std::pair<std::string, const char*>> folders;
    if (!item.subfolder.empty() && !options_.outputDir.empty()) {
      folders.emplace_back(fs::path(item.outputPath).parent_path().string(), "output");
    }
    if (item.diagnosticsFolder && *item.diagnosticsFolder != ".") {
      folders.emplace_back(*item.diagnosticsFolder, "diagnostics");
    }
    for (const auto& [folder, kind] : folders) {
      std::error_code error;
      fs::create_directories(folder, error);
      if (error) {
        const std::string problem =
            std::string("cannot make the ") + kind + " folder " + printablePath(folder) + ": " + error.message();
        say(item, problem);
        return ended(Outcome::Failed, problem);
      }
    }
    const bool fromStandardInput = item.input == kStandardInput;
    StandardInputPage standardInput;
    if (fromStandardInput) {
      if (auto problem = standardInput.store()) {
        say(item, *problem);
        return ended(Outcome::Failed, *problem);
      }
    }

    HostSettings settings;
    settings.assumeYes = options_.assumeYes;
    // An answer read from standard input would be read from the page or the list.
    const bool stdinTaken = fromStandardInput || std::count(options_.listFiles.begin(), options_.listFiles.end(),
                                                            std::string(kStandardInput)) > 0;
    settings.canAsk = stderrIsTerminal_ && ::isatty(STDIN_FILENO) != 0 && !stdinTaken;
    settings.showProgress = stderrIsTerminal_ && !options_.verbose && items_.size() == 1;
    settings.verbose = options_.verbose;
    settings.holdLines = options_.verbose && jobs_ > 1;
    if (options_.timeLimitSeconds) settings.timeLimit = std::chrono::duration<double>(*options_.timeLimitSeconds);
    if (items_.size() > 1) settings.batch = &status_;
    settings.slot = slot;
    CliHost host(settings, item.label, parallelism_.bands);

    ProcessRequest request;
    request.inputPath = fromStandardInput ? standardInput.path() : item.input;
    request.outputPath = item.outputPath;
    request.writeRows = options_.writeRows;
    request.writeChars = options_.writeChars;
    request.keepMarks = options_.keepMarks;
    request.coordinateFolder = item.coordinateFolder;
    request.diagnosticsFolder = item.diagnosticsFolder;
    request.bandCount = parallelism_.bands;
    request.pdfDpi = options_.pdfDpi;
    request.bilevel = options_.bilevel;
    request.dashIsStandardOutput = true;
    std::string processedPnm;
    const int status = processImageFile(request, host, processedPnm);
    host.finishProgress();
    ItemResult result;
    result.lines = host.heldLines();
    if (status != 0 && host.declinedOverwrite()) {
      say(item, "kept " + printablePath(request.outputPath) + " (not overwritten)");
      result.outcome = Outcome::Skipped;
      result.reason = "not overwritten";
    } else if (status != 0) {
      result.outcome = stopSignal() != 0 ? Outcome::Abandoned : Outcome::Failed;
      result.reason = host.failure().empty() ? std::string("failed") : host.failure();
    } else {
      result.outcome = host.damaged() ? Outcome::Damaged : Outcome::Done;
      if (stderrIsTerminal_ && items_.size() == 1) {
        std::fprintf(stderr, "%s -> %s\n", item.label.c_str(), printablePath(request.outputPath).c_str());
      }
    }
    return result;
  }

  int summarise() {
    std::size_t counts[6] = {};
    for (const ItemResult& result : results_) ++counts[static_cast<int>(result.outcome)];
    const auto count = [&](Outcome outcome) { return counts[static_cast<int>(outcome)]; };
    const std::size_t total = items_.size();
    // Damaged pages have their output, but are not passed off as sound.
    if (count(Outcome::Damaged) > 0) {
      std::fprintf(stderr, "glimmer-cli: %zu of %zu inputs damaged (processed with a warning)\n",
                   count(Outcome::Damaged), total);
    }
    if (count(Outcome::Failed) > 0 && total > 1) {
      std::fprintf(stderr, "glimmer-cli: %zu of %zu inputs failed:\n", count(Outcome::Failed), total);
      for (std::size_t i = 0; i < total; ++i) {
        if (results_[i].outcome != Outcome::Failed) continue;
        std::fprintf(stderr, "  %s: %s\n", items_[i].label.c_str(), results_[i].reason.c_str());
      }
    }
    const std::size_t done = count(Outcome::Done) + count(Outcome::Damaged);
    const double seconds = status_.elapsedSeconds();
    const int stoppedBy = stopSignal();
    if (stoppedBy != 0) {
      std::fprintf(stderr,
                   "glimmer-cli: stopped by %s after %s: %zu of %zu inputs done, %zu skipped, %zu failed, "
                   "%zu abandoned, %zu not started\n",
                   stoppedBy == SIGINT ? "SIGINT" : "SIGTERM", clockTime(seconds).c_str(), done, total,
                   count(Outcome::Skipped), count(Outcome::Failed), count(Outcome::Abandoned),
                   count(Outcome::NotStarted));
    } else if (total > 1) {
      const double perMinute = seconds > 0 ? done * 60.0 / seconds : 0;
      std::fprintf(stderr, "glimmer-cli: %zu inputs in %s: %zu done, %zu skipped, %zu failed (%.1f pages a minute)\n",
                   total, clockTime(seconds).c_str(), done, count(Outcome::Skipped), count(Outcome::Failed), perMinute);
    }
    return count(Outcome::Failed) + count(Outcome::Abandoned) > 0 ? 1 : 0;
  }

  const Options& options_;
  const std::vector<BatchItem>& items_;
  const Parallelism parallelism_;
  const int jobs_;
  const bool stderrIsTerminal_;
  std::vector<std::size_t> order_;  // the items in the order they are taken
  std::atomic<std::size_t> next_{0};
  std::mutex resultsMutex_;
  std::vector<ItemResult> results_;  // guarded by resultsMutex_ until the workers end
  std::size_t printed_ = 0;          // items whose lines have gone out
  BatchStatus status_;
};

}  // namespace

int runBatch(const Options& options, const std::vector<BatchItem>& items, Parallelism parallelism) {
  BatchRun run(options, items, parallelism);
  const int status = run.run();
  if (stopSignal() != 0) {
    std::fflush(stdout);
    endByStopSignal();
  }
  return status;
}

}  // namespace glimmer::cli
