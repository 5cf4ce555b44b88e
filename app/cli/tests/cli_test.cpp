// glimmer-cli end to end: the built program run on pages made in the test.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

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
  CliRun run(const std::vector<std::string>& arguments) {
    std::string command = quoted(GLIMMER_CLI_PATH);
    for (const std::string& argument : arguments) command += " " + quoted(argument);
    command += " >cli.out 2>cli.err </dev/null";
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
                                                                     {"a.pnm", "--output"}}) {
    const CliRun run = this->run(arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find("glimmer-cli: "), std::string::npos);
  }
  EXPECT_EQ(run({"--help"}).status, 0);
}

TEST_F(CliTest, QuietRunWritesTheOutputsAndNothingOnStdout) {
  writeFile("page.pnm", whitePage(9, 4));
  const CliRun result = run({"page.pnm"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(readFile("page.bmp").substr(0, 2), "BM");
  EXPECT_TRUE(fs::exists("skeleton.bmp"));
  EXPECT_EQ(readFile("scores.txt"), "0:0\n1:0\n2:0\n3:0\n1:0\n2:0\n3:0\n");
  EXPECT_EQ(readFile("logger.txt"), "");
}

TEST_F(CliTest, VerbosePassesTheDriverLinesThroughExactly) {
  writeFile("page.pnm", whitePage(2, 1));
  const CliRun result = run({"--verbose", "--bands", "2", "-o", "out.bmp", "page.pnm"});
  EXPECT_EQ(result.status, 0);
  // Band threads interleave; compare the lines as a set of whole lines.
  std::vector<std::string> lines;
  std::istringstream stream(result.out);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"***Thread #0 complete", "***Thread #1 complete",
                                             "Starting thread 0 from 0 to 1", "Starting thread 1 from 1 to 2",
                                             "Thread:0 Complete:0.000000% X:0", "Thread:1 Complete:0.000000% X:1"}));
  EXPECT_EQ(result.err, "");
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

TEST_F(CliTest, BatchGoesOnAfterAFailureAndNamesEveryFailure) {
  fs::create_directory("in");
  fs::create_directory("out");
  writeFile("in/one.pnm", whitePage(3, 3));
  writeFile("in/broken.pnm", "P5\n3 3\n");
  writeFile("in/three.pnm", whitePage(4, 2));
  const CliRun result = run({"--output-dir", "out", "in/one.pnm", "in/broken.pnm", "in/missing.pnm", "in/three.pnm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(fs::exists("out/one.bmp"));
  EXPECT_TRUE(fs::exists("out/three.bmp"));
  EXPECT_FALSE(fs::exists("out/broken.bmp"));
  EXPECT_NE(result.err.find("in/broken.pnm: Not a valid PNM file"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("in/missing.pnm: Specified image file does not exist"), std::string::npos);
  EXPECT_NE(result.err.find("2 of 4 inputs failed"), std::string::npos);
}

TEST_F(CliTest, AwkwardFileNamesWork) {
  for (const std::string name : {"with blank.pnm", "-dash.pnm", "quo'te\".pnm", "\xc3\xa9t\xc3\xa9.pnm"}) {
    writeFile(name, whitePage(3, 3));
    const CliRun result = run({"--", name});
    EXPECT_EQ(result.status, 0) << name << ": " << result.err;
    EXPECT_TRUE(fs::exists(fs::path(name).replace_extension(".bmp"))) << name;
  }
}

TEST_F(CliTest, MissingOutputFolderIsReportedBeforeAnyWork) {
  writeFile("page.pnm", whitePage(3, 3));
  const CliRun result = run({"--output-dir", "nowhere", "page.pnm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("Output folder does not exist"), std::string::npos);
  EXPECT_FALSE(fs::exists("scores.txt"));
}

}  // namespace
}  // namespace glimmer
