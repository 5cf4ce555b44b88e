#include "formats/bmp_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

using test_support::ScratchDir;

std::string bytes(std::initializer_list<int> values) {
  std::string text;
  for (int value : values) text.push_back(static_cast<char>(value));
  return text;
}

std::string headerFor(std::uint32_t width, std::uint32_t height, std::uint32_t imageBytes) {
  std::string header(54, '\0');
  const auto put = [&header](std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) header[offset + i] = static_cast<char>(value >> (8 * i));
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

std::vector<std::string> entriesOf(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(WriteBmp, LayoutPadsRowsAndStoresThemBottomUp) {
  const ScratchDir scratch;
  ASSERT_TRUE(writeBmp(GreyImage(1, 1, 200), scratch.file("one.bmp")));
  EXPECT_EQ(test_support::readFile(scratch.file("one.bmp")), headerFor(1, 1, 4) + bytes({200, 200, 200, 0}));

  GreyImage row(4, 1);
  row.pixels = {1, 2, 3, 4};
  ASSERT_TRUE(writeBmp(row, scratch.file("four.bmp")));
  EXPECT_EQ(test_support::readFile(scratch.file("four.bmp")),
            headerFor(4, 1, 12) + bytes({1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}));

  GreyImage square(2, 2);
  square.at(0, 0) = 0;
  ASSERT_TRUE(writeBmp(square, scratch.file("square.bmp")));
  EXPECT_EQ(test_support::readFile(scratch.file("square.bmp")),
            headerFor(2, 2, 16) + bytes({255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0}));
}

TEST(WriteBmp, EmptyImageIsHeaderOnly) {
  const ScratchDir scratch;
  ASSERT_TRUE(writeBmp(GreyImage(0, 3), scratch.file("narrow.bmp")));
  EXPECT_EQ(test_support::readFile(scratch.file("narrow.bmp")), headerFor(0, 3, 0));
  ASSERT_TRUE(writeBmp(GreyImage(5, 0), scratch.file("flat.bmp")));
  EXPECT_EQ(test_support::readFile(scratch.file("flat.bmp")), headerFor(5, 0, 0));
}

TEST(WriteBmp, LargeImageSpanningSeveralBlocksKeepsEveryRow) {
  const ScratchDir scratch;
  GreyImage image(1001, 700);  // odd width: every row padded
  for (std::size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(writeBmp(image, scratch.file("large.bmp")));
  const std::string file = test_support::readFile(scratch.file("large.bmp"));
  const std::size_t rowSize = 3004;
  ASSERT_EQ(file.size(), 54 + rowSize * 700);
  for (std::int32_t y : {0, 1, 350, 699}) {
    const std::size_t rowStart = 54 + rowSize * static_cast<std::size_t>(699 - y);
    for (std::int32_t x : {0, 500, 1000}) {
      EXPECT_EQ(static_cast<std::uint8_t>(file[rowStart + 3 * x + 2]), image.at(x, y)) << x << "," << y;
    }
    EXPECT_EQ(file[rowStart + 3003], '\0');
  }
}

TEST(WriteBmp, ReplacesAnExistingFileWithNoLeftovers) {
  const ScratchDir scratch;
  test_support::writeFile(scratch.file("page.bmp"), std::string(5000, 'x'));
  ASSERT_TRUE(writeBmp(GreyImage(1, 1, 7), scratch.file("page.bmp")));
  EXPECT_EQ(test_support::readFile(scratch.file("page.bmp")), headerFor(1, 1, 4) + bytes({7, 7, 7, 0}));
  EXPECT_EQ(entriesOf(scratch.path()), std::vector<std::string>{"page.bmp"});
}

TEST(WriteBmp, NewFileGetsTheUmaskInForceWhenWritten) {
  const ScratchDir scratch;
  const mode_t previous = ::umask(027);
  const bool written = writeBmp(GreyImage(1, 1), scratch.file("masked.bmp"));
  ::umask(previous);
  ASSERT_TRUE(written);
  struct stat status {};
  ASSERT_EQ(::stat(scratch.file("masked.bmp").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
}

TEST(WriteBmp, OutputPathAtTheSystemsLengthLimitWorks) {
  const ScratchDir scratch;
  // Nested folders make the path one byte short of PATH_MAX with a file name
  // shorter than any temporary name, which could not have been created beside
  // it by its full path.
  const std::string name = "a.bmp";
  std::string folder = scratch.path().string();
  const std::size_t folderLength = PATH_MAX - 1 - 1 - name.size();
  while (folder.size() < folderLength) {
    folder += "/" + std::string(std::min<std::size_t>(200, folderLength - folder.size() - 1), 'd');
    ASSERT_TRUE(std::filesystem::create_directory(folder)) << folder.size();
  }
  const std::string path = folder + "/" + name;
  ASSERT_EQ(path.size(), static_cast<std::size_t>(PATH_MAX - 1));
  ASSERT_TRUE(writeBmp(GreyImage(2, 2, 9), path));
  EXPECT_EQ(entriesOf(folder), std::vector<std::string>{name});
}

TEST(WriteBmp, FailureLeavesNothingBehind) {
  const ScratchDir scratch;
  EXPECT_FALSE(writeBmp(GreyImage(2, 2), scratch.file("absent/out.bmp")));
  EXPECT_TRUE(entriesOf(scratch.path()).empty());

  std::filesystem::create_directory(scratch.file("taken"));
  EXPECT_FALSE(writeBmp(GreyImage(2, 2), scratch.file("taken")));
  EXPECT_FALSE(writeBmp(GreyImage(2, 2), scratch.file("taken") + "/"));
  EXPECT_EQ(entriesOf(scratch.path()), std::vector<std::string>{"taken"});
  EXPECT_TRUE(std::filesystem::is_empty(scratch.file("taken")));
}

}  // namespace
}  // namespace glimmer
