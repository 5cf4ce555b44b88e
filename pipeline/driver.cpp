#include "pipeline/driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <barrier>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "analysis/pixel_mask.h"
#include "analysis/shared_analysis.h"
#include "analysis/word_marks.h"
#include "common/line_sink.h"
#include "formats/bmp_writer.h"
#include "formats/coordinate_files.h"
#include "formats/diagnostic_logs.h"
#include "formats/jpeg_conversion.h"
#include "formats/page_reader.h"
#include "formats/page_writer.h"
#include "pipeline/bands.h"
#include "skeleton/skeletonise.h"
#include "system/output_file.h"
#include "system/path_text.h"

namespace glimmer {

namespace {

constexpr std::int32_t kMaxBands = 64;

std::string formatted(const char* format, std::string_view value) {
  std::string text(format);
  text.replace(text.find("%s"), 2, value);
  return text;
}

// Why the input cannot be read as a page file; empty when it can.
std::string inputProblem(const std::string& path) {
  // Without blocking: opening a FIFO for reading would wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return "Specified image file does not exist";
    return formatted("Cannot read image file (%s): ", path) + std::strerror(errno);
  }
  struct stat info {};
  const int error = ::fstat(fd, &info) != 0 ? errno : 0;
  ::close(fd);
  if (error != 0) return formatted("Cannot read image file (%s): ", path) + std::strerror(error);
  if (S_ISDIR(info.st_mode)) return formatted("Cannot read image file (%s): ", path) + std::strerror(EISDIR);
  if (!S_ISREG(info.st_mode)) return formatted("Cannot read image file (%s): not a regular file", path);
  return {};
}

// Both paths name one existing file (also through links or different spellings).
bool sameFile(const std::string& a, const std::string& b) {
  struct stat first {
  }, second{};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

constexpr const char* kSkeletonFileName = "skeleton.bmp";
constexpr const char* kDiagnosticFileNames[] = {kScoresFileName, kLoggerFileName, kSkeletonFileName};

// True when `path` is, or would become, one of the diagnostic files in
// `diagnosticsFolder`: the same file, or that name in the same folder.
bool isDiagnosticFile(const std::string& path, const std::string& diagnosticsFolder) {
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  for (const char* diagnosticFile : kDiagnosticFileNames) {
    if (sameFile(path, diagnosticFilePath(diagnosticsFolder, diagnosticFile)) ||
        (name == diagnosticFile && sameFile(folder, diagnosticsFolder))) {
      return true;
    }
  }
  return false;
}

// Where the scores go when no diagnostic files are written.
class DiscardedLines : public LineSink {
 public:
  void write(std::string_view) override {}
};

// Runs one thread per band over the page.
void analyseInBands(const GreyImage& page, std::int32_t bandCount, SharedAnalysis& shared, DriverHost& host) {
  std::vector<BandJob> jobs(static_cast<std::size_t>(bandCount));
  std::barrier<> startLine(bandCount);
  CommitOrder order;
  std::vector<std::thread> threads;
  threads.reserve(jobs.size());
  for (std::int32_t i = 0; i < bandCount; ++i) {
    BandJob& job = jobs[static_cast<std::size_t>(i)];
    job.index = i;
    job.range = bandBounds(page.width, bandCount, i);
    job.page = &page;
    job.shared = &shared;
    job.host = &host;
    job.startLine = &startLine;
    job.order = &order;
    char line[80];
    std::snprintf(line, sizeof line, "Starting thread %d from %d to %d\n", i, job.range.start, job.range.end);
    host.diagnosticLine(line);
    threads.emplace_back(runBand, std::ref(job));
  }
  for (std::thread& thread : threads) thread.join();
}

// "Cannot read PNG file scan.png: ..." or "Cannot read page 3 of TIFF file book.tif: ...".
std::string readProblem(PageFormat format, const std::string& inputPath, std::int32_t page,
                        const std::string& problem) {
  std::string text = "Cannot read ";
  if (page >= 0) text += "page " + std::to_string(page + 1) + " of ";
  return text + pageFormatName(format) + " file " + inputPath + ": " + problem;
}

// Why the input cannot be opened: "Not a valid PNM file (...)" for anything
// that is neither a PNM page nor a format told by its first bytes.
std::string openProblem(const OpenOutcome& input, const std::string& inputPath) {
  if (input.format != PageFormat::pnm && input.format != PageFormat::unknown) {
    return readProblem(input.format, inputPath, -1, input.problem);
  }
  return input.problem.empty() ? "Not a valid PNM file" : "Not a valid PNM file (" + input.problem + ")";
}

// "BMP file (out.bmp)", "PNG file (out.png)", ... as the messages name an output.
std::string outputLabel(OutputFormat format, const std::string& path) {
  return std::string(outputFormatName(format)) + " file (" + path + ")";
}

// The checks before an output is written: it is not the input, and an existing
// regular file is replaced only when the user says so (a device or FIFO is
// written into). Sets `mayReplace`; false when the run must stop.
bool checkOutput(const std::string& inputPath, const std::string& path, OutputFormat format, DriverHost& host,
                 bool& mayReplace) {
  if (sameFile(inputPath, path)) {
    host.showError(outputLabel(format, path) + " is the input file - choose another output", kErrorTitle);
    return false;
  }
  mayReplace = regularFileExists(path);  // a device or FIFO is written into, not replaced
  return !mayReplace ||
         host.askYesNo(outputLabel(format, path) + " already exists - Do yo wish to overwrite it?", kErrorTitle);
}

// Writes one result page into `output`, which the caller commits.
bool writePage(const GreyImage& result, const Page& page, OutputFormat format, bool bilevel, OutputFile& output) {
  if (format == OutputFormat::bmp) return writeBmp(result, output);
  const std::vector<std::uint8_t> bytes = encodePng({result, page.dpiX, page.dpiY, bilevel});
  if (bytes.empty()) return output.fail("the page cannot be encoded");
  return output.write(bytes);
}

void appendVoteLines(const SharedAnalysis& shared, LineSink& scores) {
  // Keys 4 to 6 are labelled 1 to 3; nothing counts them, so they print 0.
  static constexpr const char* kLabels[] = {"0", "1", "2", "3", "1", "2", "3"};
  for (std::int32_t key = 0; key < 7; ++key) {
    const auto found = shared.votes.find(key);
    const std::int32_t count = found == shared.votes.end() ? 0 : found->second;
    char line[32];
    std::snprintf(line, sizeof line, "%s:%d\n", kLabels[key], count);
    scores.write(line);
  }
}

}  // namespace

int processImageFile(const ProcessRequest& request, DriverHost& host, std::string& processedPnmPath) {
  // The run replaces its diagnostic files and writes skeleton.bmp in their
  // folder: a page stored under one of those names would be destroyed, and an
  // output written there would be replaced by a diagnostic.
  const std::optional<std::string>& diagnosticsFolder = request.diagnosticsFolder;
  for (const char* diagnosticFile : kDiagnosticFileNames) {
    if (diagnosticsFolder && sameFile(request.inputPath, diagnosticFilePath(*diagnosticsFolder, diagnosticFile))) {
      host.showError(formatted("Specified image file (%s) is one of the run's diagnostic files", request.inputPath),
                     kErrorTitle);
      return 1;
    }
  }
  const std::string& inputPath = request.inputPath;
  const std::string& outputPath = request.outputPath;
  const bool toStandardOutput = request.dashIsStandardOutput && outputPath == "-";
  const OutputFormat format = toStandardOutput ? OutputFormat::bmp : outputFormatOf(outputPath);
  if (!toStandardOutput && diagnosticsFolder && isDiagnosticFile(outputPath, *diagnosticsFolder)) {
    host.showError(outputLabel(format, outputPath) + " is one of the run's diagnostic files - choose another output",
                   kErrorTitle);
    return 1;
  }
  if (request.bilevel && format == OutputFormat::bmp) {
    host.showError(outputLabel(format, outputPath) + " cannot be bilevel - choose a PNG, TIFF or PDF output",
                   kErrorTitle);
    return 1;
  }
  std::optional<DiagnosticFiles> diagnostics;
  if (diagnosticsFolder) diagnostics.emplace(*diagnosticsFolder);
  DiscardedLines discardedScores;

  if (inputPath.empty()) {
    host.showError("No input file specified", kErrorTitle);
    return 1;
  }
  if (const std::string problem = inputProblem(inputPath); !problem.empty()) {
    host.showError(problem, kErrorTitle);
    return 1;
  }

  // The one output file: every page of a TIFF or PDF output, or the result of a
  // single page. It is opened before the work, so that an output that cannot be
  // had is reported at once.
  std::optional<OutputFile> output;
  const auto outputFailed = [&](const OutputFile& file) {
    host.showError("Cannot create " + outputLabel(format, file.path()) + ": " + file.failure(), kErrorTitle);
    return 1;
  };
  const auto openOutput = [&] {
    bool mayReplace = false;
    if (!toStandardOutput && !checkOutput(inputPath, outputPath, format, host, mayReplace)) return false;
    output.emplace(outputPath,
                   OutputRules{.mayReplace = mayReplace, .dashIsStandardOutput = request.dashIsStandardOutput});
    if (!output->ok()) outputFailed(*output);
    return output->ok();
  };
  // A TIFF or PDF input may hold many pages, each written to a file of its own
  // when the output is BMP or PNG: those names are known once the input is open.
  const PageFormat sniffed = detectPageFileFormat(inputPath);
  const bool oneOutputFile = holdsManyPages(format) || (sniffed != PageFormat::tiff && sniffed != PageFormat::pdf);
  if (oneOutputFile && !openOutput()) return 1;

  std::string pnmPath = inputPath;
  JpegConversion conversion;  // holds the decoded page of a JPEG input until the run ends
  if (isJpegPath(inputPath) || sniffed == PageFormat::jpeg) {
    conversion = convertJpegToPnm(inputPath);
    if (!conversion.ok) {
      host.showError(conversion.message, kErrorTitle);
      return 1;
    }
    pnmPath = conversion.pnmPath;
    if (!conversion.warning.empty()) host.showWarning(conversion.warning);
  }

  ReadOptions readOptions;
  readOptions.pdfDpi = std::clamp(request.pdfDpi, kMinPdfDpi, kMaxPdfDpi);
  OpenOutcome input = openPageFile(pnmPath, readOptions);
  if (!input.source) {
    host.showError(openProblem(input, inputPath), kErrorTitle);
    return 1;
  }
  const std::int32_t pageCount = input.source->pageCount();
  std::vector<bool> pageMayReplace(static_cast<std::size_t>(pageCount), false);
  if (!oneOutputFile && pageCount == 1 && !openOutput()) return 1;
  if (!oneOutputFile && pageCount > 1) {
    if (toStandardOutput) {
      host.showError(formatted("Specified image file (%s) has several pages - standard output takes one", inputPath),
                     kErrorTitle);
      return 1;
    }
    for (std::int32_t page = 0; page < pageCount; ++page) {
      bool mayReplace = false;
      if (!checkOutput(inputPath, pageOutputPath(outputPath, page, pageCount), format, host, mayReplace)) return 1;
      pageMayReplace[static_cast<std::size_t>(page)] = mayReplace;
    }
  }

  const std::unique_ptr<PageDocument> document = holdsManyPages(format) ? makePageDocument(format) : nullptr;
  // A TIFF or PDF output is written with the pages done, also when a later page fails.
  const auto finishDocument = [&](std::int32_t pagesDone) {
    if (!document || pagesDone == 0) return true;
    const std::vector<std::uint8_t> bytes = document->finish();
    if (bytes.empty()) output->fail("the file cannot be encoded");
    if (output->ok() && output->write(bytes) && output->commit()) return true;
    outputFailed(*output);
    return false;
  };

  const std::int32_t bandCount = std::clamp(request.bandCount, 1, kMaxBands);
  bool coordinatesWritten = true;
  // A stopped page is abandoned with the whole input: a TIFF or PDF output is not finished.
  const auto stopped = [&](std::int32_t page) {
    const std::string reason = host.stopReason();
    if (reason.empty()) return false;
    std::string where = inputPath;
    if (pageCount > 1) where = "page " + std::to_string(page + 1) + " of " + inputPath;
    host.showError("Stopped before " + where + " was done: " + reason, kErrorTitle);
    return true;
  };
  for (std::int32_t page = 0; page < pageCount; ++page) {
    host.startPage(page, pageCount);
    if (stopped(page)) return 1;
    PageOutcome outcome = input.source->readPage(page);
    if (!outcome.page) {
      std::string message = readProblem(input.format, inputPath, pageCount > 1 ? page : -1, outcome.problem);
      if (page == 1) message += " - page 1 was written";
      if (page > 1) message += " - pages 1 to " + std::to_string(page) + " were written";
      if (finishDocument(page)) host.showError(message, kErrorTitle);
      return 1;
    }
    if (!outcome.warning.empty()) host.showWarning("Damaged PNM file (" + outcome.warning + ")");
    // Each page's run replaces the diagnostic files again, as a run of one page does.
    if (page > 0 && diagnostics) diagnostics.emplace(*diagnosticsFolder);

    GreyImage& pageImage = outcome.page->image;
    LineSink& scores = diagnostics ? diagnostics->scores() : discardedScores;
    SharedAnalysis shared(pageImage.width, pageImage.height, scores);
    // The page becomes its words on white; marks are looked for on the page as read.
    const GreyImage pageAsRead = request.keepMarks ? pageImage : GreyImage();
    analyseInBands(pageImage, bandCount, shared, host);
    GreyImage& result = pageImage;
    if (stopped(page)) return 1;
    keepTextOnWhite(result, shared.wordPixels);
    GreyImage refined;
    if (request.keepMarks) refined = withMarksAndCounters(pageAsRead, result, shared.keptWords);
    const GreyImage& written = request.keepMarks ? refined : result;
    // The diagnostic skeleton is thinned and written on a thread of its own
    // while the page is written, from a copy unless the result is no longer
    // needed; it takes its name only after the page, as before. A diagnostic:
    // a skeleton that cannot be written is skipped.
    GreyImage skeleton;
    std::optional<OutputFile> skeletonFile;
    bool skeletonWritten = false;
    std::optional<std::jthread> thinning;
    if (diagnostics) {
      skeleton = request.keepMarks ? std::move(result) : result;
      skeletonFile.emplace(diagnosticFilePath(*diagnosticsFolder, kSkeletonFileName),
                           OutputRules{.mayReplace = true, .ownName = true});
      thinning.emplace([&] {
        skeletonise(skeleton);
        skeletonWritten = writeBmp(skeleton, *skeletonFile);
      });
    }

    if (document) {
      if (!document->addPage({written, outcome.page->dpiX, outcome.page->dpiY, request.bilevel})) {
        output->fail("the page cannot be encoded");
        return outputFailed(*output);
      }
    } else {
      std::optional<OutputFile> pageFile;
      if (!output) {
        pageFile.emplace(pageOutputPath(outputPath, page, pageCount),
                         OutputRules{.mayReplace = pageMayReplace[static_cast<std::size_t>(page)]});
      }
      OutputFile& target = output ? *output : *pageFile;
      if (!target.ok() || !writePage(written, *outcome.page, format, request.bilevel, target) || !target.commit()) {
        return outputFailed(target);
      }
    }
    if (thinning) {
      thinning->join();
      if (skeletonWritten) skeletonFile->commit();
    }

    const auto reportProblem = [&](const std::string& problem) {
      if (problem.empty()) return;
      host.showError(problem, kErrorTitle);
      coordinatesWritten = false;
    };
    // The coordinate files of one page of many are named after the input and the page.
    const std::string pageName = inputPath + pageOutputPath("", page, pageCount);
    if (request.writeRows) reportProblem(writeRowCoordinates(shared.textRows, pageName, request.coordinateFolder));
    if (request.writeChars) {
      reportProblem(writeCharCoordinates(dropDuplicateLetters(shared.letters), pageName, request.coordinateFolder));
    }
    appendVoteLines(shared, scores);
  }
  if (!finishDocument(pageCount) || !coordinatesWritten) return 1;
  processedPnmPath = pnmPath;
  return 0;
}

}  // namespace glimmer
