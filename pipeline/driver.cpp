#include "pipeline/driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <barrier>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

#include "analysis/shared_analysis.h"
#include "formats/bmp_writer.h"
#include "formats/coordinate_files.h"
#include "formats/diagnostic_logs.h"
#include "formats/jpeg_conversion.h"
#include "formats/pnm_reader.h"
#include "pipeline/bands.h"
#include "skeleton/skeletonise.h"
#include "system/output_file.h"

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

// True when the path leads, through any links, to an existing regular file:
// one that an output would replace.
bool regularFileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
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

// True when `path` is, or would become, one of the diagnostic files in the
// current folder: the same file, or that name in the same folder.
bool isDiagnosticFile(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  for (const char* diagnosticFile : kDiagnosticFileNames) {
    if (sameFile(path, diagnosticFile) || (name == diagnosticFile && sameFile(folder, "."))) return true;
  }
  return false;
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
  // The run replaces its diagnostic files and writes skeleton.bmp in the
  // current folder: a page stored under one of those names would be destroyed,
  // and an output written there would be replaced by a diagnostic.
  for (const char* diagnosticFile : kDiagnosticFileNames) {
    if (sameFile(request.inputPath, diagnosticFile)) {
      host.showError(formatted("Specified image file (%s) is one of the run's diagnostic files", request.inputPath),
                     kErrorTitle);
      return 1;
    }
  }
  const std::string& inputPath = request.inputPath;
  const std::string& outputPath = request.outputPath;
  const bool toStandardOutput = request.dashIsStandardOutput && outputPath == "-";
  if (!toStandardOutput && isDiagnosticFile(outputPath)) {
    host.showError(formatted("BMP file (%s) is one of the run's diagnostic files - choose another output", outputPath),
                   kErrorTitle);
    return 1;
  }
  DiagnosticFiles diagnostics;

  if (inputPath.empty()) {
    host.showError("No input file specified", kErrorTitle);
    return 1;
  }
  if (const std::string problem = inputProblem(inputPath); !problem.empty()) {
    host.showError(problem, kErrorTitle);
    return 1;
  }
  if (!toStandardOutput && sameFile(inputPath, outputPath)) {
    host.showError(formatted("BMP file (%s) is the input file - choose another output", outputPath), kErrorTitle);
    return 1;
  }
  // Only a regular file is overwritten; a device or FIFO is written into. An
  // output that appears while the run works is replaced only with agreement.
  const bool replaceAgreed = !toStandardOutput && regularFileExists(outputPath);
  if (replaceAgreed &&
      !host.askYesNo(formatted("BMP file (%s) already exists - Do yo wish to overwrite it?", outputPath),
                     kErrorTitle)) {
    return 1;
  }
  // Opened before the work, so that an output that cannot be had is reported at once.
  OutputFile output(outputPath, {.mayReplace = replaceAgreed, .dashIsStandardOutput = request.dashIsStandardOutput});
  const auto outputFailed = [&] {
    host.showError(formatted("Cannot create BMP file (%s): ", outputPath) + output.failure(), kErrorTitle);
    return 1;
  };
  if (!output.ok()) return outputFailed();

  std::string pnmPath = inputPath;
  JpegConversion conversion;  // holds the decoded page of a JPEG input until the run ends
  if (isJpegPath(inputPath)) {
    conversion = convertJpegToPnm(inputPath);
    if (!conversion.ok) {
      host.showError(conversion.message, kErrorTitle);
      return 1;
    }
    pnmPath = conversion.pnmPath;
    if (!conversion.warning.empty()) host.showWarning(conversion.warning);
  }

  PnmResult pnm = readPnm(pnmPath);
  if (!pnm.image) {
    host.showError(pnm.problem.empty() ? "Not a valid PNM file" : "Not a valid PNM file (" + pnm.problem + ")",
                   kErrorTitle);
    return 1;
  }
  if (!pnm.warning.empty()) host.showWarning("Damaged PNM file (" + pnm.warning + ")");

  GreyImage& page = *pnm.image;
  SharedAnalysis shared(page.width, page.height, diagnostics.scores());
  const std::int32_t bandCount = std::clamp(request.bandCount, 1, kMaxBands);
  GreyImage result = analyseInBands(page, bandCount, shared, host);

  if (!writeBmp(result, output) || !output.commit()) return outputFailed();
  skeletonise(result, true);
  {
    // A diagnostic: a skeleton that cannot be written is skipped.
    OutputFile skeleton(kSkeletonFileName, {.mayReplace = true, .ownName = true});
    if (writeBmp(result, skeleton)) skeleton.commit();
  }

  bool coordinatesWritten = true;
  const auto reportProblem = [&](const std::string& problem) {
    if (problem.empty()) return;
    host.showError(problem, kErrorTitle);
    coordinatesWritten = false;
  };
  if (request.writeRows) reportProblem(writeRowCoordinates(shared.textRows, inputPath, request.coordinateFolder));
  if (request.writeChars) {
    reportProblem(writeCharCoordinates(dropDuplicateLetters(shared.letters), inputPath, request.coordinateFolder));
  }
  appendVoteLines(shared, diagnostics.scores());
  if (!coordinatesWritten) return 1;
  processedPnmPath = pnmPath;
  return 0;
}

}  // namespace glimmer
