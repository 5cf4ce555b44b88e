#include "system/path_text.h"

#include <gtest/gtest.h>

namespace glimmer {
namespace {

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
