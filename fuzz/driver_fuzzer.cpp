// The whole driver on tiny pages. The first three bytes choose the width
// (1..64), the height (1..64) and the band count (1..4); the rest are the
// pixels row by row, and missing pixels are white. Every run must succeed, and
// its outputs must keep the driver's promises about what they can hold.
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

// The page areas that finished bands whitened: the interiors of the word boxes
// in the rows file that lie inside the page, as the band threads test them.
struct Interior {
  int left, right, top, bottom;  // columns left..right, rows top..bottom - 1
};

std::vector<Interior> whitenedInteriors(const std::string& rowsFile, const Page& page) {
  std::vector<Interior> interiors;
  std::size_t start = rowsFile.find('(') + 2;
  for (std::size_t end; (end = rowsFile.find('\n', start)) != std::string::npos; start = end + 1) {
    Interior box{};
    int baselo = 0;
    int basehi = 0;
    const std::string line = rowsFile.substr(start, end - start);
    require(std::sscanf(line.c_str(), "(x1 %d y1 %d x2 %d y2 %d baselo %d basehi %d)", &box.left, &box.top, &box.right,
                        &box.bottom, &baselo, &basehi) == 6,
            "the rows file holds one word box a line");
    if (box.left > 0 && box.top > 0 && box.right < page.width && box.bottom < page.height && box.top < box.bottom) {
      interiors.push_back(box);
    }
  }
  return interiors;
}

bool isWhitened(const std::vector<Interior>& interiors, int x, int y) {
  return std::any_of(interiors.begin(), interiors.end(), [x, y](const Interior& box) {
    return box.left <= x && x <= box.right && box.top <= y && y < box.bottom;
  });
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
  ::unlink("out.bmp");
  ::unlink("page.pnm.chars.coords.lisp");  // appended to by every run

  SilentHost host;
  glimmer::ProcessRequest request;
  request.inputPath = "page.pnm";
  request.outputPath = "out.bmp";
  request.bandCount = page.bands;
  request.writeRows = true;
  request.writeChars = true;
  std::string processed;
  require(glimmer::processImageFile(request, host, processed) == 0 && host.errors == 0, "a valid page is processed");
  require(holdsOnlyTheRunsFiles(), "a run writes its outputs and nothing else");

  const std::vector<std::uint8_t> output = bmpGreys(readAll("out.bmp"), page);
  const std::vector<std::uint8_t> skeleton = bmpGreys(readAll("skeleton.bmp"), page);
  const std::vector<Interior> whitened = whitenedInteriors(readAll("page.pnm.rows.coords.lisp"), page);
  for (std::size_t i = 0; i < output.size(); ++i) {
    // A text pixel keeps its page value, less 128 above 128. With several bands
    // the page a band reads is not fixed: a band that has finished whitens its
    // word boxes in the shared page while others still scan, so a band may
    // paint a pixel of such a box that it read as white, which gives the text
    // value of 255.
    const int x = static_cast<int>(i) % page.width;
    const int y = static_cast<int>(i) / page.width;
    const std::uint8_t text = glimmer::textPixelValue(page.pixels[i]);
    const bool whitenedBeforePainted =
        page.bands > 1 && output[i] == glimmer::textPixelValue(255) && isWhitened(whitened, x, y);
    require(output[i] == 255 || output[i] == text || whitenedBeforePainted,
            "an output pixel is white or its page pixel's text value");
    require(skeleton[i] == 255 || (skeleton[i] == 0 && output[i] != 255), "the skeleton is black on the output's ink");
  }
  require(endsWithVoteLines(readAll("scores.txt")), "scores.txt ends with the seven vote lines");
  return 0;
}
