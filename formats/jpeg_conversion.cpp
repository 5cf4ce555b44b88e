#include "formats/jpeg_conversion.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "system/child_process.h"
#include "system/executable_path.h"
#include "system/interrupt_cleanup.h"
#include "system/path_text.h"
#include "system/temporary_file.h"

namespace glimmer {

namespace {

constexpr const char* kDecoderName = "djpeg";
// The decoder's exit code when it decoded the whole image but warned about
// damage in the file; the page is complete.
constexpr std::int32_t kDecodedWithWarnings = 2;
// Less room than this left in the temporary folder after a failed decode
// means the decoder ran out of it.
constexpr unsigned long long kFullFolderMargin = 64 * 1024;

bool isExecutableFile(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string temporaryFolder() {
  const char* fromEnvironment = std::getenv("TMPDIR");
  std::string folder = fromEnvironment != nullptr && fromEnvironment[0] != '\0' ? fromEnvironment : "/tmp";
  while (folder.size() > 1 && folder.ends_with('/')) folder.pop_back();
  return folder;
}

// The decoder's messages on one line: "djpeg: first; second", or empty.
std::string decoderWords(const std::string& errorOutput) {
  constexpr std::size_t kMostShown = 300;
  std::string words;
  std::size_t start = 0;
  while (start < errorOutput.size()) {
    std::size_t end = errorOutput.find('\n', start);
    if (end == std::string::npos) end = errorOutput.size();
    std::string line = errorOutput.substr(start, end - start);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    if (!line.empty()) words += (words.empty() ? "" : "; ") + line;
    start = end + 1;
  }
  if (words.size() > kMostShown) words = words.substr(0, kMostShown) + "...";
  return words.empty() ? words : std::string(kDecoderName) + ": " + words;
}

// A path the decoder could mistake for an option gets a "./" in front.
std::string asOperand(const std::string& path) { return path.starts_with('-') ? "./" + path : path; }

// True when the file system holding `file` has (next to) no room left for
// this process.
bool isFull(int file) {
  struct statvfs space {};
  if (fstatvfs(file, &space) != 0) return false;
  const unsigned long long blocks = geteuid() == 0 ? space.f_bfree : space.f_bavail;
  return blocks * space.f_frsize < kFullFolderMargin;
}

std::string temporaryFolderProblem(const std::string& folder, int error) {
  if (error == ENOSPC || error == EDQUOT)
    return "Cannot decode JPEG (temporary folder full: " + std::string(std::strerror(error)) + ")";
  return "Cannot decode JPEG (temporary folder " + folder + ": " + std::strerror(error) + ")";
}

}  // namespace

// The decoded page in the temporary folder: removed when the conversion's
// result goes, or by the interrupt cleanup when a signal ends the run first.
class DecodedPage {
 public:
  DecodedPage(int folder, std::string name, InterruptCleanup cleanup)
      : folder_(folder), name_(std::move(name)), cleanup_(std::move(cleanup)) {}
  ~DecodedPage() {
    unlinkat(folder_, name_.c_str(), 0);
    cleanup_.release();
    close(folder_);
  }
  DecodedPage(const DecodedPage&) = delete;
  DecodedPage& operator=(const DecodedPage&) = delete;

 private:
  int folder_;
  std::string name_;
  InterruptCleanup cleanup_;
};

JpegConversion::JpegConversion() = default;
JpegConversion::JpegConversion(JpegConversion&&) noexcept = default;
JpegConversion& JpegConversion::operator=(JpegConversion&&) noexcept = default;
JpegConversion::~JpegConversion() = default;

bool isJpegPath(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::string extension = toLowerCopy(dot == std::string::npos ? path : path.substr(dot + 1));
  return extension == "jpg" || extension == "jpeg";
}

std::string findJpegDecoder() {
  const std::string programFolder = executableFolder();
  if (!programFolder.empty()) {
    const std::string besideProgram = programFolder + "/" + kDecoderName;
    if (isExecutableFile(besideProgram)) return besideProgram;
  }
  const char* searchPath = std::getenv("PATH");
  const std::string folders = searchPath != nullptr ? searchPath : "";
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    if (folders[start] == '/') {
      const std::string candidate = folders.substr(start, end - start) + "/" + kDecoderName;
      if (isExecutableFile(candidate)) return candidate;
    }
    start = end + 1;
  }
  return {};
}

JpegConversion convertJpegToPnm(const std::string& inputPath, std::chrono::milliseconds timeLimit) {
  JpegConversion result;
  const std::string decoder = findJpegDecoder();
  if (decoder.empty()) {
    result.message = "Can't find djpeg";
    return result;
  }
  const std::string folderPath = temporaryFolder();
  const int folder = open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) {
    result.message = temporaryFolderProblem(folderPath, errno);
    return result;
  }
  std::string name;
  InterruptCleanup cleanup;
  const int descriptor = createTemporaryFile(folder, ".pnm", 0600, name, cleanup);
  if (descriptor < 0) {
    result.message = temporaryFolderProblem(folderPath, errno);
    close(folder);
    return result;
  }
  result.page = std::make_unique<DecodedPage>(folder, name, std::move(cleanup));
  const std::string pnmPath = folderPath + "/" + name;

  // The arguments go to the decoder one by one: no quoting could carry every
  // possible path through a command line.
  const std::vector<std::string> arguments = {decoder, "-grayscale", "-outfile", asOperand(pnmPath),
                                              asOperand(inputPath)};
  std::string errorOutput;
  const std::int32_t status = runChildArguments(arguments, true, timeLimit, &errorOutput);
  const std::string words = decoderWords(errorOutput);
  const bool full = isFull(descriptor);
  close(descriptor);
  if (status == 0 || status == kDecodedWithWarnings) {
    result.ok = true;
    result.pnmPath = pnmPath;
    if (status == kDecodedWithWarnings) {
      result.warning = words.empty() ? "Damaged JPEG file" : "Damaged JPEG file (" + words + ")";
    }
    return result;
  }
  result.page.reset();
  if (status == kChildTimedOut) {
    char text[80];
    std::snprintf(text, sizeof text, "djpeg did not finish within %g seconds",
                  std::chrono::duration<double>(timeLimit).count());
    result.message = text;
  } else if (full) {
    result.message = temporaryFolderProblem(folderPath, ENOSPC);
  } else if (status == 128 + SIGXFSZ) {
    result.message = "Cannot decode JPEG (the decoded page is larger than the file size limit: " +
                     std::string(std::strerror(EFBIG)) + ")";
  } else {
    result.message = words.empty() ? "Not a valid PNM file" : "Not a valid PNM file (" + words + ")";
  }
  return result;
}

}  // namespace glimmer
