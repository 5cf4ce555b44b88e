#include "app/shell/child_process.h"

#include <gtest/gtest.h>

namespace glimmer {
namespace {

using Arguments = std::vector<std::string>;

TEST(SplitCommandLine, BlanksSeparateQuotesGroupAndBackslashesEscapeOnlyQuotes) {
  const std::pair<const char*, Arguments> cases[] = {
      {" xdg-open \t\"/my pics/a b.bmp\" a\"b c\"d \"\"", {"xdg-open", "/my pics/a b.bmp", "ab cd", ""}},
      {"C:\\out\\a.bmp a\\\"b \"c\\\\\" d\\\\\\\"e \"open", {"C:\\out\\a.bmp", "a\"b", "c\\", "d\\\"e", "open"}},
      {"   ", {}}};
  for (const auto& [line, arguments] : cases) EXPECT_EQ(splitCommandLine(line), arguments) << line;
}

TEST(RunChildProcess, GivesTheExitCodeTheSignalOr999) {
  EXPECT_EQ(runChildProcess("sh -c \"exit 3\"", true), 3);
  EXPECT_EQ(runChildArguments({"sh", "-c", "kill -9 $$"}, false), 128 + 9);
  EXPECT_EQ(runChildProcess("glimmer-no-such-program-here --flag", true), kChildNotStarted);
  EXPECT_EQ(runChildProcess("", true), kChildNotStarted);
}

}  // namespace
}  // namespace glimmer
