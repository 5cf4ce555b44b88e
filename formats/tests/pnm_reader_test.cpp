#include "formats/pnm_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

using test_support::ScratchDir;
using Pixels = std::vector<std::uint8_t>;

std::string bytes(std::initializer_list<int> values) {
  std::string text;
  for (int value : values) text.push_back(static_cast<char>(value));
  return text;
}

PnmResult decode(const std::string& file) {
  return decodePnm({reinterpret_cast<const std::uint8_t*>(file.data()), file.size()});
}

// The pixels of a page that must decode to width x height.
Pixels pixelsOf(const PnmResult& result, std::int32_t width, std::int32_t height) {
  if (!result.image) {
    ADD_FAILURE() << "not decoded: " << result.problem;
    return {};
  }
  EXPECT_EQ(result.image->width, width);
  EXPECT_EQ(result.image->height, height);
  return result.image->pixels;
}

const std::string kSixBytes = bytes({1, 2, 3, 4, 5, 6});
const Pixels kSixPixels = {1, 2, 3, 4, 5, 6};

TEST(DecodePnm, HeadersWithAnySeparatorsGiveTheRasterRowByRow) {
  for (const char* header : {
           "P5\n3 2\n255\n",
           "P5 3 2 255 ",
           "P5\r\n3 2\r\n255\r",  // the raster follows the CR
           "P5\t3\t\t2  \v\f255\t",
           "P5\n# made by hand\n3 2\n255\n",
           "P5#right after the magic\n3 2 255\n",
           "P5 3# ends in CR\r2#\n255\n",  // comments end numbers; an empty comment
           "P5\n3 2\n# before the maximum\n255\n",
           "P5 0003 000002 00255\n",
       }) {
    EXPECT_EQ(pixelsOf(decode(header + kSixBytes), 3, 2), kSixPixels) << header;
  }
}

TEST(DecodePnm, ColourKeepsTheFirstSampleOfEveryPixel) {
  EXPECT_EQ(pixelsOf(decode("P6\n2 1\n255\n" + bytes({10, 20, 30, 40, 50, 60})), 2, 1), (Pixels{10, 40}));
  EXPECT_EQ(pixelsOf(decode("P6 1 1 65535\n" + bytes({0, 0, 255, 255, 255, 255})), 1, 1), Pixels{0});
}

TEST(DecodePnm, SamplesAreScaledToTheMaximumAndClampedAboveIt) {
  // (v * 255 + 7) / 15
  EXPECT_EQ(pixelsOf(decode("P5 6 1 15\n" + bytes({0, 1, 7, 8, 15, 16})), 6, 1), (Pixels{0, 17, 119, 136, 255, 255}));
  // Two bytes, most significant first: 0x8000 of 65535; 500 of 1000; 1001 is above 1000.
  EXPECT_EQ(pixelsOf(decode("P5 3 1 65535\n" + bytes({0, 0, 0x80, 0, 255, 255})), 3, 1), (Pixels{0, 128, 255}));
  EXPECT_EQ(pixelsOf(decode("P5 2 1 1000\n" + bytes({0x01, 0xF4, 0x03, 0xE9})), 2, 1), (Pixels{128, 255}));
}

TEST(DecodePnm, MissingRasterBytesReadAs255) {
  EXPECT_EQ(pixelsOf(decode("P5 3 2 255\n" + bytes({1, 2})), 3, 2), (Pixels{1, 2, 255, 255, 255, 255}));
  EXPECT_EQ(pixelsOf(decode("P6 2 1 255\n" + bytes({10, 20, 30, 40})), 2, 1), (Pixels{10, 40}));
  EXPECT_EQ(pixelsOf(decode("P5 2 1 15\n"), 2, 1), (Pixels{255, 255}));
  // 0x12 and a missing byte: 0x12FF of 65535 is 19.
  EXPECT_EQ(pixelsOf(decode("P5 2 1 65535\n" + bytes({0x12})), 2, 1), (Pixels{19, 255}));
}

