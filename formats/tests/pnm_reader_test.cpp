#include "formats/pnm_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "formats/tests/scratch_folder.h"

namespace glimmer {
namespace {

std::vector<std::uint8_t> pnm(const std::string& header, const std::vector<std::uint8_t>& raster = {}) {
  std::vector<std::uint8_t> bytes(header.begin(), header.end());
  bytes.insert(bytes.end(), raster.begin(), raster.end());
  return bytes;
}

GreyImage imageOf(std::int32_t width, std::int32_t height, const std::vector<std::uint8_t>& pixels) {
  GreyImage image(width, height);
  image.pixels = pixels;
  return image;
}

const std::vector<std::uint8_t> kSixBytes = {1, 2, 3, 4, 5, 6};

TEST(DecodePnm, PlainHeadersGiveTheRasterRowByRow) {
  const GreyImage expected = imageOf(3, 2, kSixBytes);
  for (const char* header : {"P5\n3 2\n255\n", "P5 3 2 255 "}) {
    const PnmResult result = decodePnm(pnm(header, kSixBytes));
    ASSERT_TRUE(result.image) << header << ": " << result.problem;
    EXPECT_EQ(*result.image, expected) << header;
  }
}

TEST(DecodePnm, ColourKeepsTheFirstSampleOfEveryPixel) {
  const PnmResult result = decodePnm(pnm("P6\n2 1\n255\n", {10, 20, 30, 40, 50, 60}));
  ASSERT_TRUE(result.image) << result.problem;
  EXPECT_EQ(*result.image, imageOf(2, 1, {10, 40}));
}

TEST(DecodePnm, AnySeparatorRunAndCommentsAreAccepted) {
  const GreyImage expected = imageOf(3, 2, kSixBytes);
  for (const char* header : {
           "P5\r\n3 2\r\n255\r",              // CRLF line ends; the raster follows the CR
           "P5\t3\t\t2  \v\f255\t",           // tabs, runs, vertical tab, form feed
           "P5\n# made by hand\n3 2\n255\n",  // comment line after the magic
           "P5#comment right after the magic\n3 2 255\n",
           "P5 3# a comment ending in CR\r2#\n255\n",  // comments end a number; empty comment
           "P5\n3 2\n# before the maximum\n255\n",
           "P5 0003 000002 00255\n",  // leading zeros
       }) {
    const PnmResult result = decodePnm(pnm(header, kSixBytes));
    ASSERT_TRUE(result.image) << header << ": " << result.problem;
    EXPECT_EQ(*result.image, expected) << header;
  }
}

TEST(DecodePnm, SmallMaximumScalesToFullRangeAndClampsSamplesAboveIt) {
  const PnmResult result = decodePnm(pnm("P5 6 1 15\n", {0, 1, 7, 8, 15, 16}));
  ASSERT_TRUE(result.image) << result.problem;
  // (v * 255 + 7) / 15
  EXPECT_EQ(*result.image, imageOf(6, 1, {0, 17, 119, 136, 255, 255}));
}

TEST(DecodePnm, ColourWithSmallMaximumScalesTheKeptSample) {
  const PnmResult result = decodePnm(pnm("P6 1 1 1\n", {1, 0, 0}));
  ASSERT_TRUE(result.image) << result.problem;
  EXPECT_EQ(result.image->pixels, std::vector<std::uint8_t>{255});
}

TEST(DecodePnm, MaximumAbove255ReadsTwoBytesMostSignificantFirst) {
  const PnmResult full = decodePnm(pnm("P5 3 1 65535\n", {0x00, 0x00, 0x80, 0x00, 0xFF, 0xFF}));
  ASSERT_TRUE(full.image) << full.problem;
  EXPECT_EQ(full.image->pixels, (std::vector<std::uint8_t>{0, 128, 255}));

  // 500 = 0x01F4 of 1000 is (500 * 255 + 500) / 1000; 1001 lies above the maximum.
  const PnmResult scaled = decodePnm(pnm("P5 2 1 1000\n", {0x01, 0xF4, 0x03, 0xE9}));
  ASSERT_TRUE(scaled.image) << scaled.problem;
  EXPECT_EQ(scaled.image->pixels, (std::vector<std::uint8_t>{128, 255}));

  const PnmResult colour = decodePnm(pnm("P6 1 1 65535\n", {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
  ASSERT_TRUE(colour.image) << colour.problem;
  EXPECT_EQ(colour.image->pixels, std::vector<std::uint8_t>{0});
}

TEST(DecodePnm, MissingRasterBytesReadAs255) {
  const PnmResult grey = decodePnm(pnm("P5 3 2 255\n", {1, 2}));
  ASSERT_TRUE(grey.image) << grey.problem;
  EXPECT_EQ(*grey.image, imageOf(3, 2, {1, 2, 255, 255, 255, 255}));

  const PnmResult colour = decodePnm(pnm("P6 2 1 255\n", {10, 20, 30, 40}));
  ASSERT_TRUE(colour.image) << colour.problem;
  EXPECT_EQ(colour.image->pixels, (std::vector<std::uint8_t>{10, 40}));

  const PnmResult headerOnly = decodePnm(pnm("P5 2 1 15\n"));
  ASSERT_TRUE(headerOnly.image) << headerOnly.problem;
  EXPECT_EQ(headerOnly.image->pixels, (std::vector<std::uint8_t>{255, 255}));

  // 0x12 then a missing byte: 0x12FF of 65535 scales to 19.
  const PnmResult cutSample = decodePnm(pnm("P5 2 1 65535\n", {0x12}));
  ASSERT_TRUE(cutSample.image) << cutSample.problem;
  EXPECT_EQ(cutSample.image->pixels, (std::vector<std::uint8_t>{19, 255}));
}

TEST(DecodePnm, BrokenHeadersAreRejectedWithAReason) {
  for (const char* header : {
           "",              // empty
           "P5",            // ends after the magic
           "P5\n3 2\n255",  // no byte after the maximum value
           "P5\n3 2\n",     // no maximum value
           "P5 3 2 # comment to the end",
           "P53 2 1 255\n",  // the magic runs into the width
           "P2 3 2 255\n",
           "P4 3 2\n",
           "p5 3 2 255\n",
           "Q5 3 2 255\n",
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
    const PnmResult result = decodePnm(pnm(header));
    EXPECT_FALSE(result.image) << header;
    EXPECT_FALSE(result.problem.empty()) << header;
  }
}

TEST(DecodePnm, AbsurdSizeIsRejectedBeforeTheRasterIsMade) {
  // Each side is allowed; together they exceed 268,435,456 pixels.
  const PnmResult result = decodePnm(pnm("P5 65535 4097 255\n"));
  EXPECT_FALSE(result.image);
  EXPECT_EQ(result.problem, "image has too many pixels");
}

TEST(DecodePnm, MagicMustStandAlone) {
  const PnmResult result = decodePnm(pnm("P53 2 1 255\n", kSixBytes));
  EXPECT_FALSE(result.image);
  EXPECT_EQ(result.problem, "magic number not followed by white space");
}

TEST(DecodePnm, LargestSidesAreAccepted) {
  const PnmResult wide = decodePnm(pnm("P5 65535 1 255\n"));
  ASSERT_TRUE(wide.image) << wide.problem;
  EXPECT_EQ(wide.image->width, 65535);
  const PnmResult tall = decodePnm(pnm("P5 1 65535 65535\n"));
  ASSERT_TRUE(tall.image) << tall.problem;
  EXPECT_EQ(tall.image->height, 65535);
}

using ReadPnm = ScratchFolder;

TEST_F(ReadPnm, ReadsTheDeclaredRasterAndIgnoresWhatFollows) {
  std::vector<std::uint8_t> bytes = pnm("P5\n# scanned\n3 2\n255\n", kSixBytes);
  bytes.insert(bytes.end(), 1000, 7);
  const PnmResult result = readPnm(writeFile("page.pnm", bytes));
  ASSERT_TRUE(result.image) << result.problem;
  EXPECT_EQ(*result.image, imageOf(3, 2, kSixBytes));
}

TEST_F(ReadPnm, ShortFileReadsAsWhiteLikeMemory) {
  const std::vector<std::uint8_t> bytes = pnm("P5 3 2 65535\n", {0, 0, 0x80, 0x00, 0x12});
  const PnmResult fromFile = readPnm(writeFile("short.pnm", bytes));
  const PnmResult fromMemory = decodePnm(bytes);
  ASSERT_TRUE(fromFile.image) << fromFile.problem;
  ASSERT_TRUE(fromMemory.image) << fromMemory.problem;
  EXPECT_EQ(*fromFile.image, *fromMemory.image);
  EXPECT_EQ(fromFile.image->pixels, (std::vector<std::uint8_t>{0, 128, 19, 255, 255, 255}));
}

TEST_F(ReadPnm, ReadOnlyFileIsReadAndLeftAlone) {
  const std::string path = writeFile("locked.pnm", pnm("P5 3 2 255\n", kSixBytes));
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const PnmResult result = readPnm(path);
  ASSERT_TRUE(result.image) << result.problem;
  EXPECT_EQ(*result.image, imageOf(3, 2, kSixBytes));
  EXPECT_EQ(readFile("locked.pnm"), pnm("P5 3 2 255\n", kSixBytes));
}

TEST_F(ReadPnm, UnreadableInputsFailWithAReason) {
  const PnmResult missing = readPnm(pathOf("absent.pnm"));
  EXPECT_FALSE(missing.image);
  EXPECT_EQ(missing.problem, "cannot open file");

  const PnmResult empty = readPnm(writeFile("empty.pnm", {}));
  EXPECT_FALSE(empty.image);
  EXPECT_EQ(empty.problem, "empty file");

  const PnmResult folder = readPnm(folder_.string());
  EXPECT_FALSE(folder.image);
  EXPECT_EQ(folder.problem, "cannot read file");

  const PnmResult cut = readPnm(writeFile("cut.pnm", pnm("P5\n3 2\n25")));
  EXPECT_FALSE(cut.image);
  EXPECT_EQ(cut.problem, "header ends early");
}

}  // namespace
}  // namespace glimmer
