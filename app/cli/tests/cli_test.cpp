// glimmer-cli end to end: what only the command line adds to the driver.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "app/cli/cli_host.h"
#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

namespace fs = std::filesystem;
using test_support::readFile;
using test_support::ScratchDir;
using test_support::writeFile;

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string whitePage(int width, int height) {
  return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" +
         std::string(static_cast<std::size_t>(width * height), '\xff');
}

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  CliRun run(const std::vector<std::string>& arguments, const std::string& input = "/dev/null") {
    std::string command = quoted(GLIMMER_CLI_PATH);
    for (const std::string& argument : arguments) command += " " + quoted(argument);
    command += " >cli.out 2>cli.err <" + quoted(input);
    const int raw = std::system(command.c_str());
    CliRun result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile("cli.out"), readFile("cli.err")};
    fs::remove("cli.out");
    fs::remove("cli.err");
    return result;
  }

  ScratchDir dir;
};

TEST_F(CliTest, BadUsageExitsTwoWithAMessageOnStderr) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{{},
                                                                     {"--bands", "0", "a.pnm"},
                                                                     {"--bands", "65", "a.pnm"},
                                                                     {"--frobnicate", "a.pnm"},
                                                                     {"-o", "x.bmp", "a.pnm", "b.pnm"},
                                                                     {"a.pnm", "--output"},
                                                                     {"-o", "-y", "a.pnm"},
                                                                     {"--output=", "a.pnm"},
                                                                     {"--rows=yes", "a.pnm"},
                                                                     {"--bands=x", "a.pnm"},
                                                                     {"-", "-"}}) {
    const CliRun result = run(arguments);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("glimmer-cli: ")) << result.err;
  }
  EXPECT_EQ(run({"--help"}).status, 0);
}

TEST_F(CliTest, QuietRunPrintsNothingAndVerbosePassesTheDriverLinesThrough) {
  writeFile("page.pnm", whitePage(2, 1));
  const CliRun quiet = run({"page.pnm"});
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out + quiet.err, "");
  EXPECT_EQ(readFile("page.bmp").substr(0, 2), "BM");
  const CliRun verbose = run({"--verbose", "--bands", "1", "-o", "out.bmp", "page.pnm"});
  EXPECT_EQ(verbose.status, 0);
  EXPECT_EQ(verbose.out,
            "Starting thread 0 from 0 to 2\nThread:0 Complete:0.000000% X:0\nThread:0 Complete:50.000000% X:1\n"
            "***Thread #0 complete\n");
  EXPECT_EQ(verbose.err, "");
}

