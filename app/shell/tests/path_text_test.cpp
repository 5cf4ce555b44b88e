#include "app/shell/path_text.h"

#include <gtest/gtest.h>

#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

TEST(ReplaceAll, ReplacesLeftToRightWithoutRescanning) {
  EXPECT_EQ(replaceAll("C:\\a\\b.jpg", "\\", "/"), "C:/a/b.jpg");
  EXPECT_EQ(replaceAll("a\"\"b", "\"", ""), "ab");
  EXPECT_EQ(replaceAll("x///y", "//", "/"), "x//y");
  EXPECT_EQ(replaceAll("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(replaceAll("plain", "/", "\\"), "plain");
  EXPECT_EQ(replaceAll("", "/", "\\"), "");
  EXPECT_EQ(replaceAll("unchanged", "", "x"), "unchanged");
}

TEST(ToLowerCopy, LowersAsciiLettersOnly) {
  EXPECT_EQ(toLowerCopy("JPG"), "jpg");
  EXPECT_EQ(toLowerCopy("Jpeg.PNM"), "jpeg.pnm");
  EXPECT_EQ(toLowerCopy("\xC4Z9_"), "\xC4z9_");
}

TEST(PathTests, FilesAndFolders) {
  test_support::ScratchDir folder;
  const std::string file = folder.file("page.pnm");
  test_support::writeFile(file, "P5");

  EXPECT_TRUE(fileExists(file));
  EXPECT_TRUE(fileExists(folder.path().string()));
  EXPECT_FALSE(fileExists(folder.file("missing")));
  EXPECT_FALSE(fileExists(""));

  EXPECT_TRUE(folderExists(folder.path().string()));
  EXPECT_TRUE(folderExists(folder.path().string() + "/"));
  EXPECT_TRUE(folderExists("/"));
  EXPECT_FALSE(folderExists(file));
  EXPECT_FALSE(folderExists(file + "/"));
  EXPECT_FALSE(folderExists(folder.file("missing")));
  EXPECT_FALSE(folderExists(""));
}

}  // namespace
}  // namespace glimmer
