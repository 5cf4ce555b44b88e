#include "pipeline/driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <barrier>
#include <cstdio>
#include <string_view>
#include <thread>
#include <vector>

#include "analysis/shared_analysis.h"
#include "analysis/word_marks.h"
#include "formats/bmp_writer.h"
#include "formats/coordinate_files.h"
#include "formats/diagnostic_logs.h"
#include "formats/jpeg_conversion.h"
#include "formats/pnm_reader.h"
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
  // The run empties its diagnostic files and writes skeleton.bmp in the current
  // folder: a page stored under one of those names would be destroyed.
  for (const char* diagnosticFile : {"scores.txt", "logger.txt", "skeleton.bmp"}) {
    if (sameFile(request.inputPath, diagnosticFile)) {
      host.showError(formatted("Specified image file (%s) is one of the run's diagnostic files", request.inputPath),
                     kErrorTitle);
      return 1;
    }
  }
  DiagnosticFiles diagnostics;
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
  if (sameFile(inputPath, outputPath)) {
    host.showError(formatted("BMP file (%s) is the input file - choose another output", outputPath), kErrorTitle);
    return 1;
  }
  if (pathExists(outputPath) &&
      !host.askYesNo(formatted("BMP file (%s) already exists - Do yo wish to overwrite it?", outputPath),
                     kErrorTitle)) {
    return 1;
  }

  std::string pnmPath = inputPath;
  DecodedPage decodedPage;
  if (isJpegPath(inputPath)) {
    JpegConversion conversion = convertJpegToPnm(inputPath);
    if (!conversion.ok) {
      host.showError(conversion.message, kErrorTitle);
      return 1;
    }
    pnmPath = conversion.pnmPath;
    decodedPage.own(pnmPath);
  }

  PnmResult pnm = readPnm(pnmPath);
  if (!pnm.image) {
    host.showError("Not a valid PNM file", kErrorTitle);
    return 1;
  }

  GreyImage& page = *pnm.image;
  SharedAnalysis shared(page.width, page.height, diagnostics.scores());
  const std::int32_t bandCount = std::clamp(request.bandCount, 1, kMaxBands);
  // The bands whiten the page's word boxes; marks are looked for on the page as read.
  const GreyImage pageAsRead = request.keepMarks ? page : GreyImage();
  GreyImage result = analyseInBands(page, bandCount, shared, host);

  GreyImage refined;
  if (request.keepMarks) refined = withMarksAndCounters(pageAsRead, result, shared.keptWords);
  if (!writeBmp(request.keepMarks ? refined : result, outputPath)) {
    host.showError(formatted("Cannot create BMP file (%s)", outputPath), kErrorTitle);
    return 1;
  }
  skeletonise(result, true);
  writeBmp(result, "skeleton.bmp");

  if (request.writeRows) writeRowCoordinates(shared.textRows, inputPath, request.coordinateFolder);
  if (request.writeChars) {
    writeCharCoordinates(dropDuplicateLetters(shared.letters), inputPath, request.coordinateFolder);
  }

  processedPnmPath = pnmPath;
  decodedPage.handOver();
  appendVoteLines(shared, diagnostics.scores());
  return 0;
}

}  // namespace glimmer