TEST_F(CliTest, ExistingOutputIsKeptWithoutYesWhenNobodyCanBeAsked) {
  writeFile("page.pnm", whitePage(3, 3));
  writeFile("page.bmp", "keep me");
  CliRun result = run({"page.pnm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("--yes"), std::string::npos);
  EXPECT_EQ(readFile("page.bmp"), "keep me");
  result = run({"--yes", "page.pnm"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(readFile("page.bmp").substr(0, 2), "BM");
}

TEST_F(CliTest, BatchGoesOnAfterFailuresAndNamesEveryOne) {
  fs::create_directory("out");
  ASSERT_EQ(::mkfifo("pipe.pnm", 0600), 0);
  writeFile("one.pnm", whitePage(3, 3));
  writeFile("broken.pnm", "P5\n3 3\n");
  writeFile("three.pnm", whitePage(4, 2).substr(0, 12));
  const CliRun result = run({"--output-dir", "out", "one.pnm", "broken.pnm", "pipe.pnm", "missing.pnm", "three.pnm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(fs::exists("out/one.bmp"));
  EXPECT_TRUE(fs::exists("out/three.bmp"));
  EXPECT_FALSE(fs::exists("out/broken.bmp"));
  for (const char* line :
       {"glimmer-cli: three.pnm: warning: Damaged PNM file (raster cut short: 1 of 8 bytes, the rest read as white)",
        "glimmer-cli: 1 of 5 inputs damaged",
        "glimmer-cli: 3 of 5 inputs failed:", "  broken.pnm: Not a valid PNM file (header cut short)",
        "  pipe.pnm: Specified image file does not exist", "  missing.pnm: Specified image file does not exist"}) {
    EXPECT_NE(result.err.find(line), std::string::npos) << line << "\n" << result.err;
  }
}

TEST_F(CliTest, AwkwardNamesReachTheDecoderWholeAndLeadingDashesStayOperands) {
  // A decoder in the current folder is found first; it notes its arguments and writes a page.
  fs::create_directory("tmp");
  ::setenv("TMPDIR", dir.file("tmp").c_str(), 1);
  writeFile("decoded.pnm", whitePage(5, 3));
  writeFile("djpeg", "#!/bin/sh\nprintf '%s\\n' \"$4\" > arguments\ncat decoded.pnm > \"$3\"\n");
  ASSERT_EQ(::chmod("djpeg", 0755), 0);
  for (const std::string name : {"with blank.pnm", "-dash.pnm", "quo'te\".jpeg", "-jpeg.JPG", "\xc3\xa9t\xc3\xa9.jpg",
                                 "\xff\xfe not UTF-8.jpg", "tab\there.jpg"}) {
    writeFile(name, name.ends_with(".pnm") ? whitePage(3, 3) : "a JPEG, as far as the fake decoder cares");
    const CliRun result = run({"--", name});
    EXPECT_EQ(result.status, 0) << name << ": " << result.err;
    EXPECT_TRUE(fs::exists(fs::path(name).replace_extension(".bmp"))) << name;
    if (!name.ends_with(".pnm")) {
      EXPECT_EQ(readFile("arguments"), (name[0] == '-' ? "./" : "") + name + "\n");
    }
  }
  ::unsetenv("TMPDIR");
  EXPECT_TRUE(fs::is_empty("tmp"));
}

TEST_F(CliTest, OutputFolderProblemsAreReportedBeforeAnyWork) {
  writeFile("page.pnm", whitePage(3, 3));
  writeFile("afile", "");
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--output-dir", "nowhere", "page.pnm"}, "Output folder does not exist: nowhere"},
      {{"-o", "nowhere/x.bmp", "page.pnm"}, "Output folder does not exist: nowhere"},
      {{"--output-dir=afile", "page.pnm"}, "Output folder is not a folder: afile"}};
  for (const auto& [arguments, message] : cases) {
    const CliRun result = run(arguments);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists("scores.txt"));
  }
}

TEST_F(CliTest, AttachedValuesAndAPageFromStandardInput) {
  writeFile("page.pnm", whitePage(3, 3));
  fs::create_directory("out");
  CliRun result = run({"--bands=1", "--output=-y.bmp", "page.pnm"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(readFile("-y.bmp").substr(0, 2), "BM");
  result = run({"--output-dir=out", "--rows", "-"}, "page.pnm");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(readFile("out/stdin.bmp").substr(0, 2), "BM");
  EXPECT_TRUE(fs::exists("out/stdin.rows.coords.lisp"));
}

TEST_F(CliTest, DeclinedOverwriteKeepsTheFileAndCountsAsSkipped) {
  // A terminal is needed for the question to be asked at all.
  if (std::system("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1) to give a terminal";
  writeFile("page.pnm", whitePage(3, 3));
  writeFile("page.bmp", "keep me");
  const std::string command = "printf 'n\\n' | script -qec " +
                              quoted(quoted(GLIMMER_CLI_PATH) + " page.pnm; echo status=$?") + " /dev/null >cli.out";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string transcript = readFile("cli.out");
  EXPECT_NE(transcript.find("kept page.bmp (not overwritten)"), std::string::npos) << transcript;
  EXPECT_NE(transcript.find("status=0"), std::string::npos) << transcript;
  EXPECT_EQ(readFile("page.bmp"), "keep me");
}

TEST(ProgressLine, NeverWrapsTheTerminalAndKeepsTheNamesEnd) {
  const std::string label = "/scans/\xc3\xa9t\xc3\xa9/long-page-name.pnm";
  const std::pair<int, std::string> cases[] = {
      {80, label + " [###############...............]  50%"},
      {40, "...-name.pnm [#########..........]  50%"},
      {20, "...ge-name.pnm  50%"},
      {4, " 50%"},
  };
  for (const auto& [columns, expected] : cases) EXPECT_EQ(cli::progressLine(label, 500, columns), expected) << columns;
}

}  // namespace
}  // namespace glimmer
