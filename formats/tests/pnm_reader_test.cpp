#include "formats/pnm_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

using Pixels = std::vector<std::uint8_t>;

std::string bytes(std::initializer_list<int> values) { return std::string(values.begin(), values.end()); }

PnmResult decode(const std::string& file) {
  return decodePnm({reinterpret_cast<const std::uint8_t*>(file.data()), file.size()});
}

// The pixels of a page that must decode to width x height.
Pixels pixelsOf(const PnmResult& result, std::int32_t width, std::int32_t height) {
  EXPECT_TRUE(result.image) << result.problem;
  if (!result.image) return {};
  EXPECT_EQ(std::pair(result.image->width, result.image->height), std::pair(width, height));
  return result.image->pixels;
}

TEST(DecodePnm, HeadersWithAnySeparatorsAndCommentsGiveTheRaster) {
  for (const char* header :
       {"P5\n3 2\n255\n", "P5\r\n3 2\r\n255\r", "P5\t3\t\t2  \v\f255\t", "P5#right after the magic\n3 2 255\n",
        "P5 3# ends in CR\r2#\n255\n", "P5\n3 2\n# before the maximum\n255\n", "P5 0003 000002 00255\n"}) {
    EXPECT_EQ(pixelsOf(decode(header + bytes({1, 2, 3, 4, 5, 6})), 3, 2), (Pixels{1, 2, 3, 4, 5, 6})) << header;
  }
}

TEST(DecodePnm, SamplesAreScaledToTheMaximumAndAShortRasterReadsAsWhite) {
  const struct {
    std::string file;
    std::int32_t width;
    Pixels pixels;
    bool cutShort = false;
  } cases[] = {
      // Colour pixels become their luma, so red ink on cream stays darker than the paper; grey stays as it was.
      {"P6\n3 1\n255\n" + bytes({10, 20, 30, 200, 30, 30, 250, 240, 200}), 3, {18, 81, 238}},
      {"P6\n2 1\n255\n" + bytes({0, 0, 0, 77, 77, 77}), 2, {0, 77}},
      {"P6 1 1 65535\n" + bytes({255, 255, 0, 0, 0, 0}), 1, {76}},
      {"P6 2 1 255\n" + bytes({9, 9, 9}), 2, {9, 255}, true},
      {"P5 6 1 15\n" + bytes({0, 1, 7, 8, 15, 16}), 6, {0, 17, 119, 136, 255, 255}},
      {"P5 3 1 65535\n" + bytes({0, 0, 0x80, 0, 255, 255}), 3, {0, 128, 255}},
      {"P5 2 1 1000\n" + bytes({0x01, 0xF4, 0x03, 0xE9}), 2, {128, 255}},
      {"P5 3 1 255\n" + bytes({1, 2}), 3, {1, 2, 255}, true},
      {"P5 2 1 65535\n" + bytes({0x12}), 2, {19, 255}, true},
  };
  for (const auto& c : cases) {
    const PnmResult result = decode(c.file);
    EXPECT_EQ(pixelsOf(result, c.width, 1), c.pixels) << c.file;
    EXPECT_EQ(result.warning.starts_with("raster cut short"), c.cutShort) << c.file;
  }
}

TEST(DecodePnm, BrokenHeadersAreRejectedWithAReason) {
  for (const char* header :
       {"", "P5\n3 2\n255", "P5 3 2 # runs to the end", "P2 3 2 255\n", "p5 3 2 255\n", "P5\n-3 2\n255\n",
        "P5\n0 2\n255\n", "P5\n3 2\n0\n", "P5\n65536 2\n255\n", "P5\n3 2\n65536\n",
        "P5\n99999999999999999999999 2\n255\n", "P5\n3x 2\n255\n", "P5\n3 2\n255#\n"}) {
    const PnmResult result = decode(header);
    EXPECT_FALSE(result.image) << header;
    EXPECT_FALSE(result.problem.empty()) << header;
  }
  const std::pair<const char*, const char*> reasons[] = {
      {"P53 2 1 255\n", "magic number not followed by white space"},
      // Each side is allowed, but together they are too many pixels to allocate.
      {"P5 65535 4097 255\n", "width x height above the limit"},
      {"P2 3 2 255\n", "P2 is not read, only binary P5 and P6"},
      {"P4 3 2\n", "P4 is not read, only binary P5 and P6"},
      {"P5\n3 2\n", "header cut short"},
      {"P5\n0 2\n255\n", "width not within 1 to 65535"},
  };
  for (const auto& [header, reason] : reasons) EXPECT_EQ(decode(header).problem, reason) << header;
  EXPECT_EQ(pixelsOf(decode("P5 65535 1 255\n"), 65535, 1).size(), 65535u);
  // A caller may lower the pixel limit.
  const std::string page = "P5 3 2 255\n" + bytes({1, 2, 3, 4, 5, 6});
  const std::span<const std::uint8_t> span(reinterpret_cast<const std::uint8_t*>(page.data()), page.size());
  EXPECT_EQ(decodePnm(span, 5).problem, "width x height above the limit");
}

TEST(ReadPnm, ReadsAReadOnlyFileAndLeavesItAlone) {
  const test_support::ScratchDir scratch;
  const std::string page = "P5 3 2 65535\n" + bytes({0, 0, 0x80, 0, 0x12});
  test_support::writeFile(scratch.file("locked.pnm"), page);
  ASSERT_EQ(::chmod(scratch.file("locked.pnm").c_str(), 0444), 0);
  EXPECT_EQ(pixelsOf(readPnm(scratch.file("locked.pnm")), 3, 2), (Pixels{0, 128, 19, 255, 255, 255}));
  EXPECT_EQ(test_support::readFile(scratch.file("locked.pnm")), page);
  EXPECT_EQ(readPnm(scratch.file("absent.pnm")).problem, "cannot open file");
}

TEST(ReadPnm, RefusesWhatIsNotARegularFileWithoutWaitingOrReading) {
  const test_support::ScratchDir scratch;
  // A FIFO with no writer would block an ordinary open for ever.
  ASSERT_EQ(::mkfifo(scratch.file("fifo.pnm").c_str(), 0600), 0);
  EXPECT_EQ(readPnm(scratch.file("fifo.pnm")).problem, "not a regular file");
  EXPECT_EQ(readPnm(scratch.path().string()).problem, "not a regular file");
  EXPECT_EQ(readPnm("/dev/zero").problem, "not a regular file");
}

// The stream holds what is left of a file cut while it was read; a file that
// was short from the start reads as white instead.
TEST(ReadPnmStream, AFileThatShrankWhileReadFails) {
  std::string page = "P5 4 2 255\n" + bytes({1, 2, 3, 4, 5});
  std::FILE* rest = ::fmemopen(page.data(), page.size(), "rb");
  ASSERT_NE(rest, nullptr);
  EXPECT_EQ(readPnmStream(rest, page.size() + 3).problem, "file shrank while read");
  std::rewind(rest);
  EXPECT_EQ(pixelsOf(readPnmStream(rest, page.size()), 4, 2), (Pixels{1, 2, 3, 4, 5, 255, 255, 255}));
  std::fclose(rest);
}

}  // namespace
}  // namespace glimmer
