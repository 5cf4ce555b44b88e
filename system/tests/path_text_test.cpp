#include "system/path_text.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

// What an output would replace, what a folder input is, what exists at all:
// links are followed, and a FIFO or a dangling link is no regular file.
TEST(PathChecks, FollowLinksAndTellFilesFromFoldersAndFifos) {
  const test_support::ScratchDir dir;
  test_support::writeFile("page", "x");
  std::filesystem::create_directory("folder");
  std::filesystem::create_symlink("page", "to-page");
  std::filesystem::create_symlink("folder", "to-folder");
  std::filesystem::create_symlink("nothing", "dangling");
  ASSERT_EQ(::mkfifo("fifo", 0600), 0);
  struct Case {
    const char* path;
    bool exists, regular, folder;
  };
  for (const Case& c :
       {Case{"page", true, true, false}, Case{"to-page", true, true, false}, Case{"folder", true, false, true},
        Case{"to-folder/", true, false, true}, Case{"fifo", true, false, false}, Case{"dangling", false, false, false},
        Case{"", false, false, false}}) {
    EXPECT_EQ(fileExists(c.path), c.exists) << c.path;
    EXPECT_EQ(regularFileExists(c.path), c.regular) << c.path;
    EXPECT_EQ(folderExists(c.path), c.folder) << c.path;
  }
}

TEST(ReplaceAll, ReplacesLeftToRightWithoutRescanning) {
  EXPECT_EQ(replaceAll("C:\\a\\b.jpg", "\\", "/"), "C:/a/b.jpg");
  EXPECT_EQ(replaceAll("x///y", "//", "/"), "x//y");
  EXPECT_EQ(replaceAll("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(replaceAll("unchanged", "", "x"), "unchanged");
}

TEST(PageOutputPath, NumbersEveryPageBeforeTheExtensionOfTheFileName) {
  const struct {
    const char* path;
    int page, count;
    const char* expected;
  } cases[] = {
      {"out/scan.bmp", 0, 1, "out/scan.bmp"},        {"out/scan.bmp", 0, 3, "out/scan-0001.bmp"},
      {"out/scan.png", 11, 12, "out/scan-0012.png"}, {"v1.2/scan", 1, 2, "v1.2/scan-0002"},
      {"dir/.hidden", 0, 2, "dir/.hidden-0001"},     {"", 0, 2, "-0001"},
  };
  for (const auto& [path, page, count, expected] : cases)
    EXPECT_EQ(pageOutputPath(path, page, count), expected) << path;
}

}  // namespace
}  // namespace glimmer
