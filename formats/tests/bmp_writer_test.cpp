#include "formats/bmp_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/tests/scratch_folder.h"

namespace glimmer {
namespace {

std::vector<std::uint8_t> headerFor(std::uint32_t width, std::uint32_t height, std::uint32_t imageBytes) {
  std::vector<std::uint8_t> header(54, 0);
  const auto put = [&header](std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) header[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  header[0] = 'B';
  header[1] = 'M';
  put(2, 54 + imageBytes);
  put(10, 54);
  put(14, 40);
  put(18, width);
  put(22, height);
  header[26] = 1;
  header[28] = 24;
  put(34, imageBytes);
  return header;
}

std::vector<std::uint8_t> concat(std::vector<std::uint8_t> head, const std::vector<std::uint8_t>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

using WriteBmp = ScratchFolder;

TEST_F(WriteBmp, OnePixelRowIsPaddedToFourBytes) {
  GreyImage image(1, 1, 200);
  ASSERT_TRUE(writeBmp(image, pathOf("one.bmp")));
  EXPECT_EQ(readFile("one.bmp"), concat(headerFor(1, 1, 4), {200, 200, 200, 0}));
}

TEST_F(WriteBmp, RowOfTwelveBytesNeedsNoPadding) {
  GreyImage image(4, 1);
  image.pixels = {1, 2, 3, 4};
  ASSERT_TRUE(writeBmp(image, pathOf("four.bmp")));
  EXPECT_EQ(readFile("four.bmp"), concat(headerFor(4, 1, 12), {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}));
}

TEST_F(WriteBmp, RowsGoBottomUp) {
  GreyImage image(2, 2);
  image.at(0, 0) = 0;
  ASSERT_TRUE(writeBmp(image, pathOf("square.bmp")));
  EXPECT_EQ(readFile("square.bmp"), concat(headerFor(2, 2, 16), {255, 255, 255, 255, 255, 255, 0, 0,  //
                                                                 0, 0, 0, 255, 255, 255, 0, 0}));
}

TEST_F(WriteBmp, EmptyImageIsHeaderOnly) {
  ASSERT_TRUE(writeBmp(GreyImage(0, 3), pathOf("narrow.bmp")));
  EXPECT_EQ(readFile("narrow.bmp"), headerFor(0, 3, 0));
  ASSERT_TRUE(writeBmp(GreyImage(5, 0), pathOf("flat.bmp")));
  EXPECT_EQ(readFile("flat.bmp"), headerFor(5, 0, 0));
}

TEST_F(WriteBmp, ReplacesAnExistingFileAndLeavesNoTemporary) {
  writeFile("page.bmp", std::vector<std::uint8_t>(5000, 9));
  ASSERT_TRUE(writeBmp(GreyImage(1, 1, 7), pathOf("page.bmp")));
  EXPECT_EQ(readFile("page.bmp"), concat(headerFor(1, 1, 4), {7, 7, 7, 0}));
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"page.bmp"});
}

TEST_F(WriteBmp, NewFileIsReadableByOthersWithinTheUmask) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ASSERT_TRUE(writeBmp(GreyImage(1, 1), pathOf("shared.bmp")));
  struct stat status {};
  ASSERT_EQ(::stat(pathOf("shared.bmp").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0644 & ~mask);
}

TEST_F(WriteBmp, LargeImageMatchesItsRows) {
  // Several flush blocks, odd width so every row is padded.
  GreyImage image(1001, 700);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(writeBmp(image, pathOf("large.bmp")));
  const std::vector<std::uint8_t> bytes = readFile("large.bmp");
  const std::size_t rowSize = 3004;
  ASSERT_EQ(bytes.size(), 54 + rowSize * 700);
  for (std::int32_t y : {0, 1, 350, 699}) {
    const std::uint8_t* fileRow = bytes.data() + 54 + rowSize * static_cast<std::size_t>(699 - y);
    for (std::int32_t x : {0, 500, 1000}) EXPECT_EQ(fileRow[3 * x + 2], image.at(x, y)) << x << "," << y;
    EXPECT_EQ(fileRow[3003], 0);
  }
}

TEST_F(WriteBmp, FailureLeavesNothingBehind) {
  EXPECT_FALSE(writeBmp(GreyImage(2, 2), pathOf("absent/out.bmp")));
  EXPECT_TRUE(folderEntries().empty());

  std::filesystem::create_directory(pathOf("taken"));
  EXPECT_FALSE(writeBmp(GreyImage(2, 2), pathOf("taken")));
  EXPECT_FALSE(writeBmp(GreyImage(2, 2), pathOf("taken") + "/"));
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"taken"});
  EXPECT_TRUE(std::filesystem::is_empty(pathOf("taken")));
}

}  // namespace
}  // namespace glimmer
