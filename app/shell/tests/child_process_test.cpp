#include "app/shell/child_process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

using Arguments = std::vector<std::string>;

TEST(SplitCommandLine, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(splitCommandLine("djpeg -grayscale"), (Arguments{"djpeg", "-grayscale"}));
  EXPECT_EQ(splitCommandLine("  a \t b  "), (Arguments{"a", "b"}));
  EXPECT_EQ(splitCommandLine("prog \"C:/my pics/a.jpg\" x"), (Arguments{"prog", "C:/my pics/a.jpg", "x"}));
  EXPECT_EQ(splitCommandLine("a\"b c\"d"), (Arguments{"ab cd"}));
  EXPECT_EQ(splitCommandLine("a \"\" b"), (Arguments{"a", "", "b"}));
  EXPECT_EQ(splitCommandLine("\"unterminated arg"), (Arguments{"unterminated arg"}));
  EXPECT_TRUE(splitCommandLine("").empty());
  EXPECT_TRUE(splitCommandLine("   ").empty());
}

TEST(SplitCommandLine, BackslashesAreLiteralUnlessBeforeAQuote) {
  EXPECT_EQ(splitCommandLine("explorer C:\\out\\a.bmp"), (Arguments{"explorer", "C:\\out\\a.bmp"}));
  EXPECT_EQ(splitCommandLine("a\\\"b"), (Arguments{"a\"b"}));
  EXPECT_EQ(splitCommandLine("\"a\\\\\" b"), (Arguments{"a\\", "b"}));
  EXPECT_EQ(splitCommandLine("a\\\\\\\"b"), (Arguments{"a\\\"b"}));
}

TEST(RunChildProcess, ProgramThatCannotStartGives999) {
  EXPECT_EQ(runChildProcess("glimmer-no-such-program-here --flag", true), kChildNotStarted);
  EXPECT_EQ(runChildProcess("/nonexistent/folder/prog", true), kChildNotStarted);
  EXPECT_EQ(runChildProcess("", true), kChildNotStarted);
  EXPECT_EQ(runChildArguments({}, true), kChildNotStarted);
}

TEST(RunChildProcess, ReturnsExitCodeOrSignal) {
  EXPECT_EQ(runChildProcess("sh -c \"exit 3\"", true), 3);
  EXPECT_EQ(runChildProcess("true", false), 0);
  EXPECT_EQ(runChildArguments({"sh", "-c", "kill -9 $$"}, true), 128 + 9);
  EXPECT_EQ(runChildArguments({"sh", "-c", "kill -15 $$"}, true), 128 + 15);
}

TEST(RunChildProcess, ChildHasNullStreamsAndItsOwnSession) {
  const std::string script =
      "for fd in 0 1 2; do test \"$(readlink /proc/$$/fd/$fd)\" = /dev/null || exit 1; done;"
      "test \"$(cut -d' ' -f6 /proc/$$/stat)\" = $$ || exit 2";
  EXPECT_EQ(runChildArguments({"sh", "-c", script}, true), 0);
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

TEST(RunChildProcess, QuotedProgramPathWithBlanks) {
  test_support::ScratchDir folder;
  const std::string program = folder.file("my prog.sh");
  test_support::writeFile(program, "#!/bin/sh\nexit $#\n");
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);
  EXPECT_EQ(runChildProcess("\"" + program + "\" \"one arg\" two", true), 2);
}

}  // namespace
}  // namespace glimmer
