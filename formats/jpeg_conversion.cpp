#include "formats/jpeg_conversion.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "system/child_process.h"
#include "system/executable_path.h"
#include "system/path_text.h"

namespace glimmer {

namespace {

constexpr const char* kDecoderName = "djpeg";
constexpr const char* kTemporaryPrefix = "glimmer-";
constexpr const char* kTemporarySuffix = ".pnm";
// The decoder's exit code when it decoded the whole image but warned about
// damage in the file; the page is complete.
constexpr std::int32_t kDecodedWithWarnings = 2;

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

}  // namespace

bool isJpegPath(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::string extension = toLowerCopy(dot == std::string::npos ? path : path.substr(dot + 1));
  return extension == "jpg" || extension == "jpeg";
}

std::string findJpegDecoder() {
  const std::string inCurrentFolder = std::string("./") + kDecoderName;
  if (isExecutableFile(inCurrentFolder)) return inCurrentFolder;
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
    // An empty entry stands for the current folder, already looked at.
    if (end > start) {
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
  const std::string folder = temporaryFolder();
  std::string pnmPath = folder + "/" + kTemporaryPrefix + "XXXXXX" + kTemporarySuffix;
  const int descriptor = mkstemps(pnmPath.data(), static_cast<int>(std::char_traits<char>::length(kTemporarySuffix)));
  if (descriptor < 0) {
    result.message = "Cannot create temporary file (" + folder + ")";
    return result;
  }
  close(descriptor);

  // The arguments go to the decoder one by one: no quoting could carry every
  // possible path through a command line.
  const std::vector<std::string> arguments = {decoder, "-grayscale", "-outfile", asOperand(pnmPath),
                                              asOperand(inputPath)};
  std::string errorOutput;
  const std::int32_t status = runChildArguments(arguments, true, timeLimit, &errorOutput);
  const std::string words = decoderWords(errorOutput);
  if (status == 0 || status == kDecodedWithWarnings) {
    result.ok = true;
    result.pnmPath = pnmPath;
    if (status == kDecodedWithWarnings) {
      result.warning = words.empty() ? "Damaged JPEG file" : "Damaged JPEG file (" + words + ")";
    }
    return result;
  }
  unlink(pnmPath.c_str());
  if (status == kChildTimedOut) {
    char text[80];
    std::snprintf(text, sizeof text, "djpeg did not finish within %g seconds",
                  std::chrono::duration<double>(timeLimit).count());
    result.message = text;
  } else {
    result.message = words.empty() ? "Not a valid PNM file" : "Not a valid PNM file (" + words + ")";
  }
  return result;
}

void removeConvertedPnm(const std::string& pnmPath) {
  const std::string ownPrefix = temporaryFolder() + "/" + kTemporaryPrefix;
  const bool madeByConversion = pnmPath.starts_with(ownPrefix) && pnmPath.ends_with(kTemporarySuffix) &&
                                pnmPath.find('/', ownPrefix.size()) == std::string::npos;
  if (madeByConversion) unlink(pnmPath.c_str());
}

}  // namespace glimmer
