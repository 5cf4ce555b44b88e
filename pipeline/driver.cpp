#include "pipeline/driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <barrier>
#include <cstdio>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "analysis/shared_analysis.h"
#include "formats/bmp_writer.h"
#include "formats/coordinate_files.h"
#include "formats/diagnostic_logs.h"
#include "formats/jpeg_conversion.h"
#include "formats/page_reader.h"
#include "pipeline/bands.h"
#include "skeleton/skeletonise.h"

namespace glimmer {

namespace {

constexpr std::int32_t kMaxBands = 64;

std::string formatted(const char* format, std::string_view value) {
  std::string text(format);
  text.replace(text.find("%s"), 2, value);
  return text;
}

bool isReadableFile(const std::string& path) {
  // Without blocking: opening a FIFO for reading would wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  ::close(fd);
  return regular;
}

bool pathExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// Both paths name one existing file (also through links or different spellings).
bool sameFile(const std::string& a, const std::string& b) {
  struct stat first {
  }, second{};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

// Runs one thread per band over the page and merges their images.
GreyImage analyseInBands(GreyImage& page, std::int32_t bandCount, SharedAnalysis& shared, DriverHost& host) {
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

  GreyImage result = std::move(jobs.front().bandImage);
  for (std::size_t i = 1; i < jobs.size(); ++i) result = mergeBandImages(result, jobs[i].bandImage);
  return result;
}

// The decoded page of a JPEG input belongs to the run until it succeeds; a run
// that stops early removes it.
class DecodedPage {
 public:
  DecodedPage() = default;
  DecodedPage(const DecodedPage&) = delete;
  DecodedPage& operator=(const DecodedPage&) = delete;
  ~DecodedPage() {
    if (!path_.empty()) removeConvertedPnm(path_);
  }
  void own(std::string path) { path_ = std::move(path); }
  void handOver() { path_.clear(); }

 private:
  std::string path_;
};

// "-0001" for the first page.
std::string pageSuffix(std::int32_t page) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "-%04d", page + 1);
  return suffix;
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

// The checks before an output is written over: it must not be the input, and
// an existing one is replaced only when the user says so.
bool mayWriteOutput(const std::string& inputPath, const std::string& outputPath, DriverHost& host) {
  if (sameFile(inputPath, outputPath)) {
    host.showError(formatted("BMP file (%s) is the input file - choose another output", outputPath), kErrorTitle);
    return false;
  }
  return !pathExists(outputPath) ||
         host.askYesNo(formatted("BMP file (%s) already exists - Do yo wish to overwrite it?", outputPath),
                       kErrorTitle);
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

std::string pageOutputPath(const std::string& outputPath, std::int32_t page, std::int32_t pageCount) {
  if (pageCount <= 1) return outputPath;
  const std::string number = pageSuffix(page);
  const std::size_t slash = outputPath.rfind('/');
  const std::size_t dot = outputPath.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) {
    return outputPath + number;
  }
  return outputPath.substr(0, dot) + number + outputPath.substr(dot);
}

int processImageFile(const ProcessRequest& request, DriverHost& host, std::string& processedPnmPath) {
  // The run empties its diagnostic files and writes skeleton.bmp in the current
  // folder: a page stored under one of those names would be destroyed.
  for (const char* diagnosticFile : {"scores.txt", "logger.txt", "skeleton.bmp"}) {
    if (sameFile(request.inputPath, diagnosticFile)) {
      host.showError(formatted("Specified image file (%s) is one of the run's diagnostic files", request.inputPath),
                     kErrorTitle);
      return 1;
    }
  }
  std::optional<DiagnosticFiles> diagnostics(std::in_place);
  const std::string& inputPath = request.inputPath;
  const std::string& outputPath = request.outputPath;

  if (inputPath.empty()) {
    host.showError("No input file specified", kErrorTitle);
    return 1;
  }
  if (!isReadableFile(inputPath)) {
    host.showError("Specified image file does not exist", kErrorTitle);
    return 1;
  }
  // A TIFF or PDF may hold many pages, each written to a file of its own: the
  // names, and so the questions, are known once the input is open.
  const PageFormat sniffed = detectPageFileFormat(inputPath);
  const bool namesKnownNow = sniffed != PageFormat::tiff && sniffed != PageFormat::pdf;
  if (namesKnownNow && !mayWriteOutput(inputPath, outputPath, host)) return 1;

  std::string pnmPath = inputPath;
  DecodedPage decodedPage;
  if (isJpegPath(inputPath) || sniffed == PageFormat::jpeg) {
    JpegConversion conversion = convertJpegToPnm(inputPath);
    if (!conversion.ok) {
      host.showError(conversion.message, kErrorTitle);
      return 1;
    }
    pnmPath = conversion.pnmPath;
    decodedPage.own(pnmPath);
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
  if (!namesKnownNow) {
    for (std::int32_t page = 0; page < pageCount; ++page) {
      if (!mayWriteOutput(inputPath, pageOutputPath(outputPath, page, pageCount), host)) return 1;
    }
  }

  const std::int32_t bandCount = std::clamp(request.bandCount, 1, kMaxBands);
  for (std::int32_t page = 0; page < pageCount; ++page) {
    host.startPage(page, pageCount);
    PageOutcome outcome = input.source->readPage(page);
    if (!outcome.page) {
      std::string message = readProblem(input.format, inputPath, pageCount > 1 ? page : -1, outcome.problem);
      if (page == 1) message += " - page 1 was written";
      if (page > 1) message += " - pages 1 to " + std::to_string(page) + " were written";
      host.showError(message, kErrorTitle);
      return 1;
    }
    if (!outcome.warning.empty()) host.showWarning("Damaged PNM file (" + outcome.warning + ")");
    // Each page's run empties the diagnostic files again, as a run of one page does.
    if (page > 0) diagnostics.emplace();
    const std::string pageOutput = pageOutputPath(outputPath, page, pageCount);
    // The coordinate files of one page of many are named after the input and the page.
    const std::string pageName = pageCount > 1 ? inputPath + pageSuffix(page) : inputPath;

    GreyImage& pageImage = outcome.page->image;
    SharedAnalysis shared(pageImage.width, pageImage.height, diagnostics->scores());
    GreyImage result = analyseInBands(pageImage, bandCount, shared, host);

    if (!writeBmp(result, pageOutput)) {
      host.showError(formatted("Cannot create BMP file (%s)", pageOutput), kErrorTitle);
      return 1;
    }
    skeletonise(result, true);
    writeBmp(result, "skeleton.bmp");

    if (request.writeRows) writeRowCoordinates(shared.textRows, pageName, request.coordinateFolder);
    if (request.writeChars) {
      writeCharCoordinates(dropDuplicateLetters(shared.letters), pageName, request.coordinateFolder);
    }
    if (page == pageCount - 1) {
      processedPnmPath = pnmPath;
      decodedPage.handOver();
    }
    appendVoteLines(shared, diagnostics->scores());
  }
  return 0;
}

}  // namespace glimmer
