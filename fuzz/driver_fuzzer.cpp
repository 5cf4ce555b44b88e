// The whole driver on tiny pages. The first three bytes choose the width
// (1..64), the height (1..64) and the band count (1..4); the rest are the
// pixels row by row, and missing pixels are white. Every run must succeed, its
// outputs must keep the driver's promises about what they can hold, and
// several bands must write the files of one band.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/grey_image.h"
#include "fuzz/fuzz_support.h"
#include "pipeline/driver.h"

namespace {

using glimmer::fuzz::require;

class SilentHost final : public glimmer::DriverHost {
 public:
  void showError(const std::string&, const std::string&) override { ++errors; }
  void showWarning(const std::string&) override {}
  bool askYesNo(const std::string&, const std::string&) override { return true; }
  void reportProgress(int, int) override {}
  void diagnosticLine(std::string_view) override {}
  int errors = 0;
};

struct Page {
  int width = 0;
  int height = 0;
  int bands = 0;
  std::vector<std::uint8_t> pixels;
};

Page pageFrom(const std::uint8_t* data, std::size_t size) {
  Page page;
  page.width = 1 + (size > 0 ? data[0] % 64 : 0);
  page.height = 1 + (size > 1 ? data[1] % 64 : 0);
  page.bands = 1 + (size > 2 ? data[2] % 4 : 0);
  page.pixels.assign(static_cast<std::size_t>(page.width * page.height), 255);
  for (std::size_t i = 3; i < size && i - 3 < page.pixels.size(); ++i) page.pixels[i - 3] = data[i];
  return page;
}

std::string readAll(const char* path) {
  std::string bytes;
  if (std::FILE* file = std::fopen(path, "rb")) {
    char buffer[8192];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, got);
    std::fclose(file);
  }
  return bytes;
}

void writePnm(const Page& page, const char* path) {
  std::FILE* file = std::fopen(path, "wb");
  require(file != nullptr, "the fuzzer can write its page");
  std::fprintf(file, "P5\n%d %d\n255\n", page.width, page.height);
  std::fwrite(page.pixels.data(), 1, page.pixels.size(), file);
  require(std::fclose(file) == 0, "the fuzzer can write its page");
}

std::uint32_t littleEndian(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  return value;
}

// The greys of a 24-bit BMP written for a page of this size, top row first.
std::vector<std::uint8_t> bmpGreys(const std::string& bmp, const Page& page) {
  const std::size_t rowSize = (3 * static_cast<std::size_t>(page.width) + 3) / 4 * 4;
  require(bmp.size() == 54 + rowSize * static_cast<std::size_t>(page.height), "a BMP has the page's size");
  require(bmp.compare(0, 2, "BM") == 0 && littleEndian(bmp, 18) == static_cast<std::uint32_t>(page.width) &&
              littleEndian(bmp, 22) == static_cast<std::uint32_t>(page.height),
          "a BMP header names the page's size");
  std::vector<std::uint8_t> greys;
  greys.reserve(page.pixels.size());
  for (int y = 0; y < page.height; ++y) {
    const std::size_t row = 54 + static_cast<std::size_t>(page.height - 1 - y) * rowSize;
    for (std::size_t x = 0; x < static_cast<std::size_t>(page.width); ++x) {
      const char* pixel = bmp.data() + row + 3 * x;
      require(pixel[0] == pixel[1] && pixel[1] == pixel[2], "a BMP pixel is grey");
      greys.push_back(static_cast<std::uint8_t>(pixel[0]));
    }
  }
  return greys;
}

bool isVoteLine(std::string_view line, char label) {
  if (line.size() < 3 || line[0] != label || line[1] != ':') return false;
  return line.substr(2).find_first_not_of("0123456789") == std::string_view::npos;
}

// scores.txt ends with the seven vote lines; keys 4 to 6 (labelled 1 to 3) are never counted.
bool endsWithVoteLines(const std::string& scores) {
  constexpr std::string_view kUncounted = "1:0\n2:0\n3:0\n";
  if (!scores.ends_with(kUncounted)) return false;
  std::vector<std::string_view> lines;
  std::string_view rest(scores.data(), scores.size() - kUncounted.size());
  while (!rest.empty() && lines.size() < 4) {
    if (rest.back() != '\n') return false;
    rest.remove_suffix(1);
    const std::size_t start = rest.rfind('\n') == std::string_view::npos ? 0 : rest.rfind('\n') + 1;
    lines.push_back(rest.substr(start));
    rest = rest.substr(0, start);
  }
  return lines.size() == 4 && isVoteLine(lines[3], '0') && isVoteLine(lines[2], '1') && isVoteLine(lines[1], '2') &&
         isVoteLine(lines[0], '3');
}

bool holdsOnlyTheRunsFiles() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(".")) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names ==
         std::vector<std::string>{
             "logger.txt", "out.bmp",     "page.pnm", "page.pnm.chars.coords.lisp", "page.pnm.rows.coords.lisp",
             "scores.txt", "skeleton.bmp"};
}

constexpr const char* kOutputFiles[] = {
    "out.bmp", "skeleton.bmp", "scores.txt", "logger.txt", "page.pnm.rows.coords.lisp", "page.pnm.chars.coords.lisp"};

// Every output file of the run in the folder, one after the other.
std::string outputsOfRun() {
  std::string outputs;
  for (const char* name : kOutputFiles) outputs += readAll(name) + '\0';
  return outputs;
}

// Runs the driver on page.pnm with the coordinate files asked for.
void runDriver(int bands) {
  ::unlink("out.bmp");
  ::unlink("page.pnm.chars.coords.lisp");  // appended to by every run
  SilentHost host;
  glimmer::ProcessRequest request;
  request.inputPath = "page.pnm";
  request.outputPath = "out.bmp";
  request.bandCount = bands;
  request.writeRows = true;
  request.writeChars = true;
  std::string processed;
  require(glimmer::processImageFile(request, host, processed) == 0 && host.errors == 0, "a valid page is processed");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  glimmer::fuzz::PrivateFolder::prepare(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const glimmer::fuzz::PrivateFolder inPrivateFolder;
  const Page page = pageFrom(data, size);
  writePnm(page, "page.pnm");

  runDriver(page.bands);
  require(holdsOnlyTheRunsFiles(), "a run writes its outputs and nothing else");

  const std::vector<std::uint8_t> output = bmpGreys(readAll("out.bmp"), page);
  const std::vector<std::uint8_t> skeleton = bmpGreys(readAll("skeleton.bmp"), page);
  for (std::size_t i = 0; i < output.size(); ++i) {
    // A text pixel keeps its page value, less 128 above 128.
    require(output[i] == 255 || output[i] == glimmer::textPixelValue(page.pixels[i]),
            "an output pixel is white or its page pixel's text value");
    require(skeleton[i] == 255 || (skeleton[i] == 0 && output[i] != 255), "the skeleton is black on the output's ink");
  }
  require(endsWithVoteLines(readAll("scores.txt")), "scores.txt ends with the seven vote lines");
  if (page.bands > 1) {
    const std::string outputs = outputsOfRun();
    runDriver(1);
    require(outputsOfRun() == outputs, "every band count writes the files of one band");
  }
  return 0;
}
