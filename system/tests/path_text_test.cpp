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

}  // namespace
}  // namespace glimmer