TEST(DecodePnm, BrokenHeadersAreRejectedWithAReason) {
  for (const char* header : {
           "",
           "P5",
           "P5\n3 2\n255",
           "P5\n3 2\n",
           "P5 3 2 # runs to the end",
           "P53 2 1 255\n",  // the magic runs into the width
           "P2 3 2 255\n",
           "P4 3 2\n",
           "p5 3 2 255\n",
           "P5\n-3 2\n255\n",
           "P5\n+3 2\n255\n",
           "P5\n3 -2\n255\n",
           "P5\n0 2\n255\n",
           "P5\n3 0\n255\n",
           "P5\n3 2\n0\n",
           "P5\n65536 2\n255\n",
           "P5\n3 65536\n255\n",
           "P5\n3 2\n65536\n",
           "P5\n99999999999999999999999 2\n255\n",
           "P5\n3x 2\n255\n",
           "P5\n3 2\n255x",
           "P5\n3 2\n255#\n",
       }) {
    const PnmResult result = decode(header);
    EXPECT_FALSE(result.image) << header;
    EXPECT_FALSE(result.problem.empty()) << header;
  }
  EXPECT_EQ(decode("P53 2 1 255\n" + kSixBytes).problem, "magic number not followed by white space");
  EXPECT_EQ(decode("P5\n3 2\n255").problem, "header ends early");
}

TEST(DecodePnm, SizeLimits) {
  // Each side is allowed, but together they exceed 268,435,456 pixels: no raster is made.
  EXPECT_EQ(decode("P5 65535 4097 255\n").problem, "image has too many pixels");
  EXPECT_EQ(pixelsOf(decode("P5 65535 1 255\n"), 65535, 1).size(), 65535u);
  EXPECT_EQ(pixelsOf(decode("P5 1 65535 65535\n"), 1, 65535).size(), 65535u);

  // A caller's lower limit, and never a higher one than the reader's own.
  const std::string page = "P5 3 2 255\n" + kSixBytes;
  const std::span<const std::uint8_t> span(reinterpret_cast<const std::uint8_t*>(page.data()), page.size());
  EXPECT_TRUE(decodePnm(span, 6).image);
  EXPECT_EQ(decodePnm(span, 5).problem, "image has too many pixels");
  const std::string huge = "P5 65535 4097 255\n";
  EXPECT_FALSE(decodePnm({reinterpret_cast<const std::uint8_t*>(huge.data()), huge.size()}, UINT64_MAX).image);
}

TEST(ReadPnm, ReadsTheDeclaredRasterLikeMemory) {
  const ScratchDir scratch;
  const std::string page = "P5\n# scanned\n3 2\n255\n" + kSixBytes;
  test_support::writeFile(scratch.file("page.pnm"), page + std::string(1000, 'x'));
  EXPECT_EQ(pixelsOf(readPnm(scratch.file("page.pnm")), 3, 2), kSixPixels);

  const std::string cut = "P5 3 2 65535\n" + bytes({0, 0, 0x80, 0, 0x12});
  test_support::writeFile(scratch.file("cut.pnm"), cut);
  EXPECT_EQ(pixelsOf(readPnm(scratch.file("cut.pnm")), 3, 2), (Pixels{0, 128, 19, 255, 255, 255}));
}

TEST(ReadPnm, ReadOnlyFileIsReadAndLeftAlone) {
  const ScratchDir scratch;
  const std::string page = "P5 3 2 255\n" + kSixBytes;
  test_support::writeFile(scratch.file("locked.pnm"), page);
  ASSERT_EQ(::chmod(scratch.file("locked.pnm").c_str(), 0444), 0);
  EXPECT_EQ(pixelsOf(readPnm(scratch.file("locked.pnm")), 3, 2), kSixPixels);
  EXPECT_EQ(test_support::readFile(scratch.file("locked.pnm")), page);
}

TEST(ReadPnm, UnreadableInputsFailWithAReason) {
  const ScratchDir scratch;
  EXPECT_EQ(readPnm(scratch.file("absent.pnm")).problem, "cannot open file");
  test_support::writeFile(scratch.file("empty.pnm"), "");
  EXPECT_EQ(readPnm(scratch.file("empty.pnm")).problem, "empty file");
  test_support::writeFile(scratch.file("short.pnm"), "P5\n3 2\n25");
  EXPECT_EQ(readPnm(scratch.file("short.pnm")).problem, "header ends early");
}

TEST(ReadPnm, RefusesWhatIsNotARegularFileWithoutWaitingOrReading) {
  const ScratchDir scratch;
  // A FIFO with no writer would block an ordinary open for ever.
  ASSERT_EQ(::mkfifo(scratch.file("fifo.pnm").c_str(), 0600), 0);
  EXPECT_EQ(readPnm(scratch.file("fifo.pnm")).problem, "not a regular file");
  EXPECT_EQ(readPnm(scratch.path().string()).problem, "not a regular file");
  EXPECT_EQ(readPnm("/dev/zero").problem, "not a regular file");
}

}  // namespace
}  // namespace glimmer
