#include "system/child_process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "common/tests/scratch_dir.h"

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

// True once `pid` has ended (gone, or a zombie nobody has reaped yet); waits
// for the kernel to finish a kill that was sent, up to about ten seconds.
bool hasEnded(const std::string& pid) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string stat = test_support::readFile("/proc/" + pid + "/stat");
    const std::size_t close = stat.rfind(')');
    if (stat.empty() || (close != std::string::npos && stat.compare(close + 2, 1, "Z") == 0)) return true;
    usleep(10000);
  }
  return false;
}

TEST(RunChildProcess, TimeLimitKillsTheChildWithEverythingItStarted) {
  test_support::ScratchDir folder;
  EXPECT_EQ(runChildArguments({"sh", "-c", "exit 4"}, true, std::chrono::seconds(60)), 4);

  // The child starts a grandchild, tells its number, and waits for it for ever.
  const std::string script = "sleep 1000 & echo $! > grandchild; wait";
  EXPECT_EQ(runChildArguments({"sh", "-c", script}, true, std::chrono::seconds(1)), kChildTimedOut);
  const std::string grandchild = test_support::readFile("grandchild");
  ASSERT_FALSE(grandchild.empty()) << "the child did not get to start its own child";
  EXPECT_TRUE(hasEnded(grandchild.substr(0, grandchild.find('\n'))));
}

TEST(StartDetachedChild, ReportsOnlyAFailureWithinTheWatchAndNeverWaitsLonger) {
  using std::chrono::milliseconds;
  const std::pair<Arguments, std::string> cases[] = {
      {{"sh", "-c", "exit 0"}, ""},
      {{"sh", "-c", "exit 3"}, "sh exited with status 3"},
      {{"sh", "-c", "kill -9 $$"}, "sh ended by signal 9"},
      {{"glimmer-no-such-program-here"}, "glimmer-no-such-program-here: No such file or directory"},
  };
  for (const auto& [arguments, reason] : cases) EXPECT_EQ(startDetachedChild(arguments, milliseconds(5000)), reason);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(startDetachedChild({"sleep", "2"}, milliseconds(100)), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(5000));
}

TEST(RunChildProcess, QuotedProgramPathWithBlanks) {
  test_support::ScratchDir folder;
  const std::string program = folder.file("my prog.sh");
  test_support::writeFile(program, "#!/bin/sh\nexit $#\n");
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);
  EXPECT_EQ(runChildProcess("\"" + program + "\" \"one arg\" two", true), 2);
}

}  // namespace
}  // namespace glimmer
